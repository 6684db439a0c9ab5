#include "framework/dialog.h"
#include "framework/message.h"
#include "framework/window.h"
#include "tests/framework/framework_tests.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Asks for a name; refuses an empty one with a warning and keeps the edit focused and selected.
class NameDialog : public fw::Dialog {
public:
    NameDialog() : fw::Dialog(fw::ThisModule(), IDD_TEST_DIALOG) {}
    std::string name = "initial";
    int destroyed = 0;

protected:
    bool OnInitDialog() override {
        ExchangeText(IDE_TEST_NAME, name, false, 20);
        return true;
    }
    void OnOK() override {
        std::string typed;
        ExchangeText(IDE_TEST_NAME, typed, true);
        if (typed.empty()) {
            fw::ShowMessage(Handle(), "Please enter a name.", "Framework Test", MB_OK | MB_ICONWARNING);
            FocusAndSelect(IDE_TEST_NAME);
            return;
        }
        name = typed;
        End(IDOK);
    }
    void OnDestroy() override { ++destroyed; }
};

TEST(Dialog, ModalOkReturnsIdOkAndTheTypedText) {
    NameDialog dialog;
    std::string shown;
    uitest::ModalDriver driver("Framework Test Dialog", [&](HWND hwnd) {
        shown = uitest::item_text(hwnd, IDE_TEST_NAME);
        uitest::set_item_text(hwnd, IDE_TEST_NAME, "Ravelin");
        uitest::press_button(hwnd, IDOK);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_EQ(1, driver.Runs());
    EXPECT_EQ("initial", shown);
    EXPECT_EQ("Ravelin", dialog.name);
    EXPECT_EQ(1, dialog.destroyed);
    EXPECT_EQ(nullptr, dialog.Handle());
}

TEST(Dialog, ModalCancelReturnsIdCancelAndKeepsTheValue) {
    NameDialog dialog;
    uitest::ModalDriver driver("Framework Test Dialog", [](HWND hwnd) {
        uitest::set_item_text(hwnd, IDE_TEST_NAME, "ignored");
        uitest::press_button(hwnd, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_EQ("initial", dialog.name);
}

TEST(Dialog, RefusalShowsTheWarningAndKeepsTheDialogOpen) {
    uitest::MessageBoxRecorder boxes(IDOK);
    NameDialog dialog;
    dialog.name = "";
    bool openAfterRefusal = false;
    int focusAfterRefusal = 0;
    DWORD selection = 0;
    uitest::ModalDriver driver("Framework Test Dialog", [&](HWND hwnd) {
        // The focus is on the button that the user pressed.
        ::SetFocus(::GetDlgItem(hwnd, IDOK));
        uitest::press_button(hwnd, IDOK);
        openAfterRefusal = ::IsWindow(hwnd) && ::IsWindowVisible(hwnd);
        focusAfterRefusal = ::GetDlgCtrlID(::GetFocus());
        uitest::set_item_text(hwnd, IDE_TEST_NAME, "typed");
        ::SendDlgItemMessageA(hwnd, IDE_TEST_NAME, EM_SETSEL, 0, -1);
        selection = static_cast<DWORD>(::SendDlgItemMessageA(hwnd, IDE_TEST_NAME, EM_GETSEL, 0, 0));
        uitest::press_button(hwnd, IDOK);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_EQ(1u, boxes.Records().size());
    EXPECT_EQ("Please enter a name.", boxes.Records()[0].text);
    EXPECT_EQ("Framework Test", boxes.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes.Records()[0].Buttons());
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(IDE_TEST_NAME, focusAfterRefusal);
    EXPECT_EQ(MAKELONG(0, 5), static_cast<LONG>(selection));
    EXPECT_EQ("typed", dialog.name);
}

TEST(Dialog, ModelessEndDestroysTheWindow) {
    NameDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    HWND hwnd = dialog.Handle();
    ASSERT_TRUE(::IsWindow(hwnd));
    ::ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ("initial", uitest::item_text(hwnd, IDE_TEST_NAME));
    uitest::set_item_text(hwnd, IDE_TEST_NAME, "modeless");
    EXPECT_TRUE(uitest::press_button(hwnd, IDOK));
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(nullptr, dialog.Handle());
    EXPECT_EQ("modeless", dialog.name);
    EXPECT_EQ(1, dialog.destroyed);
}

TEST(Dialog, ControlHelpers) {
    NameDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.SetItemText(IDE_TEST_NAME, "abc");
    EXPECT_EQ("abc", dialog.ItemText(IDE_TEST_NAME));
    dialog.EnableItem(IDOK, false);
    EXPECT_FALSE(dialog.IsItemEnabled(IDOK));
    EXPECT_FALSE(uitest::press_button(dialog.Handle(), IDOK)) << "a disabled button cannot be pressed";
    dialog.EnableItem(IDOK, true);
    EXPECT_TRUE(dialog.IsItemEnabled(IDOK));
    // The limit set by the exchange at initialisation.
    EXPECT_EQ(20, static_cast<int>(dialog.SendItem(IDE_TEST_NAME, EM_GETLIMITTEXT)));
    dialog.End(IDCANCEL);
}

TEST(MessageHook, HookSeesTextCaptionAndIconAndGivesTheAnswer) {
    uitest::MessageBoxRecorder boxes(IDNO);
    EXPECT_EQ(IDNO, fw::ShowMessage(nullptr, "Replace it?", "Ravelin Customizer", MB_YESNO | MB_ICONQUESTION));
    ASSERT_EQ(1u, boxes.Records().size());
    EXPECT_EQ("Replace it?", boxes.Records()[0].text);
    EXPECT_EQ("Ravelin Customizer", boxes.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), boxes.Records()[0].Icon());
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), boxes.Records()[0].Buttons());
}

TEST(MessageHook, WithoutHookARealBoxIsShownAndAnswered) {
    uitest::ModalDriver driver("Real Box Caption", [](HWND box) { uitest::press_button(box, IDNO); });
    EXPECT_EQ(IDNO, fw::ShowMessage(nullptr, "Shown for real", "Real Box Caption", MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(1, driver.Runs());
    EXPECT_EQ("Real Box Caption", driver.LastCaption());
}

TEST(MessageHook, RecorderRestoresThePreviousHook) {
    {
        uitest::MessageBoxRecorder outer(IDYES);
        {
            uitest::MessageBoxRecorder inner(IDNO);
            EXPECT_EQ(IDNO, fw::ShowMessage(nullptr, "inner", "c", MB_YESNO));
        }
        EXPECT_EQ(IDYES, fw::ShowMessage(nullptr, "outer", "c", MB_YESNO));
        ASSERT_EQ(1u, outer.Records().size());
        EXPECT_EQ("outer", outer.Records()[0].text);
    }
}

} // namespace
