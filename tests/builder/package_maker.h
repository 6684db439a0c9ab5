// Packages made in memory for the tests: a stub of any bytes, the entries' zlib streams and the
// directory, with every field open to change so that damaged and hostile packages can be built too.
#pragma once

#include "builder/package_format.h"
#include "builder/setup_file.h"

#include <cstring>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace pkgtest {

// The streams over bytes in memory are the package library's own.
using pkg::MemoryInput;
using pkg::MemorySource;

class MemoryOutput : public pkg::OutputStream {
public:
    bool Write(const void* buffer, uint32_t size) override {
        data.append(static_cast<const char*>(buffer), size);
        return true;
    }
    std::string data;
};

// Records what the reader asks of its writer: the names in the order created, and the files kept.
class MemoryWriter : public pkg::EntryWriter {
public:
    bool Create(const std::string& name) override {
        created.push_back(name);
        current_ = name;
        buffer_.clear();
        return refuse.count(name) == 0;
    }
    bool Write(const void* buffer, uint32_t size) override {
        buffer_.append(static_cast<const char*>(buffer), size);
        return true;
    }
    void Finish(bool complete) override {
        if (complete)
            kept[current_] = buffer_;
        else
            removed.push_back(current_);
    }

    std::vector<std::string> created;
    std::vector<std::string> removed;
    std::map<std::string, std::string> kept;
    std::map<std::string, bool> refuse; // names whose file cannot be created

private:
    std::string current_;
    std::string buffer_;
};

inline std::string Compress(const std::string& data) {
    MemoryInput in(data);
    MemoryOutput out;
    uint64_t consumed = 0, produced = 0;
    pkg::StreamPacker packer;
    packer.Pack(in, out, data.size(), nullptr, nullptr, consumed, produced);
    return out.data;
}

inline std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(random() & 0xFF);
    return s;
}

// Text-like bytes that compress well.
inline std::string CompressibleBytes(size_t size) {
    static const char kWords[] = "<Feed Name=\"Ravelin news\" URL=\"http://example.invalid/rss\" Status=\"0\"/>\r\n";
    std::string s;
    s.reserve(size);
    for (size_t i = 0; s.size() < size; ++i) {
        s += kWords;
        s += std::to_string(i);
    }
    s.resize(size);
    return s;
}

// The files that every round trip packs as "rvl.exe": the sizes around the 4096-byte block and several
// megabytes of random and of compressible bytes.
struct SizeCase {
    const char* what;
    std::string data;
};
inline std::vector<SizeCase> FilesOfEverySize() {
    return {
        {"empty", ""},
        {"one byte", "x"},
        {"one block", RandomBytes(4096, 1)},
        {"one block and a byte", RandomBytes(4097, 2)},
        {"3 MiB random", RandomBytes(3 << 20, 3)},
        {"5 MiB compressible", CompressibleBytes(5 << 20)},
    };
}

// One call of the progress callback, the name or the percentage in decimal as its value.
struct ProgressCall {
    int code;
    std::string value;
    bool operator==(const ProgressCall& o) const { return code == o.code && value == o.value; }
};
inline std::ostream& operator<<(std::ostream& os, const ProgressCall& c) {
    return os << "{" << c.code << ", " << c.value << "}";
}

// The calls received, in order; the call with index stopAt answers kStopAll.
struct ProgressLog {
    std::vector<ProgressCall> calls;
    int stopAt = -1;
};
inline int RecordProgress(int code, const void* data, void* context) {
    auto* log = static_cast<ProgressLog*>(context);
    const std::string value = code == pkg::kProgressBlock ? std::to_string(*static_cast<const uint32_t*>(data))
                                                          : std::string(static_cast<const char*>(data));
    log->calls.push_back({code, value});
    return static_cast<int>(log->calls.size()) - 1 == log->stopAt ? pkg::kStopAll : 0;
}

// The directory as the writer ends a package with it.
inline void AppendDirectory(const std::vector<pkg::Entry>& entries, std::string& out) {
    for (const pkg::Entry& e : entries)
        pkg::AppendRecord(e, out);
    pkg::AppendTrailer(static_cast<uint32_t>(entries.size()), out);
}

struct PackedFile {
    std::string name;
    std::string data;
};

// A package as the writer makes it, with its entries kept for changes before Bytes().
struct Package {
    std::string stub;
    std::vector<std::string> streams;
    std::vector<pkg::Entry> entries;

    static Package Make(const std::vector<PackedFile>& files, const std::string& stub = std::string(100, 'S')) {
        Package p;
        p.stub = stub;
        uint64_t offset = stub.size();
        for (const PackedFile& f : files) {
            pkg::Entry e;
            e.name = f.name;
            e.uncompressedSize = static_cast<uint32_t>(f.data.size());
            p.streams.push_back(Compress(f.data));
            e.compressedSize = static_cast<uint32_t>(p.streams.back().size());
            e.dataOffset = static_cast<uint32_t>(offset);
            offset += e.compressedSize;
            p.entries.push_back(e);
        }
        return p;
    }

    std::string Directory() const {
        std::string d;
        AppendDirectory(entries, d);
        return d;
    }

    std::string Bytes() const {
        std::string bytes = stub;
        for (const std::string& s : streams)
            bytes += s;
        return bytes + Directory();
    }
};

} // namespace pkgtest
