#include "builder/destination_folder_page.h"

#include "builder/setup_trust.h"
#include "builder/sfx_packager.h"
#include "framework/listview.h"
#include "framework/message.h"
#include "framework/owners.h"
#include "framework/text.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <new>
#include <vector>

const char kReplaceOutput[] = " already exists.\nDo you want to replace it?";

namespace {

const char kCaption[] = "Ravelin Customizer";
const UINT kSetupNameMaxChars = 260;

// The web pages page's list, read in place; no rows while that page has no window or no list.
std::vector<WebPageRow> WebPageRows() {
    std::vector<WebPageRow> rows;
    if (CWizardLinks* links = WizardLinks()) {
        for (const auto& row : links->WebPageRows())
            rows.push_back({row.first, row.second, links->KeptPageAttributes(row.second)});
    }
    return rows;
}

// The file-system path of a shell item list, without a trailing backslash unless it is a drive's root
// (Wine gives the documents folder with one, which would double the backslash of the output path).
// Read wide: MAX_PATH characters outside ASCII take more than MAX_PATH bytes of UTF-8. A path that the
// process code page cannot hold gives an empty text rather than an altered one.
std::string PathOfItems(LPCITEMIDLIST items) {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(items, buffer))
        return std::string();
    ::PathRemoveBackslashW(buffer);
    std::string path;
    return fw::ToAnsiExact(buffer, -1, &path) ? path : std::string();
}

std::string DocumentsFolder() {
    std::string path;
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &items)) && items) {
        path = PathOfItems(items);
        ::CoTaskMemFree(items);
    }
    if (path.empty()) {
        char buffer[1040] = {};
        const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
        if (length > 0 && length < sizeof buffer)
            path = buffer;
    }
    return path;
}

bool IsDeviceStem(const std::string& stem) {
    static const char* const kThree[] = {"AUX", "CON", "NUL", "PRN"};
    const size_t n = stem.size();
    if (n == 3) {
        for (const char* name : kThree) {
            if (text::CompareNoCase(stem, name) == 0)
                return true;
        }
        return false;
    }
    if (n == 4 && stem[3] >= '1' && stem[3] <= '9')
        return text::CompareNoCase(stem.substr(0, 3), "COM") == 0 || text::CompareNoCase(stem.substr(0, 3), "LPT") == 0;
    return n == 6 && text::CompareNoCase(stem, "CLOCK$") == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    char fullA[MAX_PATH] = {}, fullB[MAX_PATH] = {};
    const DWORD la = ::GetFullPathNameA(a.c_str(), MAX_PATH, fullA, nullptr);
    const DWORD lb = ::GetFullPathNameA(b.c_str(), MAX_PATH, fullB, nullptr);
    if (la == 0 || la >= MAX_PATH || lb == 0 || lb >= MAX_PATH)
        return text::CompareNoCase(a, b) == 0;
    return text::CompareNoCase(fullA, fullB) == 0;
}

} // namespace

int CheckSetupName(const std::string& name) {
    if (name.empty())
        return kSetupNameTooLongOrEmpty;
    static const char kForbidden[] = "\"*/:<>?\\|";
    // Every character is checked, however long the name: a forbidden one past the 256th would otherwise
    // reach the file system.
    bool dotsOnly = true;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '.')
            continue;
        dotsOnly = false;
        if (u < ' ' || std::strchr(kForbidden, c))
            return u;
    }
    // The file system's limit counts characters, not the bytes of the process code page (a name in
    // Japanese takes three bytes a character in UTF-8).
    if (::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0) >= 256)
        return kSetupNameTooLongOrEmpty;
    if (dotsOnly)
        return '.';
    if (name[0] == '.')
        return kSetupNameAccepted;
    const std::string stem = name.substr(0, name.find('.'));
    return IsDeviceStem(stem) ? kSetupNameDevice : kSetupNameAccepted;
}

std::string MakeOutputPath(const std::string& folder, const std::string& name) {
    std::string path = folder + "\\" + name;
    // Byte for byte: "Setup.EXE" becomes "Setup.EXE.exe".
    if (std::strcmp(::PathFindExtensionA(path.c_str()), ".exe") != 0)
        path += ".exe";
    return path;
}

