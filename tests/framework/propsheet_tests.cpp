#include "framework/propsheet.h"
#include "framework/window.h"
#include "tests/framework/framework_tests.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> journal;

// A page whose answers a test chooses; it writes every notification into the journal.
class TestPage : public fw::PropertyPage {
public:
    TestPage(const char* name, int templateId, UINT title = 0, UINT subtitle = 0)
        : fw::PropertyPage(fw::ThisModule(), templateId, title, subtitle), name_(name) {}

    bool acceptActive = true;
    bool allowLeave = true;
    LRESULT back = kMoveToNeighbour;
    LRESULT next = kMoveToNeighbour;
    int jump = -1; // the page that Back and Next activate themselves
    bool allowFinish = true;
    bool allowCancel = true;
    DWORD buttons = PSWIZB_BACK | PSWIZB_NEXT;

protected:
    bool OnSetActive() override {
        Log("active");
        if (acceptActive)
            Sheet()->SetWizardButtons(buttons);
        return acceptActive;
    }
    bool OnKillActive() override {
        Log("kill");
        return allowLeave;
    }
    LRESULT OnWizardBack() override {
        Log("back");
        return jump >= 0 ? JumpTo(jump) : back;
    }
    LRESULT OnWizardNext() override {
        Log("next");
        return jump >= 0 ? JumpTo(jump) : next;
    }
    bool OnWizardFinish() override {
        Log("finish");
        return allowFinish;
    }
    bool OnQueryCancel() override {
        Log("querycancel");
        return allowCancel;
    }
    void OnHelp() override { Log("help"); }
    void OnReset() override { Log("reset"); }

private:
    void Log(const char* what) { journal.push_back(std::string(name_) + ":" + what); }
    const char* name_;
};

class PropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        journal.clear();
        a_.buttons = PSWIZB_NEXT;
        c_.buttons = PSWIZB_BACK | PSWIZB_FINISH;
        sheet_.AddPage(a_);
        sheet_.AddPage(b_);
        sheet_.AddPage(c_);
    }
    void TearDown() override {
        sheet_.Destroy();
        uitest::flush_events();
    }
    void Open() {
        ASSERT_TRUE(sheet_.Create(nullptr));
        ::ShowWindow(sheet_.Handle(), SW_SHOW);
        uitest::flush_events();
        journal.clear();
    }
    void Press(int button) {
        sheet_.PressButton(button);
        uitest::flush_events();
    }
    std::string Buttons() const { return uitest::wizard_buttons(sheet_.Handle()); }

    TestPage a_{"A", IDD_TEST_PAGE_A};
    TestPage b_{"B", IDD_TEST_PAGE_B, IDS_TEST_TITLE, IDS_TEST_SUBTITLE};
    TestPage c_{"C", IDD_TEST_PAGE_C};
    fw::PropertySheet sheet_{fw::ThisModule(), "Framework Test Wizard", nullptr, nullptr};
};

using Journal = std::vector<std::string>;

TEST_F(PropertySheetTest, OpensOnTheFirstPageWithItsCaption) {
    Open();
    EXPECT_EQ(0, sheet_.ActiveIndex());
    EXPECT_EQ(3, sheet_.PageCount());
    EXPECT_EQ("Framework Test Wizard", uitest::window_text(sheet_.Handle()));
    EXPECT_EQ(sheet_.Handle(), a_.SheetHandle());
    EXPECT_EQ(&sheet_, a_.Sheet());
    EXPECT_TRUE(a_.IsExterior());
    EXPECT_FALSE(b_.IsExterior());
}

TEST_F(PropertySheetTest, NextAndBackMoveToTheNeighbours) {
    Open();
    Press(PSBTN_NEXT);
    EXPECT_EQ(1, sheet_.ActiveIndex());
    EXPECT_EQ((Journal{"A:next", "A:kill", "B:active"}), journal);
    journal.clear();
    Press(PSBTN_BACK);
    EXPECT_EQ(0, sheet_.ActiveIndex());
    EXPECT_EQ((Journal{"B:back", "B:kill", "A:active"}), journal);
}

