#include "app/customizer_app.h"
#include "framework/dll_search.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before any DLL is loaded on demand: comctl32, urlmon and wininet are delay-loaded.
    fw::RestrictDllSearch();
    CCustomizerApp app;
    app.InitInstance();
    return 0;
}
