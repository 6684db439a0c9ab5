#include "framework/row_list.h"

#include <algorithm>

namespace fw {

namespace {
constexpr UINT kMovingStates = LVIS_SELECTED | LVIS_FOCUSED;
} // namespace

RowList::~RowList() {
    // The derived part is gone once ~Window destroys the window: release the rows' objects while the
    // list still names them.
    if (Handle())
        DeleteAllRows();
}

int RowList::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    return header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
}

int RowList::InsertRow(int index, const std::vector<std::string>& texts, std::unique_ptr<RowData> data, int image) {
    const ListView list = ListView::Direct(Handle());
    const int row =
        list.InsertRow(index, texts.empty() ? std::string() : texts[0], reinterpret_cast<LPARAM>(data.get()), image);
    if (row < 0)
        return -1;
    data.release(); // the row names it now
    for (size_t c = 1; c < texts.size(); ++c) {
        if (!list.SetText(row, static_cast<int>(c), texts[c])) {
            DeleteRow(row);
            return -1;
        }
    }
    return row;
}

RowData* RowList::Data(int row) const {
    if (row < 0)
        return nullptr;
    return reinterpret_cast<RowData*>(ListView::Direct(Handle()).Data(row));
}

bool RowList::DeleteRow(int row) {
    const ListView list = ListView::Direct(Handle());
    if (row < 0 || row >= list.Count())
        return false;
    std::unique_ptr<RowData> data(Data(row));
    list.SetData(row, 0);
    return list.DeleteRow(row);
}

void RowList::DeleteAllRows() {
    const ListView list = ListView::Direct(Handle());
    const int count = list.Count();
    // Setting each row's data to 0 first would notify the parent once for every row: the rows are
    // deleted right after and never read again.
    std::vector<std::unique_ptr<RowData>> data;
    data.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        data.emplace_back(reinterpret_cast<RowData*>(list.Data(i)));
    list.DeleteAll();
}

RowList::Row RowList::ReadRow(int index, int columns) const {
    const ListView list = ListView::Direct(Handle());
    Row row;
    for (int c = 0; c < columns; ++c)
        row.texts.push_back(list.Text(index, c));
    LVITEMA item = {};
    item.mask = LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.stateMask = kMovingStates;
    if (list.Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        row.data = item.lParam;
        row.image = item.iImage;
        row.state = item.state & kMovingStates;
    }
    return row;
}

void RowList::WriteRow(int index, const Row& row) const {
    const ListView list = ListView::Direct(Handle());
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.pszText = const_cast<char*>(row.texts.empty() ? "" : row.texts[0].c_str());
    item.lParam = row.data;
    item.iImage = row.image;
    item.state = row.state;
    item.stateMask = kMovingStates;
    // Through the subclass: the parent hears of the changed selection (its buttons follow it).
    Send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t c = 1; c < row.texts.size(); ++c)
        list.SetText(index, static_cast<int>(c), row.texts[c]);
}

void RowList::ArrangeRows(const std::vector<int>& order) {
    const int count = Count();
    if (static_cast<int>(order.size()) != count)
        return;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < count; ++i) {
        if (sorted[static_cast<size_t>(i)] != i)
            return;
    }
    const int columns = ColumnCount();
    std::vector<Row> rows;
    rows.reserve(order.size());
    for (int i = 0; i < count; ++i)
        rows.push_back(ReadRow(i, columns));
    for (int i = 0; i < count; ++i) {
        if (order[static_cast<size_t>(i)] != i)
            WriteRow(i, rows[static_cast<size_t>(order[static_cast<size_t>(i)])]);
    }
}

LRESULT RowList::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (PaintEmptyList(Handle(), reinterpret_cast<HDC>(wp)))
            return TRUE;
        break;
    case WM_DESTROY:
        // The list deletes its rows itself as it goes; only their objects are ours to release.
        {
            const ListView list = ListView::Direct(Handle());
            for (int i = list.Count(); i-- > 0;)
                delete reinterpret_cast<RowData*>(list.Data(i));
        }
        break;
    }
    return Window::OnMessage(msg, wp, lp);
}

} // namespace fw
