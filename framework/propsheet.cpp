#include "framework/propsheet.h"

#include <commctrl.h>

namespace fw {

HWND PropertyPage::SheetHandle() const {
    return Handle() ? ::GetParent(Handle()) : nullptr;
}

HPROPSHEETPAGE PropertyPage::CreatePageHandle(PropertySheet* sheet) {
    sheet_ = sheet;
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof(page);
    // Every page offers Help; the page answers it with its own topic.
    page.dwFlags = PSP_HASHELP;
    // A wizard shows the title of the current page in its title bar (Wine puts the page's, empty
    // without PSP_USETITLE, there on every page change): every page carries the sheet's caption.
    if (sheet && !sheet->Caption().empty()) {
        page.dwFlags |= PSP_USETITLE;
        page.pszTitle = sheet->Caption().c_str();
    }
    page.hInstance = Module();
    page.pszTemplate = MAKEINTRESOURCEA(TemplateId());
    page.pfnDlgProc = PageProc;
    page.lParam = reinterpret_cast<LPARAM>(static_cast<Dialog*>(this));
    if (IsExterior()) {
        page.dwFlags |= PSP_HIDEHEADER;
    } else {
        headerTitle_ = LoadResourceString(Module(), headerTitleId_);
        headerSubtitle_ = LoadResourceString(Module(), headerSubtitleId_);
        page.dwFlags |= PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
        page.pszHeaderTitle = headerTitle_.c_str();
        page.pszHeaderSubTitle = headerSubtitle_.c_str();
    }
    return ::CreatePropertySheetPageA(&page);
}

LRESULT PropertyPage::JumpTo(int index) {
    if (sheet_)
        sheet_->SetActivePage(index);
    return kStay;
}

INT_PTR CALLBACK PropertyPage::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // The lParam of a page's WM_INITDIALOG is the sheet's copy of the page record; ours carries the
    // object.
    if (msg == WM_INITDIALOG)
        lp = lp ? reinterpret_cast<const PROPSHEETPAGEA*>(lp)->lParam : 0;
    return DialogProc(hwnd, msg, wp, lp);
}

INT_PTR PropertyPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // The sheet window exists once its first page is created: the sheet binds its handle here.
    if (msg == WM_INITDIALOG && sheet_ && !sheet_->Handle())
        sheet_->Attach(SheetHandle());
    return Dialog::OnMessage(msg, wp, lp);
}

bool PropertyPage::OnCommand(int id, int code, HWND control) {
    if (id == kHelpCommand) {
        OnHelp();
        return true;
    }
    return Dialog::OnCommand(id, code, control);
}

bool PropertyPage::OnNotify(NMHDR* header, LRESULT& result) {
    // Only the sheet's own notifications; a control's notification goes to Dialog::OnNotify.
    if (!header || header->hwndFrom != SheetHandle())
        return Dialog::OnNotify(header, result);
    switch (header->code) {
    case PSN_SETACTIVE:
        result = OnSetActive() ? 0 : -1;
        return true;
    case PSN_KILLACTIVE:
        result = OnKillActive() ? FALSE : TRUE;
        return true;
    case PSN_WIZBACK:
        result = OnWizardBack();
        return true;
    case PSN_WIZNEXT:
        result = OnWizardNext();
        return true;
    case PSN_WIZFINISH:
        result = OnWizardFinish() ? FALSE : TRUE;
        return true;
    case PSN_QUERYCANCEL:
        result = OnQueryCancel() ? FALSE : TRUE;
        return true;
    case PSN_HELP:
        OnHelp();
        result = 0;
        return true;
    case PSN_RESET:
        OnReset();
        result = 0;
        return true;
    }
    return Dialog::OnNotify(header, result);
}

PropertySheet::PropertySheet(HINSTANCE module, const std::string& caption, HBITMAP watermark, HBITMAP header)
    : module_(module), caption_(caption), watermark_(watermark), header_(header) {}

PropertySheet::~PropertySheet() {
    Destroy();
}

PropertyPage* PropertySheet::Page(int index) const {
    return index >= 0 && index < PageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

int PropertySheet::PageIndex(const PropertyPage* page) const {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i] == page)
            return static_cast<int>(i);
    }
    return -1;
}

