// The list of the import dialog: one row per feed that an OPML file lists, title and URL, each with a
// check box. Each row's data is its CImportedFeed, which the list owns. While it has no rows, the list
// shows the same line of text as the feeds list.
#pragma once

#include "feeds/opml_reader.h"
#include "framework/listview.h"
#include "framework/window.h"

#include <string>
#include <vector>

class CImportListCtrl : public fw::Window {
public:
    ~CImportListCtrl() override;

    // Columns and extended styles (check boxes); once, after Subclass.
    void Initialize();

    fw::ListView List() const { return fw::ListView(Handle()); }
    int Count() const { return static_cast<int>(records_.size()); }
    // Appends a row when title and URL are both non-empty; returns whether it did.
    bool AppendRow(const std::string& title, const std::string& url);
    // Appends a row for each feed, in order, without redrawing the list for every row; returns how many
    // rows were added.
    int AppendRows(const std::vector<CImportedFeed>& feeds);
    // The record of a row; null for an index outside the rows.
    const CImportedFeed* Feed(int row) const;
    // Releases every row's record and deletes the rows.
    void Clear();

    // Checks or unchecks every row.
    void CheckAll(bool checked);
    // A row counts as checked unless it shows the unchecked box.
    bool IsChecked(int row) const;
    // IsChecked of every row, in row order.
    std::vector<bool> CheckedRows() const;
    int CheckedCount() const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ReleaseRecords();

    // The rows' records in row order, which never changes (the list neither sorts nor moves its rows):
    // reading a record needs no message to the control, which costs far more than a memory access
    // where the control is subclassed (under Wine, a round trip to the server for each message).
    std::vector<CImportedFeed*> records_;
};
