// Whole files read and written by the native rvlc tests.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A folder of its own under /tmp for one test, removed with everything in it at the end.
class NativeScratch {
public:
    NativeScratch() {
        char folder[] = "/tmp/rvlc-test-XXXXXX";
        if (::mkdtemp(folder))
            path_ = folder;
    }
    ~NativeScratch() {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    NativeScratch(const NativeScratch&) = delete;
    NativeScratch& operator=(const NativeScratch&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
