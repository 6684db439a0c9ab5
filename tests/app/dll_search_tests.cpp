// Where the wizard's system DLLs come from: a DLL named like one of them in the wizard's own folder must
// never be loaded.
#include "app/customizer_app.h"
#include "framework/owners.h"
#include "tests/builder/win_files.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <prsht.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The names of the DLLs in the import directory of a PE file, read from the file as it lies on disk.
std::vector<std::string> StaticImports(const std::string& data) {
    std::vector<std::string> names;
    if (data.size() < sizeof(IMAGE_DOS_HEADER))
        return names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(data.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(data.data() + dos->e_lfanew);
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    auto offset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return 0;
    };
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t at = offset(directory.VirtualAddress);
    for (; at && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= data.size(); at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(data.data() + at);
        if (!descriptor->Name)
            break;
        names.push_back(Lower(data.c_str() + offset(descriptor->Name)));
    }
    return names;
}

TEST(DllSearch, TheWizardImportsOnlyKnownDllsAtStart) {
    // The system's known DLLs always come from the system folder; every other DLL is delay-loaded after
    // the search has been restricted to it.
    const std::vector<std::string> known = {"advapi32.dll", "comdlg32.dll", "gdi32.dll",    "kernel32.dll",
                                            "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "rpcrt4.dll",
                                            "shell32.dll",  "shlwapi.dll",  "user32.dll",   "ws2_32.dll"};
    const std::vector<std::string> imports =
        StaticImports(pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLCustomizer.exe"));
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports)
        EXPECT_NE(known.end(), std::find(known.begin(), known.end(), name)) << name << " is imported at start";
    for (const char* delayed : {"comctl32.dll", "urlmon.dll", "wininet.dll"})
        EXPECT_EQ(imports.end(), std::find(imports.begin(), imports.end(), delayed)) << delayed;
}

// The path of every module loaded into process id.
std::vector<std::string> ModulePaths(DWORD id) {
    std::vector<std::string> paths;
    fw::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    if (!snapshot)
        return paths;
    MODULEENTRY32 entry = {sizeof(entry)};
    for (BOOL more = ::Module32First(snapshot.Get(), &entry); more; more = ::Module32Next(snapshot.Get(), &entry))
        paths.push_back(Lower(entry.szExePath));
    return paths;
}

TEST(DllSearch, DllsPlantedBesideTheWizardAreNotLoaded) {
    ASSERT_TRUE(uitest::find_windows_anywhere(kWizardCaption).empty()) << "a wizard from an earlier run is open";
    pkgtest::ScratchFolder folder;
    const std::string program =
        folder.Add("RVLCustomizer.exe", pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLCustomizer.exe"));
    const std::string planted = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "planted\\planted.dll");
    ASSERT_FALSE(planted.empty());
    for (const char* name : {"hhctrl.ocx", "comctl32.dll", "urlmon.dll", "wininet.dll", "uxtheme.dll"})
        folder.Add(name, planted);

    std::string command = "\"" + program + "\"";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(
        ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(), &si, &pi));
    fw::KernelHandle process(pi.hProcess), thread(pi.hThread);
    const bool shown =
        uitest::pump_until([] { return uitest::find_windows_anywhere(kWizardCaption).size() == 1; }, 20000);
    std::vector<std::string> modules = ModulePaths(pi.dwProcessId);
    if (shown)
        ::PostMessageA(uitest::find_windows_anywhere(kWizardCaption).front(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (::WaitForSingleObject(process.Get(), 10000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 1);
        ::WaitForSingleObject(process.Get(), 5000);
    }
    ASSERT_TRUE(shown) << "the copy of the wizard showed no wizard";

    const std::string own = Lower(folder.Path() + "\\");
    bool help = false, controls = false;
    for (const std::string& path : modules) {
        if (path != Lower(program)) {
            EXPECT_NE(0u, path.rfind(own, 0)) << path << " was loaded from the wizard's folder";
        }
        const std::string name = path.substr(path.rfind('\\') + 1);
        help = help || name == "hhctrl.ocx";
        controls = controls || name == "comctl32.dll";
    }
    EXPECT_TRUE(help) << "HTML Help is loaded with the sheet";
    EXPECT_TRUE(controls) << "the common controls are loaded at start";
}

} // namespace
