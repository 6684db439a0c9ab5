// The one message that a download worker posts to the hidden window of the object that started it.
#pragma once

#include <windows.h>

// Carries nothing (wParam and lParam are 0): it only tells the window to look for notices, which wait
// in the transfers' channels. A message that another process posts to the window therefore changes
// nothing: there is no pointer to free and no finish to believe. The number is new, so that a window
// of an older module never takes it for one of its own.
constexpr UINT WM_DOWNLOAD_WAKE = WM_USER + 110;
