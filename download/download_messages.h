// The notices that a download worker posts to the hidden window of the object that started it.
#pragma once

#include <windows.h>

// wParam: DownloadProgress* (the window destroys it), or 0 when the record could not be allocated.
constexpr UINT WM_DOWNLOAD_DATA = WM_USER + 101;
// wParam: the download id (always 1); lParam: the expected bytes.
constexpr UINT WM_DOWNLOAD_START = WM_USER + 102;
// wParam: 1 success, 0 failure; lParam: char* text allocated with new[] (the window frees it), or 0.
constexpr UINT WM_DOWNLOAD_FINISH = WM_USER + 103;
