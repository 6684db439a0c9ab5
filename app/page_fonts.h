// The fonts that the welcome, read-me and finish pages give their texts. Each page keeps its fonts in
// members: the sheet's pages outlive their windows, so the controls are gone before a font is freed.
#pragma once

#include "framework/owners.h"

#include <windows.h>

// The title font of the exterior pages: Verdana, 20 high, normal weight, of the Swiss family.
HFONT CreateTitleFont();
// A copy of the font that control id of dialog shows, in bold.
HFONT CreateBoldFontOf(HWND dialog, int id);

// Gives control id of dialog the title font, created into owner.
void SetTitleFont(HWND dialog, int id, fw::Font& owner);
// Gives control id of dialog a bold copy of its own font, created into owner.
void SetBoldFont(HWND dialog, int id, fw::Font& owner);
