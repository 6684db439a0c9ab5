// Header only, so that a program as small as the extractor can use it without the framework library.
#pragma once

#include <windows.h>

namespace fw {

// Makes every DLL that the process loads by name come from the system folder only, never from the
// program's own folder or the current directory, where a planted DLL of the same name could wait
// (beside a downloaded setup, say). Must run before anything loads a DLL on demand. Does nothing on
// a system without SetDefaultDllDirectories (Windows 7 without its update).
inline void RestrictDllSearch() {
    // Looked up rather than imported, so that the program still starts where it is missing.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto setDirectories =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(::GetProcAddress(kernel, "SetDefaultDllDirectories"))
               : nullptr;
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace fw
