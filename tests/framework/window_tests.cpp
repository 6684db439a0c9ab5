#include "framework/owners.h"
#include "framework/window.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char kClassName[] = "RvlFrameworkTestWindow";

// Records the messages that say how the object and its window meet.
class RecordingWindow : public fw::Window {
public:
    std::vector<UINT> messages;
    HWND handleAtCreate = nullptr;
    bool finalSeen = false;
    HWND handleAtFinal = reinterpret_cast<HWND>(1);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_NCCREATE:
        case WM_DESTROY:
        case WM_NCDESTROY:
            messages.push_back(msg);
            break;
        case WM_CREATE:
            messages.push_back(msg);
            handleAtCreate = Handle();
            break;
        }
        return Default(msg, wp, lp);
    }
    void OnFinalMessage() override {
        finalSeen = true;
        handleAtFinal = Handle();
    }
};

// Swallows the letter x typed into an edit.
class NoXEdit : public fw::Window {
public:
    int swallowed = 0;
    bool finalSeen = false;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_CHAR && wp == 'x') {
            ++swallowed;
            return 0;
        }
        return Default(msg, wp, lp);
    }
    void OnFinalMessage() override { finalSeen = true; }
};

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(0, fw::Window::RegisterWindowClass(fw::ThisModule(), kClassName)); }
    static void TearDownTestSuite() { fw::Window::UnregisterWindowClass(fw::ThisModule(), kClassName); }
};

// An edit control of its own, not yet subclassed.
fw::WindowHandle MakeEdit() {
    return fw::WindowHandle(
        ::CreateWindowExA(0, "Edit", "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr));
}

void Type(HWND hwnd, const char* text) {
    for (const char* p = text; *p; ++p)
        ::SendMessageA(hwnd, WM_CHAR, static_cast<unsigned char>(*p), 1);
}

TEST_F(WindowTest, ObjectIsBoundFromNcCreateToNcDestroy) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(fw::ThisModule(), kClassName, "test", WS_OVERLAPPEDWINDOW));
    HWND hwnd = window.Handle();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(hwnd, window.handleAtCreate);
    EXPECT_EQ("test", window.Text());
    ::DestroyWindow(hwnd);
    const std::vector<UINT> expected = {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY};
    EXPECT_EQ(expected, window.messages);
    EXPECT_TRUE(window.finalSeen);
    EXPECT_EQ(nullptr, window.handleAtFinal);
    EXPECT_EQ(nullptr, window.Handle());
}

TEST_F(WindowTest, DestroyingTheObjectDestroysItsWindow) {
    HWND hwnd;
    {
        RecordingWindow window;
        ASSERT_TRUE(window.Create(fw::ThisModule(), kClassName, "", WS_POPUP));
        hwnd = window.Handle();
        ASSERT_TRUE(::IsWindow(hwnd));
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(WindowTest, TwoWindowsKeepTheirOwnObjects) {
    RecordingWindow a, b;
    ASSERT_TRUE(a.Create(fw::ThisModule(), kClassName, "a", WS_POPUP));
    ASSERT_TRUE(b.Create(fw::ThisModule(), kClassName, "b", WS_POPUP));
    b.Destroy();
    EXPECT_TRUE(b.finalSeen);
    EXPECT_FALSE(a.finalSeen);
    EXPECT_NE(nullptr, a.Handle());
}

TEST_F(WindowTest, MessageWindowReceivesPostedMessages) {
    struct Counter : fw::Window {
        int posted = 0;
        LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
            if (msg == WM_APP + 1)
                posted += static_cast<int>(wp);
            return Default(msg, wp, lp);
        }
    } counter;
    ASSERT_TRUE(counter.CreateMessageWindow(fw::ThisModule(), kClassName));
    counter.Post(WM_APP + 1, 2);
    counter.Post(WM_APP + 1, 3);
    uitest::flush_events();
    EXPECT_EQ(5, counter.posted);
}

TEST_F(WindowTest, ClassBelongsToTheModuleGiven) {
    WNDCLASSEXA info = {sizeof(info)};
    EXPECT_TRUE(::GetClassInfoExA(fw::ThisModule(), kClassName, &info));
    EXPECT_FALSE(::GetClassInfoExA(::GetModuleHandleA("user32.dll"), kClassName, &info));
}

TEST_F(WindowTest, SubclassSeesTheControlsMessagesUntilNcDestroy) {
    fw::WindowHandle edit = MakeEdit();
    ASSERT_TRUE(edit);
    NoXEdit filter;
    ASSERT_TRUE(filter.Subclass(edit.Get()));
    Type(edit.Get(), "axbx");
    EXPECT_EQ("ab", uitest::window_text(edit.Get()));
    EXPECT_EQ(2, filter.swallowed);
    edit.Reset();
    EXPECT_TRUE(filter.finalSeen);
    EXPECT_EQ(nullptr, filter.Handle());
}

TEST_F(WindowTest, SubclassEndsWithTheObjectAndLeavesTheControl) {
    fw::WindowHandle edit = MakeEdit();
    ASSERT_TRUE(edit);
    {
        NoXEdit filter;
        ASSERT_TRUE(filter.Subclass(edit.Get()));
        Type(edit.Get(), "x");
    }
    ASSERT_TRUE(::IsWindow(edit.Get()));
    Type(edit.Get(), "x");
    EXPECT_EQ("x", uitest::window_text(edit.Get()));
}

} // namespace
