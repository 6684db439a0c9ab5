#include "app/hyperlink_button.h"

#include "framework/owners.h"

#include <vector>

namespace {

// WS_CHILD | WS_VISIBLE | BS_MULTILINE | BS_OWNERDRAW.
constexpr DWORD kLinkStyle = 0x5000200B;
// The hand cursor of the old help program.
constexpr int kHelpHandCursor = 106;

// The one hand cursor of the process, loaded by the first link and released at the end of the program.
fw::Icon& SharedCursor() {
    static fw::Icon cursor;
    return cursor;
}

void LoadSharedCursor() {
    if (SharedCursor())
        return;
    char windows[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::string path = std::string(windows, n) + "\\winhlp32.exe";
        // Only the cursor resource is wanted: no code of that program is run.
        fw::Library help(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (help) {
            if (HCURSOR hand = ::LoadCursorA(help.Get(), MAKEINTRESOURCEA(kHelpHandCursor)))
                SharedCursor().Reset(::CopyIcon(hand));
        }
    }
    // Current Windows and Wine have no such cursor in that file: the system's own hand is the same
    // picture. A copy, so that the one release path holds for both.
    if (!SharedCursor()) {
        if (HCURSOR hand = ::LoadCursorA(nullptr, IDC_HAND))
            SharedCursor().Reset(::CopyIcon(hand));
    }
}

} // namespace

HCURSOR CHyperlinkButton::HandCursor() {
    return SharedCursor().Get();
}

bool CHyperlinkButton::Create(HWND parent, const RECT& rect, int id, const std::string& text) {
    LoadSharedCursor();
    HWND button = ::CreateWindowExA(0, "BUTTON", text.c_str(), kLinkStyle, rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
    if (!button)
        return false;
    if (!Subclass(button)) {
        ::DestroyWindow(button);
        return false;
    }
    return true;
}

LRESULT CHyperlinkButton::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETCURSOR && HandCursor()) {
        ::SetCursor(HandCursor());
        return TRUE;
    }
    return Default(msg, wp, lp);
}

void CHyperlinkButton::Draw(const DRAWITEMSTRUCT& item) const {
    LOGFONTW logFont = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof logFont, &logFont);
    logFont.lfUnderline = TRUE;
    fw::Font font(::CreateFontIndirectW(&logFont));

    // GDI's 8-bit calls read text in the system's code page, not the process's: the text is drawn wide.
    wchar_t text[301] = {};
    ::GetWindowTextW(item.hwndItem, text, static_cast<int>(sizeof text / sizeof text[0]));
    HDC dc = item.hDC;
    HGDIOBJ previousFont = ::SelectObject(dc, font.Get());
    COLORREF previousColour = ::SetTextColor(dc, RGB(0, 0, 255));
    // The page's background shows through: the button draws neither a background nor a focus rectangle.
    int previousMode = ::SetBkMode(dc, TRANSPARENT);
    RECT r = item.rcItem;
    ::DrawTextW(dc, text, -1, &r, DT_VCENTER | DT_SINGLELINE);
    ::SetBkMode(dc, previousMode);
    ::SetTextColor(dc, previousColour);
    ::SelectObject(dc, previousFont);
}
