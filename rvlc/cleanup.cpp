#include "rvlc/cleanup.h"

#include <atomic>
#include <cstring>

namespace rvlc {

namespace {

constexpr int kSlots = 32;
constexpr size_t kLongestPath = 4096;

struct Slot {
    // Lock-free on every target rvlc builds for, so a signal handler may read it.
    std::atomic<bool> used{false};
    char path[kLongestPath];
};
Slot slots[kSlots];

} // namespace

void RemovedOnInterruption::Register(const std::string& path) {
    Release();
    if (path.size() >= kLongestPath)
        return;
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].used.load())
            continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].used.store(true); // after the copy: the handler never sees half a path
        slot_ = i;
        return;
    }
}

void RemovedOnInterruption::Release() {
    if (slot_ >= 0)
        slots[slot_].used.store(false);
    slot_ = -1;
}

void RemoveRegisteredFiles(void (*remove)(const char* path)) {
    for (Slot& slot : slots) {
        if (slot.used.load())
            remove(slot.path);
    }
}

} // namespace rvlc
