#include "feeds/feed_folder.h"

#include "framework/text.h"

#include <unordered_map>
#include <unordered_set>

namespace {

// Folder names as the name comparison sees them: equal names hash alike and compare equal.
struct FoldedHash {
    size_t operator()(const std::string& s) const { return static_cast<size_t>(text::HashNoCase(s)); }
};
struct FoldedEqual {
    bool operator()(const std::string& a, const std::string& b) const { return text::EqualNoCase(a, b); }
};
using FoldedNames = std::unordered_set<std::string, FoldedHash, FoldedEqual>;

// The first "name (n)" not in taken, from counter on; counter ends past it, so that the next folder of
// the same name does not try the taken ones again.
std::string FirstFreeName(const std::string& name, const FoldedNames& taken, int& counter) {
    for (;; ++counter) {
        std::string candidate = text::Format("%s (%d)", name.c_str(), counter);
        if (taken.count(candidate) == 0) {
            ++counter;
            return candidate;
        }
    }
}

} // namespace

int CFeedFolder::Add(const std::string& title, const std::string& url, KeptAttributes kept) {
    titles_.push_back(title);
    urls_.push_back(url);
    recordKept_.push_back(std::move(kept));
    ids_.push_back(++lastId_);
    return lastId_;
}

const KeptAttributes& CFeedFolder::KeptAt(int index) const {
    static const KeptAttributes kNone;
    return IsIndex(index) ? recordKept_[static_cast<size_t>(index)] : kNone;
}

int CFeedFolder::GetAt(int index, std::string& title, std::string& url) const {
    if (!IsIndex(index))
        return Count();
    title = titles_[static_cast<size_t>(index)];
    url = urls_[static_cast<size_t>(index)];
    return index;
}

bool CFeedFolder::RemoveAt(int index) {
    if (!IsIndex(index))
        return false;
    titles_.erase(titles_.begin() + index);
    urls_.erase(urls_.begin() + index);
    recordKept_.erase(recordKept_.begin() + index);
    ids_.erase(ids_.begin() + index);
    return true;
}

void CFeedFolder::SetTitleAt(int index, const std::string& title) {
    if (IsIndex(index))
        titles_[static_cast<size_t>(index)] = title;
}

int CFeedFolder::IndexOf(int id) const {
    for (size_t i = 0; i < ids_.size(); ++i) {
        if (ids_[i] == id)
            return static_cast<int>(i);
    }
    return -1;
}

void CFeedFolder::Arrange(const std::vector<int>& ids) {
    std::vector<size_t> order;
    std::vector<bool> placed(ids_.size(), false);
    for (int id : ids) {
        const int index = IndexOf(id);
        if (index >= 0 && !placed[static_cast<size_t>(index)]) {
            placed[static_cast<size_t>(index)] = true;
            order.push_back(static_cast<size_t>(index));
        }
    }
    for (size_t i = 0; i < ids_.size(); ++i) {
        if (!placed[i])
            order.push_back(i);
    }
    std::vector<std::string> titles, urls;
    std::vector<KeptAttributes> kept;
    std::vector<int> arranged;
    for (size_t i : order) {
        titles.push_back(std::move(titles_[i]));
        urls.push_back(std::move(urls_[i]));
        kept.push_back(std::move(recordKept_[i]));
        arranged.push_back(ids_[i]);
    }
    titles_.swap(titles);
    urls_.swap(urls);
    recordKept_.swap(kept);
    ids_.swap(arranged);
}

std::string CFeedFolderList::UniqueFolderName(const std::string& name) const {
    FoldedNames taken;
    for (const CFeedFolder& folder : folders_)
        taken.insert(folder.Name());
    int counter = 1;
    return FirstFreeName(name, taken, counter);
}

void CFeedFolderList::AppendFoldersUnique(const std::vector<CFeedFolder>& folders) {
    FoldedNames taken;
    for (const CFeedFolder& folder : folders_)
        taken.insert(folder.Name());
    // The next counter to try for each name, so that each "name (n)" is tried once for the whole pass.
    std::unordered_map<std::string, int, FoldedHash, FoldedEqual> next;
    for (CFeedFolder folder : folders) {
        if (taken.count(folder.Name()) != 0) {
            int& counter = next.emplace(folder.Name(), 1).first->second;
            folder.SetName(FirstFreeName(folder.Name(), taken, counter));
        }
        taken.insert(folder.Name());
        folders_.push_back(std::move(folder));
    }
}

CFeedFolder* CFeedFolderList::FindFolder(const std::string& name) {
    for (CFeedFolder& folder : folders_) {
        if (text::EqualNoCase(folder.Name(), name))
            return &folder;
    }
    return nullptr;
}

const CFeedFolder* CFeedFolderList::FindFolder(const std::string& name) const {
    return const_cast<CFeedFolderList*>(this)->FindFolder(name);
}

int CFeedFolderList::AddFeedToCurrentFolder(const std::string& current, const std::string& title,
                                            const std::string& url) {
    CFeedFolder* folder = FindFolder(current);
    return folder ? folder->Add(title, url) : 0;
}

FeedRemoval CFeedFolderList::RemoveFeedFromCurrentFolder(const std::string& current, int id) {
    CFeedFolder* folder = FindFolder(current);
    if (!folder)
        return FeedRemoval::NotFound;
    if (!folder->RemoveAt(folder->IndexOf(id)))
        return FeedRemoval::NotFound;
    if (folder->Count() > 0)
        return FeedRemoval::RecordRemoved;
    folders_.erase(folders_.begin() + (folder - folders_.data()));
    if (!folders_.empty())
        return FeedRemoval::FolderRemoved;
    // Without any folder the page could add no feed, rename nothing and build an empty feed file.
    AddDefaultFolder();
    return FeedRemoval::FolderReplaced;
}

void CFeedFolderList::SetFeedTitle(const std::string& current, int id, const std::string& title) {
    if (CFeedFolder* folder = FindFolder(current))
        folder->SetTitleAt(folder->IndexOf(id), title);
}

void CFeedFolderList::ArrangeCurrentFolder(const std::string& current, const std::vector<int>& ids) {
    if (CFeedFolder* folder = FindFolder(current))
        folder->Arrange(ids);
}

bool CFeedFolderList::RenameFolder(const std::string& oldName, const std::string& newName) {
    CFeedFolder* folder = FindFolder(oldName);
    if (!folder)
        return false;
    folder->SetName(newName);
    return true;
}
