#include "rvlc/platform.h"
#include "rvlc/rvlc.h"

#ifdef _WIN32
#include "framework/dll_search.h"
#endif

#include <cstdio>
#include <new>

int main(int argc, char** argv) {
#ifdef _WIN32
    // Before any DLL is loaded on demand: a DLL planted beside rvlc.exe is never loaded.
    fw::RestrictDllSearch();
#endif
    // Progress and errors reach the console at once; the result on standard output is flushed at the end.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    // An interrupted run leaves neither its partial output nor a temporary copy behind.
    rvlc::RemoveFilesOnInterruption();
    int code;
    try {
        code = rvlc::Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        // Said, not a crash: the 32-bit build has 2 GB at most. Nothing is left at the output's name, as
        // every output is written under a temporary name first.
        std::fputs("rvlc: there is not enough memory\n", stderr);
        code = rvlc::kExitInput;
    }
    std::fflush(stdout);
    return code;
}
