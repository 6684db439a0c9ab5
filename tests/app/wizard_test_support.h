// What the tests of the wizard's pages share: a modeless wizard on the test's thread, and the reader's
// uninstall key, written for one test and removed afterwards.
#pragma once

#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "framework/owners.h"
#include "resources/resource.h"
#include "tests/ui/ui.h"

#include <windows.h>

#include <memory>

// A modeless wizard with the program's bitmaps, pumped by uitest::flush_events; it is the process's
// wizard while it is open.
class ModelessWizard {
public:
    ModelessWizard()
        : header_(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_HEADER))),
          watermark_(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_WATERMARK))) {}
    ~ModelessWizard() { Close(); }
    ModelessWizard(const ModelessWizard&) = delete;
    ModelessWizard& operator=(const ModelessWizard&) = delete;

    // The sheet's window, or null when it cannot be created.
    HWND Open(bool show = true) {
        Close();
        sheet_ = std::make_unique<CWizardSheet>(kWizardCaption, watermark_.Get(), header_.Get());
        SetWizardSheet(sheet_.get());
        if (!sheet_->Create(nullptr))
            return nullptr;
        if (show)
            ::ShowWindow(sheet_->Handle(), SW_SHOW);
        uitest::flush_events();
        return sheet_->Handle();
    }
    // Destroys the sheet's window, then the sheet.
    void Close() {
        if (sheet_)
            sheet_->Destroy();
        Release();
        uitest::flush_events();
    }
    // Drops the sheet object alone: its destructor takes its windows along.
    void Release() {
        SetWizardSheet(nullptr);
        sheet_.reset();
    }

    CWizardSheet* operator->() const { return sheet_.get(); }
    explicit operator bool() const { return sheet_ != nullptr; }

private:
    fw::Bitmap header_;
    fw::Bitmap watermark_;
    std::unique_ptr<CWizardSheet> sheet_;
};

enum class ReaderKey { None, LocalMachine, CurrentUser };

// The reader's uninstall key for the life of the object, in the program's own registry view or, with
// KEY_WOW64_32KEY or KEY_WOW64_64KEY, in that view alone (where a reader setup of that width writes it).
class ReaderKeyScope {
public:
    // appPath, when given, becomes the key's "Inno Setup: App Path" value: the reader's installation folder.
    explicit ReaderKeyScope(ReaderKey where, const char* appPath = nullptr, REGSAM view = 0) {
        RemoveAll();
        HKEY root = where == ReaderKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        if (where != ReaderKey::None) {
            HKEY key = nullptr;
            created_ = ::RegCreateKeyExA(root, kReaderUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                         nullptr) == ERROR_SUCCESS;
            if (key && appPath)
                created_ =
                    ::RegSetValueExA(key, "Inno Setup: App Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(appPath),
                                     static_cast<DWORD>(strlen(appPath) + 1)) == ERROR_SUCCESS;
            if (key)
                ::RegCloseKey(key);
        }
    }
    ~ReaderKeyScope() { RemoveAll(); }
    ReaderKeyScope(const ReaderKeyScope&) = delete;
    ReaderKeyScope& operator=(const ReaderKeyScope&) = delete;
    bool Created() const { return created_; }

private:
    static void RemoveAll() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kReaderUninstallKey, view, 0);
            ::RegDeleteKeyExA(HKEY_CURRENT_USER, kReaderUninstallKey, view, 0);
        }
    }
    bool created_ = false;
};
