#include "builder/sfx_packager.h"

#include "builder/package_file.h"
#include "framework/owners.h"
#include "framework/text.h"

namespace {

// The text after the last path separator, stepping over double-byte characters so that a trail byte
// equal to '\' is not taken for one.
std::string StoredName(const std::string& path) {
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (text::IsLeadByte(c) && i + 1 < path.size())
            ++i;
        else if (c == '\\' || c == '/')
            start = i + 1;
    }
    return path.substr(start);
}

// Whether two handles name the same file: an input that is the package being written would be read
// while it grows.
bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

} // namespace

bool CSfxPackager::AddFile(const char* path) {
    if (count_ >= pkg::kMaxEntries || path == nullptr)
        return false;
    // The file is opened again by BuildPackage, perhaps after the current directory has changed.
    char fullPath[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::string name = StoredName(fullPath);
    if (!pkg::IsSafeEntryName(name))
        return false;
    for (uint32_t i = 0; i < count_; ++i)
        if (text::EqualNoCase(entries_[i].entry.name, name))
            return false;

    // No sharing: a file that another process holds open is refused.
    fw::FileHandle file(
        ::CreateFileA(fullPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > LONGLONG(UINT32_MAX))
        return false;

    PackageEntry& e = entries_[count_];
    e.sourcePath = fullPath;
    e.entry = pkg::Entry();
    e.entry.name = name;
    e.entry.uncompressedSize = static_cast<uint32_t>(size.QuadPart);
    ++count_;
    return true;
}

int CSfxPackager::BuildPackage(UINT resourceId, const char* outputPath, pkg::ProgressFn progress, void* context) {
    if (count_ < 1)
        return pkg::kNoEntries;

    // Resource memory belongs to the module: nothing to free.
    HRSRC info = ::FindResourceA(nullptr, MAKEINTRESOURCEA(resourceId), "SFX_EXE");
    HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
    const void* stub = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD stubSize = info ? ::SizeofResource(nullptr, info) : 0;
    if (stub == nullptr)
        return pkg::kNoStub;

    fw::FileHandle output(::CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output)
        return pkg::kFileError;
    pkg::FileOutput out(output.Get());
    if (!out.Write(stub, stubSize))
        return pkg::kFileError;
    return PackPayload(output.Get(), stubSize, progress, context);
}

int CSfxPackager::PackPayload(HANDLE output, uint64_t position, pkg::ProgressFn progress, void* context) {
    pkg::FileOutput out(output);
    for (uint32_t i = 0; i < count_; ++i) {
        PackageEntry& e = entries_[i];
        fw::FileHandle input(::CreateFileA(e.sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!input)
            return pkg::kOpenError;
        if (SameFile(input.Get(), output))
            return pkg::kFileError;
        if (progress)
            progress(pkg::kProgressEntryStart, e.entry.name.c_str(), context);

        LARGE_INTEGER length{};
        if (!::GetFileSizeEx(input.Get(), &length))
            return pkg::kFileError;
        pkg::FileInput in(input.Get());
        uint64_t consumed = 0, produced = 0;
        if (packer_.Pack(in, out, static_cast<uint64_t>(length.QuadPart), progress, context, consumed, produced) !=
            pkg::kSuccess)
            return pkg::kFileError;
        input.Reset();

        // The directory's fields are 32 bits wide: a package that outgrows them cannot be described.
        if (position > UINT32_MAX || produced > UINT32_MAX || consumed > UINT32_MAX)
            return pkg::kFileError;
        e.entry.dataOffset = static_cast<uint32_t>(position);
        e.entry.compressedSize = static_cast<uint32_t>(produced);
        // The bytes actually packed: a file that changed since AddFile still gets a record that matches
        // its stream, which the extractor checks.
        e.entry.uncompressedSize = static_cast<uint32_t>(consumed);
        position += produced;

        if (progress)
            progress(pkg::kProgressEntryDone, e.entry.name.c_str(), context);
    }

    std::string directory;
    for (uint32_t i = 0; i < count_; ++i)
        pkg::AppendRecord(entries_[i].entry, directory);
    pkg::AppendTrailer(count_, directory);
    if (!out.Write(directory.data(), static_cast<uint32_t>(directory.size())))
        return pkg::kFileError;
    return pkg::kSuccess;
}
