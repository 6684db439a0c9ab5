// Feed folders and the folder list of the feeds page. No Windows here: the same code builds natively.
//
// A folder holds feed records (title, URL) in the order the publisher arranged them on the feeds page:
// the order of adding until rows are dragged or sorted. Each record has an identity of its own, unique in
// its folder, by which a row of the feeds list names it (two records may share a URL). The list keeps the
// folders in creation order; names compare case-insensitively in the ANSI code page and are unique.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The attributes of a folder's or a record's element in the data file it was read from, every one in
// document order, so that writing the file again gives back what the pages do not show.
using KeptAttributes = std::vector<std::pair<std::string, std::string>>;

class CFeedFolder {
public:
    CFeedFolder() = default;
    explicit CFeedFolder(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    int Count() const { return static_cast<int>(titles_.size()); }
    // Appends a record and returns its identity (never 0). kept: its element's attributes, when it was read
    // from a data file.
    int Add(const std::string& title, const std::string& url, KeptAttributes kept = KeptAttributes());
    // The kept attributes of the folder's element, and of the record at index (empty outside the records).
    const KeptAttributes& Kept() const { return kept_; }
    void SetKept(KeptAttributes kept) { kept_ = std::move(kept); }
    const KeptAttributes& KeptAt(int index) const;
    // Sets title and url from the record at index and returns index; an index outside the records
    // returns Count() and leaves both alone.
    int GetAt(int index, std::string& title, std::string& url) const;
    // Returns false and changes nothing for an index outside the records.
    bool RemoveAt(int index);
    // Replaces the title of the record at index; an index outside the records changes nothing.
    void SetTitleAt(int index, const std::string& title);
    // The identity of the record at index; 0 for an index outside the records.
    int IdAt(int index) const { return IsIndex(index) ? ids_[static_cast<size_t>(index)] : 0; }
    // The index of the record with that identity; -1 when there is none.
    int IndexOf(int id) const;
    // Puts the records named by ids first, in that order; records that ids does not name follow in their
    // present order. Identities named twice or unknown are passed over.
    void Arrange(const std::vector<int>& ids);

private:
    bool IsIndex(int index) const { return index >= 0 && index < Count(); }

    std::string name_;
    std::vector<std::string> titles_;
    std::vector<std::string> urls_;
    std::vector<int> ids_;
    std::vector<KeptAttributes> recordKept_;
    KeptAttributes kept_;
    int lastId_ = 0;
};

// What removing a feed did to the folder list.
enum class FeedRemoval {
    NotFound,       // no folder of that name, or no record of that URL in it
    RecordRemoved,  // the folder keeps other records
    FolderRemoved,  // that was the folder's last record: the folder left the list
    FolderReplaced, // that was the last record of the last folder: the default folder took its place
};

class CFeedFolderList {
public:
    // defaultName names the folder that the feeds page starts with ("My Feeds"); the list starts
    // empty until AddDefaultFolder.
    explicit CFeedFolderList(std::string defaultName = "My Feeds") : defaultName_(std::move(defaultName)) {}

    const std::string& DefaultFolderName() const { return defaultName_; }
    void AddDefaultFolder() { AppendFolder(CFeedFolder(defaultName_)); }

    bool FolderExists(const std::string& name) const { return FindFolder(name) != nullptr; }
    // The first of "name (1)", "name (2)", ... that no folder has; never name itself.
    std::string UniqueFolderName(const std::string& name) const;
    // Appends the folders in order; one whose name a folder has already (as the name comparison folds)
    // gets the first free "name (n)". One pass over a set of the names taken, so that thousands of
    // folders of one name take no longer than thousands of names.
    void AppendFoldersUnique(const std::vector<CFeedFolder>& folders);
    // The first folder of that name, ignoring case; null when there is none.
    CFeedFolder* FindFolder(const std::string& name);
    const CFeedFolder* FindFolder(const std::string& name) const;

    // The current folder is the one that the caller shows (the folder combo box's selection).
    // Returns the new record's identity; does nothing and returns 0 when no folder has that name.
    int AddFeedToCurrentFolder(const std::string& current, const std::string& title, const std::string& url);
    // Removes the record of the current folder with that identity. A folder left without records leaves
    // the list; when it was the last folder, a new empty default folder is appended so that feeds can
    // still be added.
    FeedRemoval RemoveFeedFromCurrentFolder(const std::string& current, int id);
    // Retitles the record of the current folder with that identity.
    void SetFeedTitle(const std::string& current, int id, const std::string& title);
    // Puts the records of the current folder in the order of ids (see CFeedFolder::Arrange).
    void ArrangeCurrentFolder(const std::string& current, const std::vector<int>& ids);
    // Gives the first folder named oldName the name newName, keeping its position.
    bool RenameFolder(const std::string& oldName, const std::string& newName);

    void CopyFolders(std::vector<CFeedFolder>& out) const { out = folders_; }
    void AppendFolder(const CFeedFolder& folder) { folders_.push_back(folder); }

    int FolderCount() const { return static_cast<int>(folders_.size()); }
    const CFeedFolder& FolderAt(int index) const { return folders_.at(static_cast<size_t>(index)); }

private:
    std::string defaultName_;
    std::vector<CFeedFolder> folders_;
};
