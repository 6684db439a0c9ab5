#include "framework/message.h"

#include <utility>

namespace fw {

namespace {
// Set only by tests, on the user-interface thread.
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
} // namespace

int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    if (Hook())
        return Hook()(owner, text, caption, flags);
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

MessageHook SetMessageHook(MessageHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

} // namespace fw