bool CDestinationFolderPage::OnInitDialog() {
    if (!proposed_) {
        destinationFolder_ = DocumentsFolder();
        setupName_ = "MyNewRVL";
    }
    Exchange(false);
    // After the text is in: setting it would take the selection away again.
    SelectAllText(IDE_SETUP_NAME);
    return true;
}

void CDestinationFolderPage::ProposeOutput(const std::string& folder, const std::string& name) {
    proposed_ = true;
    destinationFolder_ = folder;
    setupName_ = name;
    if (Handle())
        Exchange(false);
}

void CDestinationFolderPage::Exchange(bool save) {
    ExchangeText(IDE_FOLDER, destinationFolder_, save);
    ExchangeText(IDE_SETUP_NAME, setupName_, save, kSetupNameMaxChars);
}

bool CDestinationFolderPage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_BROWSE && code == BN_CLICKED) {
        Browse();
        return true;
    }
    return CWizardPage::OnCommand(id, code, control);
}

void CDestinationFolderPage::Browse() {
    // The new-style folder browser needs the apartment that the wizard's sheet holds on this thread.
    BROWSEINFOA info{};
    // The sheet owns the browser and is disabled while it is open: Next or Cancel of the wizard cannot
    // run under it.
    info.hwndOwner = ::GetAncestor(Handle(), GA_ROOT);
    info.pidlRoot = nullptr;
    info.lpszTitle = "Select a Destination Folder";
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    if (LPITEMIDLIST items = ::SHBrowseForFolderA(&info)) {
        const std::string path = PathOfItems(items);
        if (!path.empty()) {
            destinationFolder_ = path;
            SetItemText(IDE_FOLDER, destinationFolder_);
        }
        ::CoTaskMemFree(items);
    }
}

bool CDestinationFolderPage::Refuse(const char* text, int editId) const {
    fw::ShowMessage(Handle(), text, kCaption, MB_ICONWARNING);
    FocusAndSelect(editId);
    return false;
}

bool CDestinationFolderPage::Validate() const {
    if (destinationFolder_.empty())
        return Refuse("Please select the desination location of customizable setup.", IDE_FOLDER);
    if (setupName_.empty())
        return Refuse("Please specify the name of the customized setup.", IDE_SETUP_NAME);
    const int check = CheckSetupName(setupName_);
    if (check > 0)
        return Refuse("Please specify another name for setup. A file name cannot contain any of the following "
                      "characters:\\/:*?<>|\"",
                      IDE_SETUP_NAME);
    if (check <= kSetupNameDevice)
        return Refuse("Please specify another name for setup. A device name cannot be used.", IDE_SETUP_NAME);
    return true;
}

LRESULT CDestinationFolderPage::OnWizardBack() {
    return JumpTo(IsReaderInstalled() ? kInstructionPage : kWebPagesPage);
}