bool PropertySheet::Build(HWND parent, bool modeless, PROPSHEETHEADERA& header, std::vector<HPROPSHEETPAGE>& handles) {
    for (PropertyPage* page : pages_) {
        HPROPSHEETPAGE handle = page->CreatePageHandle(this);
        if (!handle) {
            for (HPROPSHEETPAGE made : handles)
                ::DestroyPropertySheetPage(made);
            handles.clear();
            return false;
        }
        handles.push_back(handle);
    }
    header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER | PSH_USEHBMWATERMARK | PSH_USEHBMHEADER | PSH_HASHELP |
                     (modeless ? PSH_MODELESS : 0);
    header.hwndParent = parent;
    header.hInstance = module_;
    header.pszCaption = caption_.c_str();
    header.nPages = static_cast<UINT>(handles.size());
    header.nStartPage = static_cast<UINT>(startPage_);
    header.phpage = handles.data();
    header.hbmWatermark = watermark_;
    header.hbmHeader = header_;
    return true;
}

INT_PTR PropertySheet::DoModal(HWND parent) {
    if (hwnd_)
        return -1;
    PROPSHEETHEADERA header;
    std::vector<HPROPSHEETPAGE> handles;
    if (!Build(parent, false, header, handles))
        return -1;
    modeless_ = false;
    // PropertySheetA takes the page handles over, also when it fails.
    INT_PTR result = ::PropertySheetA(&header);
    hwnd_ = nullptr;
    return result;
}

bool PropertySheet::Create(HWND parent) {
    if (hwnd_)
        return false;
    PROPSHEETHEADERA header;
    std::vector<HPROPSHEETPAGE> handles;
    if (!Build(parent, true, header, handles))
        return false;
    modeless_ = true;
    INT_PTR result = ::PropertySheetA(&header);
    if (result == 0 || result == -1)
        return false;
    Attach(reinterpret_cast<HWND>(result));
    return true;
}

bool PropertySheet::IsClosed() const {
    // A modeless sheet has no current page once Finish or Cancel has been pressed.
    return !hwnd_ || ::SendMessageA(hwnd_, PSM_GETCURRENTPAGEHWND, 0, 0) == 0;
}

void PropertySheet::Destroy() {
    if (hwnd_ && modeless_)
        ::DestroyWindow(hwnd_);
    if (modeless_)
        hwnd_ = nullptr;
}

void PropertySheet::Attach(HWND hwnd) {
    if (hwnd_ == hwnd || !hwnd)
        return;
    hwnd_ = hwnd;
    ::SetWindowSubclass(hwnd_, SheetProc, 0, 0);
    // A sheet whose owner is hidden would have no task bar button of its own otherwise.
    LONG_PTR exStyle = ::GetWindowLongPtrA(hwnd_, GWL_EXSTYLE);
    ::SetWindowLongPtrA(hwnd_, GWL_EXSTYLE, exStyle | WS_EX_APPWINDOW);
}

// The close box, Alt+F4 and a WM_CLOSE from elsewhere reach the sheet as WM_CLOSE, which the common
// controls answer with a Cancel and then, through the dialog manager, with a second one: a page's
// question on Cancel would be asked twice. The sheet presses its Cancel button once instead.
LRESULT CALLBACK PropertySheet::SheetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR) {
    if (msg == WM_CLOSE) {
        ::SendMessageA(hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return 0;
    }
    if (msg == WM_NCDESTROY)
        ::RemoveWindowSubclass(hwnd, SheetProc, id);
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

void PropertySheet::SetActivePage(int index) const {
    ::SendMessageA(hwnd_, PSM_SETCURSEL, index, 0);
}

int PropertySheet::ActiveIndex() const {
    HWND page = reinterpret_cast<HWND>(::SendMessageA(hwnd_, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (!page)
        return -1;
    return static_cast<int>(::SendMessageA(hwnd_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0));
}

void PropertySheet::SetWizardButtons(DWORD flags) const {
    ::SendMessageA(hwnd_, PSM_SETWIZBUTTONS, 0, flags);
}

void PropertySheet::PressButton(int button) const {
    ::SendMessageA(hwnd_, PSM_PRESSBUTTON, button, 0);
}

} // namespace fw
