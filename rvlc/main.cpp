#include "rvlc/rvlc.h"

#ifdef _WIN32
#include "framework/dll_search.h"
#endif

#include <cstdio>

int main(int argc, char** argv) {
#ifdef _WIN32
    // Before any DLL is loaded on demand: a DLL planted beside rvlc.exe is never loaded.
    fw::RestrictDllSearch();
#endif
    // Progress and errors reach the console at once; the result on standard output is flushed at the end.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    const int code = rvlc::Run(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    return code;
}
