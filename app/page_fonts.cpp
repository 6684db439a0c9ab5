#include "app/page_fonts.h"

HFONT CreateTitleFont() {
    return ::CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana");
}

HFONT CreateBoldFontOf(HWND dialog, int id) {
    HFONT current = reinterpret_cast<HFONT>(::SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0));
    // Wide: a face name outside ASCII would not survive GDI's 8-bit calls, which use the system's code page.
    LOGFONTW logFont = {};
    if (!::GetObjectW(current ? static_cast<HGDIOBJ>(current) : ::GetStockObject(DEFAULT_GUI_FONT), sizeof logFont,
                      &logFont))
        return nullptr;
    logFont.lfWeight = FW_BOLD;
    return ::CreateFontIndirectW(&logFont);
}

namespace {

void SetItemFont(HWND dialog, int id, fw::Font& owner, HFONT font) {
    owner.Reset(font);
    ::SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(owner.Get()), FALSE);
}

} // namespace

void SetTitleFont(HWND dialog, int id, fw::Font& owner) {
    SetItemFont(dialog, id, owner, CreateTitleFont());
}

void SetBoldFont(HWND dialog, int id, fw::Font& owner) {
    SetItemFont(dialog, id, owner, CreateBoldFontOf(dialog, id));
}
