// An owner-drawn push button that looks like a link: blue underlined text, and a hand cursor shared
// by every link of the process.
#pragma once

#include "framework/window.h"

#include <string>

class CHyperlinkButton : public fw::Window {
public:
    // Creates the button as a child of parent in rect (the parent's client coordinates), visible,
    // multi-line and owner-drawn. Loads the shared hand cursor the first time.
    bool Create(HWND parent, const RECT& rect, int id, const std::string& text);

    // The parent's WM_DRAWITEM for this button.
    void Draw(const DRAWITEMSTRUCT& item) const;

    // The cursor the links show; null when none could be loaded.
    static HCURSOR HandCursor();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};
