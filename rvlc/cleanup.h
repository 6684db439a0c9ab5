// The files that an interruption removes: every partial output and temporary copy while it exists. The
// signal handler reads this list, so it is a fixed array of finished C strings: registering copies the
// path in before the slot is marked used, and the handler touches nothing else.
#pragma once

#include <string>

namespace rvlc {

// A registration that lasts as long as the object: the file is removed if the process is interrupted
// meanwhile. A path that does not fit (too long, or every slot taken) is not registered.
class RemovedOnInterruption {
public:
    RemovedOnInterruption() = default;
    explicit RemovedOnInterruption(const std::string& path) { Register(path); }
    ~RemovedOnInterruption() { Release(); }
    RemovedOnInterruption(const RemovedOnInterruption&) = delete;
    RemovedOnInterruption& operator=(const RemovedOnInterruption&) = delete;

    void Register(const std::string& path);
    // The file is kept from now on (it is complete, or already gone).
    void Release();

private:
    int slot_ = -1;
};

// Calls remove with each registered path. For the interruption's handler only: it takes no lock and
// allocates nothing.
void RemoveRegisteredFiles(void (*remove)(const char* path));

} // namespace rvlc
