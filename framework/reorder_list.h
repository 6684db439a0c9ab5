// A report-view list whose rows the user reorders: drag and drop of the selected rows, sorting by a
// column's text on a click of its header, and a line of text in place of the rows while there are none.
// The list knows nothing of what its rows mean; a derived list adds its own columns and row data.
#pragma once

#include "framework/listview.h"
#include "framework/owners.h"
#include "framework/window.h"

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace fw {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::ImageList_Destroy(h); }
};
using ImageList = Owner<ImageListTraits>;

class ReorderList : public Window {
public:
    // The drag image is one of two 88 x 16 bitmaps of module: dragOneBitmap while one row moves,
    // dragManyBitmap while several do.
    ReorderList(HINSTANCE module, int dragOneBitmap, int dragManyBitmap)
        : module_(module), dragOneBitmap_(dragOneBitmap), dragManyBitmap_(dragManyBitmap) {}

    ListView List() const { return ListView(Handle()); }
    int ColumnCount() const;

    // Sorts the rows by the text of column, ignoring case, ascending on the first click of that column
    // and then alternating; each column keeps its own direction. The rows keep their data.
    void SortByColumn(int column);
    // Moves the selected rows (or, when none is selected, row source) to target, -1 meaning after the
    // last row, by the rule of DropIndexAfterRemoval. The moved rows stay selected and keep their data.
    void MoveSelectedRows(int source, int target);
    bool IsDragging() const { return dragging_; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    // Before the list's own destruction: a derived list releases its row data here.
    virtual void OnDestroyList() {}

private:
    struct Row {
        std::vector<std::string> texts;
        LPARAM data = 0;
        int image = -1;
        UINT state = 0;
    };
    Row ReadRow(int index, int columns) const;
    // Writes row into the existing row index (all columns, data, image, selection).
    void WriteRow(int index, const Row& row) const;
    int InsertRow(int index, const Row& row) const;

    void BeginDrag(const NMLISTVIEW& info);
    void DragTo(POINT client);
    void EndDrag(POINT client, bool drop);
    void SetDropTarget(int row);

    HINSTANCE module_;
    int dragOneBitmap_;
    int dragManyBitmap_;
    int dragSource_ = -1;
    int dropTarget_ = -1;
    ImageList dragImage_;
    bool dragging_ = false;
    std::vector<bool> descending_; // per column: the next click sorts descending
};

} // namespace fw
