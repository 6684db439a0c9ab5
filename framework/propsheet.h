// Wizard97 property sheets and their pages.
//
// Each PSN_* notification reaches one virtual of the page, and every answer goes back through
// DWLP_MSGRESULT with one convention (see PropertyPage). Exterior and interior pages differ only by
// their header flags. A sheet is filled from its pages in the order they are added; every page carries
// the sheet's caption as its title, because Wine's wizard shows the current page's title in the title
// bar (an empty one without it).
#pragma once

#include "framework/dialog.h"

#include <prsht.h>
#include <string>
#include <vector>

namespace fw {

class PropertySheet;

// The command of every page's Help button.
constexpr int kHelpCommand = 57670;

class PropertyPage : public Dialog {
public:
    // An interior page shows the header title and subtitle of the string table entries given; an
    // exterior page (both 0) hides the header and shows the watermark.
    PropertyPage(HINSTANCE module, int templateId, UINT headerTitleId = 0, UINT headerSubtitleId = 0)
        : Dialog(module, templateId), headerTitleId_(headerTitleId), headerSubtitleId_(headerSubtitleId) {}
    // The sheet destroys the page's window; a page object that ends first only lets go of it.
    ~PropertyPage() override { Unbind(); }

    bool IsExterior() const { return headerTitleId_ == 0 && headerSubtitleId_ == 0; }
    PropertySheet* Sheet() const { return sheet_; }
    // The sheet's window, which is the parent of every page window.
    HWND SheetHandle() const;

    // The one place where the page record is filled in.
    HPROPSHEETPAGE CreatePageHandle(PropertySheet* sheet);

    // Answers of OnWizardBack and OnWizardNext.
    static constexpr LRESULT kMoveToNeighbour = 0;
    static constexpr LRESULT kStay = -1;

protected:
    // Return false to refuse the activation (the sheet skips the page).
    virtual bool OnSetActive() { return true; }
    // Return false to keep the page current (for instance after a refused field).
    virtual bool OnKillActive() { return true; }
    // kMoveToNeighbour, kStay, or JumpTo(index) after which the wizard adds no move of its own.
    virtual LRESULT OnWizardBack() { return kMoveToNeighbour; }
    virtual LRESULT OnWizardNext() { return kMoveToNeighbour; }
    // Return false to keep the wizard open.
    virtual bool OnWizardFinish() { return true; }
    // Return false to refuse the Cancel.
    virtual bool OnQueryCancel() { return true; }
    // The Help button (PSN_HELP) and the Help command (kHelpCommand).
    virtual void OnHelp() {}
    // The sheet closes through Cancel.
    virtual void OnReset() {}
    // Activates the page at index itself and answers so that the wizard keeps it.
    LRESULT JumpTo(int index);

    bool OnNotify(NMHDR* header, LRESULT& result) override;
    bool OnCommand(int id, int code, HWND control) override;
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    UINT headerTitleId_;
    UINT headerSubtitleId_;
    PropertySheet* sheet_ = nullptr;
    std::string headerTitle_;
    std::string headerSubtitle_;
};

class PropertySheet {
public:
    // A Wizard97 sheet with watermark and header bitmaps (owned by the caller) and a Help button.
    PropertySheet(HINSTANCE module, const std::string& caption, HBITMAP watermark, HBITMAP header);
    // A derived sheet that owns its pages calls Destroy() in its own destructor, while the pages
    // still exist.
    virtual ~PropertySheet();
    PropertySheet(const PropertySheet&) = delete;
    PropertySheet& operator=(const PropertySheet&) = delete;

    // Pages appear in the order they are added. The sheet does not own them.
    void AddPage(PropertyPage& page) { pages_.push_back(&page); }
    void SetStartPage(int index) { startPage_ = index; }

    // Runs the wizard modally; returns the result of PropertySheetA (-1 on failure).
    INT_PTR DoModal(HWND parent);
    // Creates a modeless wizard (PSH_MODELESS). The caller pumps messages; IsClosed() tells when
    // Finish or Cancel has been pressed, and Destroy() then removes the window.
    bool Create(HWND parent);
    bool IsClosed() const;
    void Destroy();

    HWND Handle() const { return hwnd_; }
    HINSTANCE Module() const { return module_; }
    const std::string& Caption() const { return caption_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    PropertyPage* Page(int index) const;
    int PageIndex(const PropertyPage* page) const;

    // The messages of the sheet.
    void SetActivePage(int index) const;
    int ActiveIndex() const;
    void SetWizardButtons(DWORD flags) const;
    void PressButton(int button) const;

private:
    friend class PropertyPage;
    // Binds the sheet window; a page calls it when the first page initialises, before PropertySheetA
    // returns.
    void Attach(HWND hwnd);
    bool Build(HWND parent, bool modeless, PROPSHEETHEADERA& header, std::vector<HPROPSHEETPAGE>& handles);
    static LRESULT CALLBACK SheetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);

    HINSTANCE module_;
    std::string caption_;
    HBITMAP watermark_;
    HBITMAP header_;
    std::vector<PropertyPage*> pages_;
    int startPage_ = 0;
    HWND hwnd_ = nullptr;
    bool modeless_ = false;
};

} // namespace fw
