#include "feeds/feed_folder.h"

#include "framework/text.h"

void CFeedFolder::Add(const std::string& title, const std::string& url) {
    titles_.push_back(title);
    urls_.push_back(url);
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
    return true;
}

void CFeedFolder::SetTitleAt(int index, const std::string& title) {
    if (IsIndex(index))
        titles_[static_cast<size_t>(index)] = title;
}

int CFeedFolder::FindUrl(const std::string& url) const {
    for (size_t i = 0; i < urls_.size(); ++i) {
        if (text::EqualNoCase(urls_[i], url))
            return static_cast<int>(i);
    }
    return -1;
}

std::string CFeedFolderList::UniqueFolderName(const std::string& name) const {
    for (int counter = 1;; ++counter) {
        std::string candidate = text::Format("%s (%d)", name.c_str(), counter);
        if (!FolderExists(candidate))
            return candidate;
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

void CFeedFolderList::AddFeedToCurrentFolder(const std::string& current, const std::string& title,
                                             const std::string& url) {
    if (CFeedFolder* folder = FindFolder(current))
        folder->Add(title, url);
}

FeedRemoval CFeedFolderList::RemoveFeedFromCurrentFolder(const std::string& current, const std::string&,
                                                         const std::string& url) {
    CFeedFolder* folder = FindFolder(current);
    if (!folder)
        return FeedRemoval::NotFound;
    if (!folder->RemoveAt(folder->FindUrl(url)))
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

void CFeedFolderList::SetFeedTitle(const std::string& current, const std::string& title, const std::string& url) {
    CFeedFolder* folder = FindFolder(current);
    if (folder)
        folder->SetTitleAt(folder->FindUrl(url), title);
}

bool CFeedFolderList::RenameFolder(const std::string& oldName, const std::string& newName) {
    CFeedFolder* folder = FindFolder(oldName);
    if (!folder)
        return false;
    folder->SetName(newName);
    return true;
}
