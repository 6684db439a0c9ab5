#include "builder/package_file.h"

namespace pkg {

bool FileSource::Open(const char* path) {
    file_.Reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return TakeSize();
}

bool FileSource::Open(const wchar_t* path) {
    file_.Reset(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return TakeSize();
}

bool FileSource::TakeSize() {
    LARGE_INTEGER size{};
    if (!file_ || !::GetFileSizeEx(file_.Get(), &size)) {
        file_.Reset();
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool FileSource::ReadAt(uint64_t pos, void* buffer, uint32_t size) {
    if (pos > size_ || size > size_ - pos)
        return false;
    // A synchronous handle reads at the OVERLAPPED offset: one call per block, no separate seek.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD got = 0;
    return ::ReadFile(file_.Get(), buffer, size, &got, &at) && got == size;
}

bool FileInput::Read(void* buffer, uint32_t size, uint32_t& got) {
    DWORD read = 0;
    if (!::ReadFile(file_, buffer, size, &read, nullptr))
        return false;
    got = read;
    return true;
}

bool FileOutput::Write(const void* buffer, uint32_t size) {
    const char* p = static_cast<const char*>(buffer);
    while (size != 0) {
        DWORD written = 0;
        if (!::WriteFile(file_, p, size, &written, nullptr) || written == 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

} // namespace pkg
