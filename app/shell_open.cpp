#include "app/shell_open.h"

#include <shellapi.h>

#include <utility>

namespace {
// Set only by tests, on the user-interface thread.
ShellOpenHook& Hook() {
    static ShellOpenHook hook;
    return hook;
}
} // namespace

bool OpenWithShell(HWND owner, const char* verb, const std::string& file, int show) {
    if (Hook())
        return Hook()(owner, verb, file, show);
    HINSTANCE result = ::ShellExecuteA(owner, verb, file.c_str(), nullptr, nullptr, show);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook) {
    return std::exchange(Hook(), std::move(hook));
}
