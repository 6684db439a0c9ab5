// Every message box of the program goes through ShowMessage, so that a test can read what would be
// shown and give the answer instead of a user.
#pragma once

#include <windows.h>
#include <functional>
#include <string>

namespace fw {

// Returns the button the user chose (IDOK, IDYES...), like MessageBoxA.
int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// A hook receives owner, text, caption and flags and returns the answer; no box is shown while a
// hook is installed. An empty function removes the hook. Returns the previous hook.
using MessageHook = std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>;
MessageHook SetMessageHook(MessageHook hook);

} // namespace fw
