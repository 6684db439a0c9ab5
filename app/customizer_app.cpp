#include "app/customizer_app.h"

#include "app/wizard_sheet.h"
#include "framework/owners.h"
#include "framework/window.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <cstdlib>

const char kInstanceName[] = "0xf2d665f, 0x94f1, 0x43d9, { 0x96, 0x6b, 0x1a, 0xdf, 0x85, 0x14, 0x88, 0x73";
const char kReaderInstanceName[] = "0xe1f12b50_0xcd04_0x468b_0x98_0xe2_0xac_0x29_0x4d_0xf0_0x4f_0xd3";
const char kWizardCaption[] = "Welcome to the Ravelin Customizer";

LRESULT CMainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        CWizardSheet* sheet = GetWizardSheet();
        if (sheet && sheet->Handle())
            sheet->PressButton(PSBTN_CANCEL);
        else
            Destroy();
        return 0;
    }
    return fw::Window::OnMessage(msg, wp, lp);
}

bool ActivateRunningCustomizer() {
    HWND main = ::FindWindowA(kInstanceName, nullptr);
    if (!main)
        return false;
    // Showing the hidden main window itself, maximized, would put an empty window on the screen:
    // bring the wizard forward instead.
    HWND popup = ::GetLastActivePopup(main);
    if (popup && popup != main) {
        if (::IsIconic(popup))
            ::ShowWindow(popup, SW_RESTORE);
        ::SetForegroundWindow(popup);
    }
    return true;
}

bool CCustomizerApp::InitInstance() {
    // The program keeps no settings between runs, so it has no registry key of its own.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);

    HINSTANCE module = fw::ThisModule();
    fw::WindowClassInfo info;
    info.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    info.icon = ::LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));
    info.cursor = ::LoadCursorA(nullptr, IDC_ARROW);
    info.background = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    if (!fw::Window::RegisterWindowClass(module, kInstanceName, info))
        return false;

    // The mutex is only a marker of a running customizer; it stays open until the process ends.
    static fw::KernelHandle instanceMutex;
    ::SetLastError(ERROR_SUCCESS);
    instanceMutex.Reset(::CreateMutexA(nullptr, FALSE, kInstanceName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningCustomizer();
        return false;
    }

    fw::Bitmap header(::LoadBitmapA(module, MAKEINTRESOURCEA(IDB_HEADER)));
    fw::Bitmap watermark(::LoadBitmapA(module, MAKEINTRESOURCEA(IDB_WATERMARK)));

    // The main window is never shown. It has no title, so that only the wizard is known by the wizard's
    // caption.
    CMainWindow main;
    main.Create(module, kInstanceName, "", WS_POPUP);

    {
        CWizardSheet sheet(kWizardCaption, watermark.Get(), header.Get());
        SetWizardSheet(&sheet);
        // The one argument is a customized setup to open (a setup dropped on the program's icon).
        if (__argc == 2 && __argv && __argv[1])
            sheet.welcome.SetSetupToOpen(__argv[1]);
        sheet.DoModal(main.Handle());
        SetWizardSheet(nullptr);
    }
    return false;
}
