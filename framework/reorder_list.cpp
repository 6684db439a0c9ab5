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

int ReorderList::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    return header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
}

ReorderList::Row ReorderList::ReadRow(int index, int columns) const {
    ListView list = List();
    Row row;
    for (int c = 0; c < columns; ++c)
        row.texts.push_back(list.Text(index, c));
    LVITEMA item = {};
    item.mask = LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        row.data = item.lParam;
        row.image = item.iImage;
        row.state = item.state & (LVIS_SELECTED | LVIS_FOCUSED);
    }
    return row;
}

void ReorderList::WriteRow(int index, const Row& row) const {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.pszText = const_cast<char*>(row.texts.empty() ? "" : row.texts[0].c_str());
    item.lParam = row.data;
    item.iImage = row.image;
    item.state = row.state;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    Send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t c = 1; c < row.texts.size(); ++c)
        List().SetText(index, static_cast<int>(c), row.texts[c]);
}

int ReorderList::InsertRow(int index, const Row& row) const {
    ListView list = List();
    int at = list.InsertRow(index, row.texts.empty() ? std::string() : row.texts[0], row.data, row.image);
    if (at < 0)
        return at;
    for (size_t c = 1; c < row.texts.size(); ++c)
        list.SetText(at, static_cast<int>(c), row.texts[c]);
    list.Select(at);
    return at;
}

void ReorderList::SortByColumn(int column) {
    if (column < 0)
        return;
    if (descending_.size() <= static_cast<size_t>(column))
        descending_.resize(static_cast<size_t>(column) + 1, false);
    const bool descending = descending_[static_cast<size_t>(column)];

    // The rows are read out, sorted and written back in place: no row is deleted, so nothing that the
    // rows' data owns is released, and the comparison never runs inside the control.
    ListView list = List();
    const int columns = std::max(ColumnCount(), column + 1);
    std::vector<Row> rows;
    for (int i = 0; i < list.Count(); ++i)
        rows.push_back(ReadRow(i, columns));
    const size_t key = static_cast<size_t>(column);
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        return descending ? text::CompareNoCase(b.texts[key], a.texts[key]) < 0
                          : text::CompareNoCase(a.texts[key], b.texts[key]) < 0;
    });
    for (size_t i = 0; i < rows.size(); ++i)
        WriteRow(static_cast<int>(i), rows[i]);
    descending_[key] = !descending;
}

void ReorderList::MoveSelectedRows(int source, int target) {
    ListView list = List();
    std::vector<int> selected = list.SelectedRows();
    if (selected.empty()) {
        if (source < 0 || source >= list.Count())
            return;
        selected.push_back(source);
    }
    const int columns = ColumnCount();
    std::vector<Row> moving;
    for (int row : selected)
        moving.push_back(ReadRow(row, columns));
    int at = DropIndexAfterRemoval(selected, target);
    // Deleting a row does not release its data (the derived list releases only on its own delete
    // paths): the data travels with the row.
    for (size_t i = selected.size(); i-- > 0;)
        list.DeleteRow(selected[i]);
    for (const Row& row : moving) {
        if (at < 0)
            at = list.Count();
        InsertRow(at, row);
        ++at;
    }
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
    case WM_ERASEBKGND:
        if (PaintEmptyList(Handle(), reinterpret_cast<HDC>(wp)))
            return TRUE;
        break;
    case WM_DESTROY:
        if (dragging_)
            EndDrag(POINT{-1, -1}, false);
        OnDestroyList();
        break;
    }
    return Window::OnMessage(msg, wp, lp);
}

} // namespace fw
