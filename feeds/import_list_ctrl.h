// The list of the import dialog: one row per feed that an OPML file lists, title and URL, each with a
// check box. Each row's data is its CImportedFeed, which the list owns (see fw::RowList). While it has no
// rows, the list shows the same line of text as the feeds list.
#pragma once

#include "feeds/opml_reader.h"
#include "framework/row_list.h"

#include <string>
#include <vector>

class CImportListCtrl : public fw::RowList {
public:
    // Columns and extended styles (check boxes); once, after Subclass.
    void Initialize();

    // Appends a row when title and URL are both non-empty; returns whether it did.
    bool AppendRow(const std::string& title, const std::string& url);
    // Appends a row for each feed, in order, without redrawing the list for every row; returns how many
    // rows were added.
    int AppendRows(const std::vector<CImportedFeed>& feeds);
    // The record of a row; null for an index outside the rows.
    const CImportedFeed* Feed(int row) const;
    // Releases every row's record and deletes the rows.
    void Clear() { DeleteAllRows(); }

    // Checks or unchecks every row.
    void CheckAll(bool checked);
    // A row counts as checked unless it shows the unchecked box.
    bool IsChecked(int row) const;
    // IsChecked of every row, in row order.
    std::vector<bool> CheckedRows() const;
    int CheckedCount() const;
};
