// The list of the feeds page: one row per feed of the folder shown, title and URL, the feed icon, and
// the row's data: the identity of the folder's record that the row shows, and the feed's description,
// which only the row keeps.
#pragma once

#include "framework/reorder_list.h"

#include <string>
#include <utility>
#include <vector>

// The data of one row of the feeds list, owned by the list.
class CFeedRowData : public fw::RowData {
public:
    CFeedRowData(std::string description, int recordId) : description_(std::move(description)), recordId_(recordId) {}
    const std::string& Description() const { return description_; }
    int RecordId() const { return recordId_; }

private:
    std::string description_;
    int recordId_;
};

// The texts of one row of the feeds list and the record it shows (0: none).
struct FeedRow {
    std::string title;
    std::string url;
    std::string description;
    int recordId = 0;
};

// The description of a row whose feed has not been fetched (a row of a folder, or of an import).
extern const char kRowDescriptionUnknown[];

class CFeedListCtrl : public fw::ReorderList {
public:
    CFeedListCtrl();

    // Columns, extended styles and the image list of the rows; once, after Subclass.
    void Initialize();

    // Appends a row for the folder's record recordId, selects only it and scrolls it into view. link is
    // not shown. Returns whether the row and its URL were set.
    bool AddRow(const std::string& title, const std::string& url, const std::string& link,
                const std::string& description, int recordId = 0);
    // Appends the rows in order and leaves the list as AddRow for each of them would (only the last new
    // row selected, and scrolled into view), without redrawing or deselecting the list for every row.
    // Returns how many rows were added with their URL.
    int AddRows(const std::vector<FeedRow>& rows);
    // The description kept with the row; empty for a row without one.
    std::string Description(int row) const;
    // The identity of the record the row shows; 0 for none.
    int RecordId(int row) const;
    // RecordId of every row, in row order.
    std::vector<int> RecordIds() const;
};
