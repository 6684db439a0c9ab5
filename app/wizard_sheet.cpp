#include "app/wizard_sheet.h"

#include "framework/message.h"

#include <vector>

const char kCloseQuestion[] = "Close the Ravelin Customizer? The feeds and web pages you added will be lost.";
const char kReaderUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ravelin_is1";

namespace {
CWizardSheet* theSheet = nullptr;

// HH_DISPLAY_TOPIC and HH_CLOSE_ALL of HTML Help.
constexpr UINT kDisplayTopic = 0;
constexpr UINT kCloseAll = 0x12;
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
// HTML Help from the system folder by its full path: by name alone, a hhctrl.ocx beside the program
// would be found first.
HMODULE LoadHelpLibrary() {
    char system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::string path = std::string(system, length) + "\\hhctrl.ocx";
    return ::LoadLibraryA(path.c_str());
}
} // namespace

CWizardSheet* GetWizardSheet() {
    return theSheet;
}
void SetWizardSheet(CWizardSheet* sheet) {
    theSheet = sheet;
}
CWizardLinks* WizardLinks() {
    return theSheet;
}

CWizardSheet::CWizardSheet(const std::string& caption, HBITMAP watermark, HBITMAP header)
    : fw::PropertySheet(fw::ThisModule(), caption, watermark, header) {
    fw::PropertyPage* const order[kWizardPageCount] = {&welcome,     &feeds,       &webPages, &download,
                                                       &instruction, &destination, &finish};
    for (fw::PropertyPage* page : order)
        AddPage(*page);
    helpLibrary_.Reset(LoadHelpLibrary());
}

CWizardSheet::~CWizardSheet() {
    // The page windows go with the sheet window, while the page objects still exist.
    Destroy();
    // Help windows run on code of the help library: they close before the library is unloaded.
    if (helpLibrary_) {
        if (auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(::GetProcAddress(helpLibrary_.Get(), "HtmlHelpA")))
            htmlHelp(nullptr, nullptr, kCloseAll, 0);
    }
}

void CWizardSheet::ShowHelpTopic(const char* topic) const {
    if (!helpLibrary_)
        return;
    std::string path = HelpFilePath();
    auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(::GetProcAddress(helpLibrary_.Get(), "HtmlHelpA"));
    if (!htmlHelp)
        return;
    htmlHelp(nullptr, path.c_str(), kDisplayTopic, reinterpret_cast<DWORD_PTR>(topic));
}

bool CWizardSheet::HoldsUnsavedWork() const {
    if (destination.SetupWritten())
        return false;
    const CFeedFolderList& folders = feeds.Folders();
    for (int i = 0; i < folders.FolderCount(); ++i) {
        if (folders.FolderAt(i).Count() > 0)
            return true;
    }
    return webPages.List().Handle() && webPages.List().Count() > 0;
}

bool CWizardSheet::ConfirmClose() const {
    if (!HoldsUnsavedWork())
        return true;
    return fw::ShowMessage(Handle(), kCloseQuestion, "Ravelin Customizer", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
           IDYES;
}

void ShowHelpTopic(const char* topic) {
    if (CWizardSheet* sheet = GetWizardSheet())
        sheet->ShowHelpTopic(topic);
}

std::string HelpFilePath() {
    // A fixed buffer would cut a long program path and point at a wrong folder: grow until it fits.
    std::vector<char> buffer(300);
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size()) {
            std::string path(buffer.data(), n);
            size_t slash = path.rfind('\\');
            path.resize(slash == std::string::npos ? 0 : slash);
            return path + "\\Help\\RVLCustomizer.chm";
        }
        if (buffer.size() >= 32768)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

bool OpenReaderUninstallKey(fw::RegKey& key) {
    // Read access is enough to see that the key exists; full access under HKEY_LOCAL_MACHINE is
    // refused to a user who is not an administrator, who would then be told no reader is installed.
    // A 32-bit reader setup writes its key in the 32-bit view and a 64-bit one in the 64-bit view,
    // while a 32-bit program sees only the 32-bit view unless it asks: both are looked in.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            key.Reset();
            if (::RegOpenKeyExA(root, kReaderUninstallKey, 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS)
                return true;
        }
    }
    key.Reset();
    return false;
}

bool IsReaderInstalled() {
    fw::RegKey key;
    return OpenReaderUninstallKey(key);
}
