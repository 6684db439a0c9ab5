// The list of web pages: one row per page, the title in column 0 and the URL in column 1. The rows are
// the only storage of the web pages.
#pragma once

#include "framework/owners.h"
#include "framework/reorder_list.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <string>
#include <utility>
#include <vector>

// Reordering by drag and drop, sorting by a column and the empty-list text come from fw::ReorderList.
class CWebPageListCtrl : public fw::ReorderList {
public:
    CWebPageListCtrl() : fw::ReorderList(fw::ThisModule(), IDB_DRAG_ONE, IDB_DRAG_MANY) {}

    // Binds the list of the page's template and gives it its columns, pictures and styles.
    bool Attach(HWND control);

    // Clears the selection, appends a row with the title and selects it (selected state only), scrolls it
    // into view and sets the URL. Returns false when the URL cell could not be set; the row is then taken
    // out again, so that the list never holds a page without its URL.
    bool AddWebPageRow(const std::string& title, const std::string& url);

    // (title, URL) of every row, in display order.
    std::vector<std::pair<std::string, std::string>> Rows() const;
    std::vector<std::string> Urls() const;

    static constexpr int kTitleColumn = 0;
    static constexpr int kUrlColumn = 1;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    fw::ImageList rowImages_;
};
