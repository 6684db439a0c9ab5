#include "framework/reorder_list.h"

#include "framework/dialog.h"
#include "framework/row_move.h"
#include "framework/text.h"

#include <windowsx.h>

#include <algorithm>

namespace fw {

namespace {

// Where the drag image sits relative to the pointer: 10 pixels right of it and 14 below.
constexpr int kDragHotSpotX = -10;
constexpr int kDragHotSpotY = -14;
constexpr int kDragImageWidth = 88;
constexpr int kDragImageHeight = 16;

} // namespace

void ReorderList::SortByColumn(int column) {
    if (column < 0)
        return;
    if (descending_.size() <= static_cast<size_t>(column))
        descending_.resize(static_cast<size_t>(column) + 1, false);
    const bool descending = descending_[static_cast<size_t>(column)];

    // The order is worked out on the texts and the rows are then rearranged in place: no row is deleted,
    // so nothing that a row's data owns is released, and the comparison never runs inside the control.
    const ListView list = ListView::Direct(Handle());
    std::vector<std::string> keys;
    std::vector<int> order;
    for (int i = 0; i < list.Count(); ++i) {
        keys.push_back(list.Text(i, column));
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const std::string& first = keys[static_cast<size_t>(a)];
        const std::string& second = keys[static_cast<size_t>(b)];
        return descending ? text::CompareNoCase(second, first) < 0 : text::CompareNoCase(first, second) < 0;
    });
    Rearranged(order);
    descending_[static_cast<size_t>(column)] = !descending;
}

void ReorderList::MoveSelectedRows(int source, int target) {
    std::vector<int> selected = List().SelectedRows();
    if (selected.empty()) {
        if (source < 0 || source >= Count())
            return;
        selected.push_back(source);
    }
    Rearranged(OrderAfterMove(Count(), selected, target));
}

void ReorderList::Rearranged(const std::vector<int>& order) {
    ArrangeRows(order);
    if (orderChanged_)
        orderChanged_();
}

void ReorderList::BeginDrag(const NMLISTVIEW& info) {
    dragSource_ = info.iItem;
    const int bitmapId = List().SelectedCount() > 1 ? dragManyBitmap_ : dragOneBitmap_;
    dragImage_.Reset(::ImageList_Create(kDragImageWidth, kDragImageHeight, ILC_COLOR32 | ILC_MASK, 2, 1));
    if (dragImage_) {
        Bitmap bitmap(::LoadBitmapA(module_, MAKEINTRESOURCEA(bitmapId)));
        // The bitmap is its own mask.
        if (bitmap)
            ::ImageList_Add(dragImage_.Get(), bitmap.Get(), bitmap.Get());
        POINT start = info.ptAction;
        ::ClientToScreen(Handle(), &start);
        ::ImageList_BeginDrag(dragImage_.Get(), 0, kDragHotSpotX, kDragHotSpotY);
        ::ImageList_DragEnter(::GetDesktopWindow(), start.x, start.y);
    }
    dragging_ = true;
    dropTarget_ = -1;
    ::SetCapture(Handle());
}

void ReorderList::SetDropTarget(int row) {
    ListView list = List();
    if (dropTarget_ >= 0)
        list.SetState(dropTarget_, 0, LVIS_DROPHILITED);
    dropTarget_ = row;
    if (dropTarget_ >= 0)
        list.SetState(dropTarget_, LVIS_DROPHILITED, LVIS_DROPHILITED);
}

void ReorderList::DragTo(POINT client) {
    POINT screen = client;
    ::ClientToScreen(Handle(), &screen);
    if (dragImage_) {
        ::ImageList_DragMove(screen.x, screen.y);
        // The list repaints below the image: hide it meanwhile so that no trace of it stays behind.
        ::ImageList_DragShowNolock(FALSE);
    }
    ListView list = List();
    if (::WindowFromPoint(screen) != Handle()) {
        if (dropTarget_ < 0) {
            list.SetState(-1, 0, LVIS_DROPHILITED);
            if (list.Count() > 0)
                Send(LVM_REDRAWITEMS, 0, list.Count() - 1);
        } else {
            SetDropTarget(-1);
        }
        ::UpdateWindow(Handle());
        ::SetCursor(::LoadCursor(nullptr, IDC_NO));
    } else {
        ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
        LVHITTESTINFO hit = {};
        hit.pt = client;
        SetDropTarget(static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))));
        ::UpdateWindow(Handle());
    }
    if (dragImage_)
        ::ImageList_DragShowNolock(TRUE);
}

void ReorderList::EndDrag(POINT client, bool drop) {
    dragging_ = false; // first: releasing the capture below sends WM_CAPTURECHANGED
    ::ReleaseCapture();
    if (dragImage_) {
        ::ImageList_DragLeave(::GetDesktopWindow());
        ::ImageList_EndDrag();
        dragImage_.Reset();
    }
    POINT screen = client;
    ::ClientToScreen(Handle(), &screen);
    const int target = dropTarget_;
    SetDropTarget(-1);
    if (drop && ::WindowFromPoint(screen) == Handle())
        MoveSelectedRows(dragSource_, target);
}

LRESULT ReorderList::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_REFLECT_NOTIFY: {
        auto* reflected = reinterpret_cast<ReflectedNotify*>(lp);
        if (reflected->header->code == LVN_BEGINDRAG) {
            BeginDrag(*reinterpret_cast<NMLISTVIEW*>(reflected->header));
            reflected->handled = true;
        } else if (reflected->header->code == LVN_COLUMNCLICK) {
            SortByColumn(reinterpret_cast<NMLISTVIEW*>(reflected->header)->iSubItem);
            reflected->handled = true;
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging_) {
            DragTo(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (dragging_) {
            EndDrag(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, true);
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a message box, a task switch): no button-up will come, so the
        // drag ends here and nothing moves.
        if (dragging_)
            EndDrag(POINT{-1, -1}, false);
        break;
    case WM_DESTROY:
        if (dragging_)
            EndDrag(POINT{-1, -1}, false);
        break;
    }
    return RowList::OnMessage(msg, wp, lp);
}

} // namespace fw
