// A report-view list whose rows the user reorders: drag and drop of the selected rows, sorting by a
// column's text on a click of its header, and a line of text in place of the rows while there are none.
// The list knows nothing of what its rows mean; a derived list adds its own columns and row data. A
// move or a sort rearranges the rows in place (see RowList), and then tells whoever listens.
#pragma once

#include "framework/owners.h"
#include "framework/row_list.h"

#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>

namespace fw {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::ImageList_Destroy(h); }
};
using ImageList = Owner<ImageListTraits>;

class ReorderList : public RowList {
public:
    // The drag image is one of two 88 x 16 bitmaps of module: dragOneBitmap while one row moves,
    // dragManyBitmap while several do.
    ReorderList(HINSTANCE module, int dragOneBitmap, int dragManyBitmap)
        : module_(module), dragOneBitmap_(dragOneBitmap), dragManyBitmap_(dragManyBitmap) {}

    // Sorts the rows by the text of column, ignoring case, ascending on the first click of that column
    // and then alternating; each column keeps its own direction. The rows keep their data.
    void SortByColumn(int column);
    // Moves the selected rows (or, when none is selected, row source) to target, -1 meaning after the
    // last row, by the rule of DropIndexAfterRemoval. The moved rows stay selected and keep their data.
    void MoveSelectedRows(int source, int target);
    bool IsDragging() const { return dragging_; }
    // Called after the user's drag or sort has changed the order of the rows.
    void SetOrderChanged(std::function<void()> changed) { orderChanged_ = std::move(changed); }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Rearranged(const std::vector<int>& order);

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
    std::function<void()> orderChanged_;
};

} // namespace fw
