// The list of the feeds page: one row per feed of the folder shown, title and URL, the feed icon, and
// the feed's description as the row's data, which the list owns.
#pragma once

#include "framework/reorder_list.h"

#include <string>
#include <vector>

class CFeedRowData;

// The texts of one row of the feeds list.
struct FeedRow {
    std::string title;
    std::string url;
    std::string description;
};

// The description of a row whose feed has not been fetched (a row of a folder, or of an import).
extern const char kRowDescriptionUnknown[];

class CFeedListCtrl : public fw::ReorderList {
public:
    CFeedListCtrl();
    ~CFeedListCtrl() override;

    // Columns, extended styles and the image list of the rows; once, after Subclass.
    void Initialize();

    // Appends a row, selects only it and scrolls it into view. link is not shown. Returns whether the
    // row and its URL were set.
    bool AddRow(const std::string& title, const std::string& url, const std::string& link,
                const std::string& description);
    // Appends the rows in order and leaves the list as AddRow for each of them would (only the last new
    // row selected, and scrolled into view), without redrawing or deselecting the list for every row.
    // Returns how many rows were added with their URL.
    int AddRows(const std::vector<FeedRow>& rows);
    // The description kept with the row; empty for a row without one.
    std::string Description(int row) const;
    // Deleting rows releases their descriptions; rows must not be deleted any other way.
    bool DeleteRow(int row);
    void DeleteAllRows();

protected:
    void OnDestroyList() override;

private:
    static void ReleaseRowData(const fw::ListView& list, int row);
    std::vector<CFeedRowData*> TakeAllRowData() const;
};
