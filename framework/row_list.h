// A report-view list whose rows may carry an object of their own (a description, a record, the identity
// of what the row shows). The row's item data points at that object; the list owns it from the row's
// insertion on and releases it on one path, when the row is deleted through the list or the list goes.
// Rows are rearranged in place, so an object travels with its row and is never released by a move.
#pragma once

#include "framework/listview.h"
#include "framework/window.h"

#include <memory>
#include <string>
#include <vector>

namespace fw {

class RowData {
public:
    virtual ~RowData() = default;
};

class RowList : public Window {
public:
    ~RowList() override;

    ListView List() const { return ListView(Handle()); }
    int Count() const { return ListView::Direct(Handle()).Count(); }
    int ColumnCount() const;

    // Inserts a row with texts (column 0 first), image (-1: none) and data, which the list owns from
    // then on. Returns the new row's index, or -1 when the row or one of its texts could not be set (the
    // row is then taken out again and data released).
    int InsertRow(int index, const std::vector<std::string>& texts, std::unique_ptr<RowData> data = nullptr,
                  int image = -1);
    // The object of a row; null for a row without one or an index outside the rows.
    RowData* Data(int row) const;
    bool DeleteRow(int row);
    void DeleteAllRows();
    // Puts the rows in order, given as indices of the present order: each row's texts, image, selection
    // and data move with it, and no row is deleted. An order that is not a permutation of the rows is
    // ignored.
    void ArrangeRows(const std::vector<int>& order);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    struct Row {
        std::vector<std::string> texts;
        LPARAM data = 0;
        int image = -1;
        UINT state = 0;
    };
    Row ReadRow(int index, int columns) const;
    void WriteRow(int index, const Row& row) const;
};

} // namespace fw
