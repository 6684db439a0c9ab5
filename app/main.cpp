#include "app/customizer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CCustomizerApp app;
    app.InitInstance();
    return 0;
}
