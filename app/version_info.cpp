#include "app/version_info.h"

#include "framework/text.h"

#include <cstring>
#include <vector>

std::string ReadVersionValue(HMODULE module, const char* name) {
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16) /* RT_VERSION */);
    if (!found)
        return std::string();
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, found);
    if (!data || size == 0)
        return std::string();
    // VerQueryValueA converts the wide strings of the block in place, into room after the block, the
    // way GetFileVersionInfoA leaves it: query a writable copy with that room, never the resource itself.
    std::vector<char> block(static_cast<size_t>(size) * 3);
    memcpy(block.data(), data, size);

    std::string path;
    void* translation = nullptr;
    UINT translationSize = 0;
    if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &translationSize) &&
        translationSize == 4) {
        const auto* pair = static_cast<const unsigned char*>(translation);
        const unsigned language = pair[0] | (pair[1] << 8);
        const unsigned codePage = pair[2] | (pair[3] << 8);
        path = text::Format("\\StringFileInfo\\%02X%02X%02X%02X\\%s", (language >> 8) & 0xFF, language & 0xFF,
                            (codePage >> 8) & 0xFF, codePage & 0xFF, name);
    } else {
        path = text::Format("\\StringFileInfo\\%04X04B0\\%s", ::GetUserDefaultLangID(), name);
    }

    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), path.c_str(), &value, &length) || !value || length == 0)
        return std::string();
    // The length counts the terminating zero when there is one.
    std::string result(static_cast<const char*>(value), length);
    result.resize(strnlen(result.c_str(), result.size()));
    return result;
}

std::string DisplayVersion(const std::string& fileVersion) {
    const std::string version = text::Trim(fileVersion);
    size_t comma = version.find(',');
    if (comma == std::string::npos)
        return std::string();
    std::string result = version.substr(0, comma) + ".";
    while (comma != std::string::npos) {
        const std::string rest = text::TrimLeft(version.substr(comma + 1));
        comma = rest.find(',');
        result += rest.substr(0, comma);
        if (comma != std::string::npos)
            comma = version.size() - rest.size() + comma;
    }
    while (result.size() >= 2 && result.back() == '0' && result[result.size() - 2] != '.')
        result.pop_back();
    return result;
}
