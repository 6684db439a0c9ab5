#include "app/instruction_page.h"

#include "app/customizer_app.h"
#include "app/page_fonts.h"
#include "app/wizard_sheet.h"

#include <cstring>
#include <vector>

namespace {
// The reader's files of feeds and of web pages in its installation folder.
const char* const kReaderFiles[] = {"Ravelin.xml", "WebPages.xml"};
// How long a reader that was asked to quit is given to let go of its files.
constexpr DWORD kReaderQuitWait = 500;
} // namespace

std::string ReaderInstallFolder() {
    fw::RegKey key;
    if (!OpenReaderUninstallKey(key))
        return std::string();
    std::vector<char> buffer(1024 + 1);
    DWORD type = 0;
    DWORD size = 1024;
    if (::RegQueryValueExA(key.Get(), "Inno Setup: App Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    std::string folder(buffer.data(), strnlen(buffer.data(), size));
    // An empty value names no folder; it must not turn into the root of the current drive.
    if (folder.empty())
        return folder;
    if (folder.back() != '\\')
        folder += '\\';
    return folder;
}

bool CloseRunningReader() {
    // The reader holds a mutex of its instance name while it runs; the mutex is only a marker.
    ::SetLastError(ERROR_SUCCESS);
    fw::KernelHandle mutex(::CreateMutexA(nullptr, FALSE, kReaderInstanceName));
    const bool running = ::GetLastError() == ERROR_ALREADY_EXISTS;
    mutex.Reset();
    if (!running)
        return true;
    HWND reader = ::FindWindowA(kReaderInstanceName, nullptr);
    if (!reader)
        return false;
    ::PostMessageA(reader, WM_QUIT, 0, 0);
    ::Sleep(kReaderQuitWait);
    return true;
}

std::string BackupName(const std::string& file, int number) {
    return number == 1 ? file + ".bak" : file + "." + std::to_string(number) + ".bak";
}

void BackUpReaderFile(const std::string& file) {
    // The publisher's own feeds stay at hand beside the reader, under a name it does not read. A backup
    // is never replaced: the first one holds the publisher's own feeds, later runs add numbered ones.
    if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    for (int number = 1; number < 10000; ++number) {
        if (::MoveFileExA(file.c_str(), BackupName(file, number).c_str(), MOVEFILE_COPY_ALLOWED))
            return;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return;
    }
}

LRESULT CInstructionPage::OnWizardBack() {
    return JumpTo(kWebPagesPage);
}

bool CInstructionPage::OnInitDialog() {
    SendItem(IDC_NOTE_ICON, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconA(nullptr, IDI_INFORMATION)), 0);
    note_ = fw::LoadResourceString(Module(), IDS_README_NOTE);
    ExchangeText(IDT_NOTE, note_, false);
    SetBoldFont(Handle(), IDT_NOTE, noteFont_);
    SetBoldFont(Handle(), IDT_IMPORTANT, headingFont_);
    return true;
}

LRESULT CInstructionPage::OnWizardNext() {
    // Without the installation folder, or with a reader that cannot be asked to quit, the page stays
    // silently: the user can go Back or Cancel.
    const std::string folder = ReaderInstallFolder();
    if (folder.empty())
        return kStay;
    if (!CloseRunningReader())
        return kStay;
    for (const char* name : kReaderFiles)
        BackUpReaderFile(folder + name);
    return kMoveToNeighbour;
}