TEST_F(PropertySheetTest, StayKeepsThePage) {
    b_.next = fw::PropertyPage::kStay;
    b_.back = fw::PropertyPage::kStay;
    Open();
    Press(PSBTN_NEXT);
    journal.clear();
    Press(PSBTN_NEXT);
    Press(PSBTN_BACK);
    EXPECT_EQ(1, sheet_.ActiveIndex());
    EXPECT_EQ((Journal{"B:next", "B:back"}), journal);
}

TEST_F(PropertySheetTest, JumpActivatesTheTargetAndAddsNoMove) {
    // Back from B jumps forward to C: a move of the wizard's own would leave C again for B.
    b_.jump = 2;
    Open();
    Press(PSBTN_NEXT);
    journal.clear();
    Press(PSBTN_BACK);
    EXPECT_EQ(2, sheet_.ActiveIndex());
    EXPECT_EQ((Journal{"B:back", "B:kill", "C:active"}), journal);
}

TEST_F(PropertySheetTest, RefusedKillActiveKeepsThePage) {
    b_.allowLeave = false;
    Open();
    Press(PSBTN_NEXT);
    journal.clear();
    Press(PSBTN_NEXT);
    EXPECT_EQ(1, sheet_.ActiveIndex());
    EXPECT_EQ((Journal{"B:next", "B:kill"}), journal);
}

TEST_F(PropertySheetTest, WizardButtonsFollowTheActivePage) {
    Open();
    EXPECT_EQ("-N-", Buttons());
    Press(PSBTN_NEXT);
    EXPECT_EQ("BN-", Buttons());
    Press(PSBTN_NEXT);
    EXPECT_EQ("B-F", Buttons());
    sheet_.SetWizardButtons(0);
    EXPECT_EQ("---", Buttons());
}

TEST_F(PropertySheetTest, RefusedFinishKeepsTheWizardOpen) {
    c_.allowFinish = false;
    Open();
    sheet_.SetActivePage(2);
    uitest::flush_events();
    journal.clear();
    Press(PSBTN_FINISH);
    EXPECT_FALSE(sheet_.IsClosed());
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ("C:finish", journal.front());
    c_.allowFinish = true;
    Press(PSBTN_FINISH);
    EXPECT_TRUE(sheet_.IsClosed());
}

TEST_F(PropertySheetTest, RefusedCancelKeepsTheWizardOpen) {
    a_.allowCancel = false;
    Open();
    Press(PSBTN_CANCEL);
    EXPECT_FALSE(sheet_.IsClosed());
    EXPECT_EQ(Journal{"A:querycancel"}, journal);
    a_.allowCancel = true;
    journal.clear();
    Press(PSBTN_CANCEL);
    EXPECT_TRUE(sheet_.IsClosed());
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ("A:querycancel", journal.front());
    EXPECT_NE(journal.end(), std::find(journal.begin(), journal.end(), "A:reset"));
}

TEST_F(PropertySheetTest, HelpButtonAndHelpCommandReachTheActivePage) {
    Open();
    Press(PSBTN_NEXT);
    journal.clear();
    EXPECT_TRUE(uitest::press_button(sheet_.Handle(), IDHELP));
    uitest::flush_events();
    ::SendMessageA(b_.Handle(), WM_COMMAND, MAKEWPARAM(fw::kHelpCommand, BN_CLICKED), 0);
    EXPECT_EQ((Journal{"B:help", "B:help"}), journal);
}

TEST_F(PropertySheetTest, ModalRunEndsWithFinish) {
    fw::PropertySheet modal(fw::ThisModule(), "Framework Modal Wizard", nullptr, nullptr);
    TestPage a("a", IDD_TEST_PAGE_A), c("c", IDD_TEST_PAGE_C);
    a.jump = 1;
    c.buttons = PSWIZB_BACK | PSWIZB_FINISH;
    modal.AddPage(a);
    modal.AddPage(c);
    std::string caption;
    uitest::ModalDriver driver("Framework Modal Wizard", [&](HWND sheet) {
        caption = uitest::window_text(sheet);
        ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        uitest::flush_events();
        ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    });
    journal.clear();
    modal.DoModal(nullptr);
    EXPECT_EQ(1, driver.Runs());
    EXPECT_EQ("Framework Modal Wizard", caption);
    EXPECT_NE(journal.end(), std::find(journal.begin(), journal.end(), "c:finish"));
    EXPECT_EQ(nullptr, modal.Handle());
}

} // namespace
