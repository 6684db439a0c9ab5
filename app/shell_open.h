// Every ShellExecuteA of the pages goes through OpenWithShell, so that a test can see which file was
// opened with which verb instead of starting a browser, an explorer window or a setup.
#pragma once

#include <windows.h>
#include <functional>
#include <string>

// ShellExecuteA(owner, verb, file, no parameters, no directory, show); returns whether the shell
// reported success (a result above 32).
bool OpenWithShell(HWND owner, const char* verb, const std::string& file, int show);

// A hook receives owner, verb, file and show command instead of the shell and answers its success.
// An empty function removes the hook. Returns the previous hook.
using ShellOpenHook = std::function<bool(HWND owner, const std::string& verb, const std::string& file, int show)>;
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);
