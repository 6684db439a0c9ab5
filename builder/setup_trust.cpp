#include "builder/setup_trust.h"

#include "framework/owners.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace {

bool ToWide(const std::string& s, std::wstring* wide) {
    wide->clear();
    if (s.empty())
        return true;
    // No replacement characters: a path that does not convert exactly names another file.
    const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return false;
    wide->resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), &(*wide)[0], n) ==
           n;
}

std::string ToAnsi(const wchar_t* s) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string ansi(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, s, -1, &ansi[0], n, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(n - 1));
    return ansi;
}

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

// True when the PE header announces a certificate table that the file does not hold in full: the
// signature was there, and the file was cut after it was signed. The system may then report no
// signature at all, which would blame the maker for what the transfer did.
bool CertificateTableCutShort(HANDLE file) {
    LARGE_INTEGER size = {};
    IMAGE_DOS_HEADER dos = {};
    if (!::GetFileSizeEx(file, &size) || !ReadAt(file, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew <= 0)
        return false;
    // The optional header's layout differs between the widths; read through the larger of the two.
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER file;
        union {
            IMAGE_OPTIONAL_HEADER32 h32;
            IMAGE_OPTIONAL_HEADER64 h64;
        };
    } nt = {};
    if (!ReadAt(file, static_cast<uint64_t>(dos.e_lfanew), &nt, sizeof nt) || nt.signature != IMAGE_NT_SIGNATURE)
        return false;
    const IMAGE_DATA_DIRECTORY* directories = nullptr;
    DWORD count = 0;
    if (nt.h32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        directories = nt.h32.DataDirectory;
        count = nt.h32.NumberOfRvaAndSizes;
    } else if (nt.h64.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        directories = nt.h64.DataDirectory;
        count = nt.h64.NumberOfRvaAndSizes;
    }
    if (!directories || count <= IMAGE_DIRECTORY_ENTRY_SECURITY)
        return false;
    // The security directory holds a file offset, not an address in memory.
    const IMAGE_DATA_DIRECTORY& table = directories[IMAGE_DIRECTORY_ENTRY_SECURITY];
    return table.Size != 0 &&
           static_cast<uint64_t>(table.VirtualAddress) + table.Size > static_cast<uint64_t>(size.QuadPart);
}

// The common name of the subject of the certificate that signed the file, from the provider data of a
// verification that has left its state open.
std::wstring SignerCommonName(HANDLE stateData) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(stateData);
    if (!provider)
        return std::wstring();
    CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer)
        return std::wstring();
    CRYPT_PROVIDER_CERT* certificate = ::WTHelperGetProvCertFromChain(signer, 0);
    if (!certificate || !certificate->pCert)
        return std::wstring();
    wchar_t name[256] = {};
    // The common name attribute itself: the simple display name would fall back to other attributes
    // (organisation, e-mail) when a certificate has no common name.
    const DWORD n = ::CertGetNameStringW(certificate->pCert, CERT_NAME_ATTR_TYPE, 0,
                                         const_cast<char*>(szOID_COMMON_NAME), name, ARRAYSIZE(name));
    return n > 1 ? std::wstring(name) : std::wstring();
}

// Compared as the certificate holds the name (UTF-16), exactly: no conversion may make another name equal.
bool IsMakerName(const std::wstring& name) {
    for (size_t i = 0; i < kMakerSignerNameCount; ++i) {
        std::wstring maker;
        if (ToWide(kMakerSignerNames[i], &maker) && !name.empty() && name == maker)
            return true;
    }
    return false;
}

} // namespace

std::string SetupTrustFailureText(SetupTrust trust, DWORD readError) {
    switch (trust) {
    case kSetupTrusted:
        return std::string();
    case kSetupNotSigned:
        return std::string("The downloaded file is not signed by ") + kMakerSignerNames[0] + ".";
    case kSetupDamaged:
        return "The downloaded file is damaged.";
    case kSetupUnreadable:
        break;
    }
    char* buffer = nullptr;
    const DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, readError, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", buffer ? n : 0);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "The downloaded file cannot be read." : text;
}

namespace {

// Clears the signer's name and gives the path as the system's calls take it; false, with the error set,
// when the path does not convert exactly (it would name another file).
bool BeginCheck(const std::string& path, std::string* signerName, std::wstring* widePath) {
    if (signerName)
        signerName->clear();
    if (ToWide(path, widePath))
        return true;
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
}

// WinVerifyTrust's answer for the file, with the signer's common name whenever a signature could be read.
LONG VerifySignature(HANDLE file, const std::wstring& widePath, std::wstring& signer) {
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = widePath.c_str();
    fileInfo.hFile = file;

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Revocation is looked up only in what the system has cached: no network wait, and no request that
    // an attacker on the path could hold up.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    signer = data.hWVTStateData ? SignerCommonName(data.hWVTStateData) : std::wstring();
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return status;
}

SetupTrust VerifySetup(HANDLE file, const std::wstring& widePath, std::string* signerName) {
    std::wstring signer;
    const LONG status = VerifySignature(file, widePath, signer);
    if (signerName)
        *signerName = ToAnsi(signer.c_str());

    if (status == ERROR_SUCCESS)
        return IsMakerName(signer) ? kSetupTrusted : kSetupNotSigned;
    if (status == TRUST_E_BAD_DIGEST || status == CRYPT_E_HASH_VALUE || CertificateTableCutShort(file))
        return kSetupDamaged;
    return kSetupNotSigned;
}

} // namespace

SetupTrust CheckSetupTrust(HANDLE file, const std::string& path, std::string* signerName) {
    std::wstring widePath;
    if (!BeginCheck(path, signerName, &widePath))
        return kSetupUnreadable;
    return VerifySetup(file, widePath, signerName);
}

SetupTrust CheckSetupTrust(const std::string& path, std::string* signerName) {
    std::wstring widePath;
    if (!BeginCheck(path, signerName, &widePath))
        return kSetupUnreadable;
    fw::FileHandle file(::CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return kSetupUnreadable;
    return VerifySetup(file.Get(), widePath, signerName);
}

LONG CheckAnySignature(const std::string& path, std::string* signerName) {
    std::wstring widePath;
    if (!BeginCheck(path, signerName, &widePath))
        return static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION);
    fw::FileHandle file(::CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return static_cast<LONG>(HRESULT_FROM_WIN32(::GetLastError()));
    std::wstring signer;
    const LONG status = VerifySignature(file.Get(), widePath, signer);
    if (signerName)
        *signerName = ToAnsi(signer.c_str());
    return status;
}

pkg::VersionRead ReadHeldVersion(HANDLE file, pkg::VersionResource& info) {
    HeldFileSource source(file);
    return pkg::ReadVersionResource(source, info);
}

std::string ReaderProductFailureText(const pkg::VersionResource& info) {
    if (info.productName == kReaderProductName)
        return std::string();
    if (info.productName.empty())
        return std::string("The downloaded file does not say that it is the setup of ") + kReaderProductName + ".";
    // The name is the file's own text: no more of it than a line, and no line breaks of its own.
    std::string name = info.productName.substr(0, 100);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return std::string("The downloaded file is not the setup of ") + kReaderProductName + ": it says it is \"" + name +
           "\".";
}
