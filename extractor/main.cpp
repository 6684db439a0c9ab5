#include "extractor/extractor.h"
#include "framework/dll_search.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    fw::RestrictDllSearch();
    return RunExtractor();
}
