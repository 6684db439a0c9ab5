// The reader's uninstall key, written for one test and removed afterwards.
#pragma once

#include "app/wizard_sheet.h"

#include <windows.h>

enum class ReaderKey { None, LocalMachine, CurrentUser };

class ReaderKeyScope {
public:
    explicit ReaderKeyScope(ReaderKey where) {
        RemoveAll();
        HKEY root = where == ReaderKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        if (where != ReaderKey::None) {
            HKEY key = nullptr;
            created_ = ::RegCreateKeyExA(root, kReaderUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                         nullptr) == ERROR_SUCCESS;
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
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kReaderUninstallKey);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kReaderUninstallKey);
    }
    bool created_ = false;
};
