// Whole files read and written by the native rvlc tests.
#pragma once

#include <dirent.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The names in folder that end in ".tmp": what an output or a temporary copy left behind.
inline std::vector<std::string> TemporaryFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
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