LRESULT CDestinationFolderPage::OnWizardNext() {
    Exchange(true);
    destinationFolder_ = text::Trim(destinationFolder_);
    setupName_ = text::Trim(setupName_);
    if (!Validate())
        return kStay;
    // A file that this run did not write may be the publisher's shipped, signed release (Open Setup
    // proposes the opened setup's own path): it is replaced only when they say so. A rebuild of what this
    // run wrote goes on without asking.
    const std::string outputPath = MakeOutputPath(destinationFolder_, setupName_);
    const DWORD attributes = ::GetFileAttributesA(outputPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !text::EqualNoCase(outputPath, writtenPath_)) {
        const size_t slash = outputPath.find_last_of('\\');
        const std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
        if (fw::ShowMessage(Handle(), name + kReplaceOutput, kCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
            IDYES)
            return kStay;
    }
    if (CWizardLinks* links = WizardLinks())
        links->SetSetupLocation(destinationFolder_, setupName_);
    {
        fw::WaitCursor wait;
        // Memory that runs out would otherwise end in the dialog manager's catch, with no word at all.
        bool built = false;
        try {
            built = BuildCustomizedSetup();
        } catch (const std::bad_alloc&) {
            fw::ShowMessage(Handle(), "There is not enough memory to build the customized setup.", kCaption,
                            MB_OK | MB_ICONWARNING);
        }
        if (!built)
            return kStay;
        setupWritten_ = true;
        writtenPath_ = outputPath;
        DeleteDataFiles();
    }
    return kMoveToNeighbour;
}

bool CDestinationFolderPage::BuildCustomizedSetup() {
    CWizardLinks* links = WizardLinks();
    static const CFeedFolderList kNoFolders;
    dataFiles_ = WriteDataFiles(links ? links->FeedFolders() : kNoFolders, WebPageRows());

    // The data files without the reader's setup would make a setup that installs nothing, and a setup
    // without the publisher's feeds or pages is not what they chose: either fails the build.
    CSfxPackager packager;
    const bool haveReaderSetup = packager.AddFile(readerSetupPath_.c_str());
    if (dataFiles_.feedCount != 0)
        packager.AddFile(dataFiles_.feedsPath.c_str());
    if (dataFiles_.webPageCount != 0)
        packager.AddFile(dataFiles_.webPagesPath.c_str());

    const std::string outputPath = MakeOutputPath(destinationFolder_, setupName_);
    if (links)
        links->SetOutputPath(outputPath);

    // The package is written under a scratch name beside the output and takes the output's name only
    // when it is whole: a failed build leaves no half-written setup that looks like a good one, and an
    // earlier good setup stays. An output that is one of the inputs is refused before anything is written.
    bool built = dataFiles_.complete && haveReaderSetup && !SameFile(outputPath, readerSetupPath_) &&
                 !SameFile(outputPath, dataFiles_.feedsPath) && !SameFile(outputPath, dataFiles_.webPagesPath);
    // The setup was checked when it arrived and is checked again now, on a handle that lets nobody write
    // to it until it is packed: what is packed is what was checked.
    fw::FileHandle guard;
    if (built) {
        guard.Reset(::CreateFileA(readerSetupPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        const SetupTrust trust = guard ? CheckSetupTrust(guard.Get(), readerSetupPath_, nullptr) : kSetupUnreadable;
        const DWORD error = ::GetLastError();
        // The maker signs more programs than the reader's setup: the held bytes must also name the reader.
        std::string reason = SetupTrustFailureText(trust, error);
        if (trust == kSetupTrusted) {
            pkg::VersionResource version;
            ReadHeldVersion(guard.Get(), version);
            reason = ReaderProductFailureText(version);
        }
        if (!reason.empty()) {
            guard.Reset();
            RefuseReaderSetup(reason);
            return false;
        }
    }
    if (built) {
        const std::string partPath = outputPath + ".part";
        built = packager.BuildPackage(240, partPath.c_str(), nullptr, nullptr) == pkg::kSuccess &&
                ::MoveFileExA(partPath.c_str(), outputPath.c_str(), MOVEFILE_REPLACE_EXISTING);
        if (!built)
            ::DeleteFileA(partPath.c_str());
    }
    if (!built)
        fw::ShowMessage(Handle(), "Error occurred. Please try again.", "Error", MB_OK);
    return built;
}

void CDestinationFolderPage::RefuseReaderSetup(const std::string& reason) {
    const std::string text =
        "The setup of Ravelin cannot be packed.\n\n" + reason + "\n\nPlease go back and download it again.";
    fw::ShowMessage(Handle(), text, kCaption, MB_OK | MB_ICONWARNING);
    // Nothing that failed the check may be packed later; Back reaches the download page, which fetches
    // the setup again.
    ::DeleteFileA(readerSetupPath_.c_str());
    readerSetupPath_.clear();
    if (CWizardLinks* links = WizardLinks())
        links->ForgetReaderSetup();
}

void CDestinationFolderPage::DeleteDataFiles() {
    if (!dataFiles_.feedsPath.empty())
        ::DeleteFileA(dataFiles_.feedsPath.c_str());
    if (!dataFiles_.webPagesPath.empty())
        ::DeleteFileA(dataFiles_.webPagesPath.c_str());
    ::CoFreeUnusedLibraries();
}

void CDestinationFolderPage::OnDestroy() {
    if (!readerSetupPath_.empty())
        ::DeleteFileA(readerSetupPath_.c_str());
    CWizardPage::OnDestroy();
}
