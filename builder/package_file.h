// The package streams over Win32 file handles, shared by the writer and the extractor.
#pragma once

#include "builder/package_format.h"
#include "framework/owners.h"

namespace pkg {

// A whole file opened for positioned reads.
class FileSource : public Source {
public:
    // Opens for reading; others may read and write, as the running stub's own file is open for execution.
    bool Open(const char* path);
    // The same for a wide path, which may be longer than MAX_PATH when it carries the "\\?\" prefix.
    bool Open(const wchar_t* path);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override;

private:
    bool TakeSize(); // the size of the file just opened; false (and closed) when there is none
    fw::FileHandle file_;
    uint64_t size_ = 0;
};

// Sequential reads from a handle the caller owns.
class FileInput : public InputStream {
public:
    explicit FileInput(HANDLE file) : file_(file) {}
    bool Read(void* buffer, uint32_t size, uint32_t& got) override;

private:
    HANDLE file_;
};

// Sequential writes to a handle the caller owns.
class FileOutput : public OutputStream {
public:
    explicit FileOutput(HANDLE file) : file_(file) {}
    bool Write(const void* buffer, uint32_t size) override;

private:
    HANDLE file_;
};

} // namespace pkg
