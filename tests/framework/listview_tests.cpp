#include "framework/dialog.h"
#include "framework/listview.h"
#include "framework/window.h"
#include "tests/framework/framework_tests.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts the item-changed notifications that its dialog reflects to it.
class ReflectingList : public fw::Window {
public:
    int itemChanged = 0;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == fw::WM_REFLECT_NOTIFY) {
            auto* reflected = reinterpret_cast<fw::ReflectedNotify*>(lp);
            if (reflected->header->code == LVN_ITEMCHANGED) {
                ++itemChanged;
                reflected->handled = true;
            }
            return 0;
        }
        return Default(msg, wp, lp);
    }
};

// Counts the list view messages (LVM_*) that pass through it.
class CountingList : public fw::Window {
public:
    int listMessages = 0;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg >= LVM_FIRST && msg < LVM_FIRST + 0x100)
            ++listMessages;
        return Default(msg, wp, lp);
    }
};

class ListDialog : public fw::Dialog {
public:
    ListDialog() : fw::Dialog(fw::ThisModule(), IDD_TEST_LIST) {}
};

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialog_.Create(nullptr));
        list_.Attach(dialog_.Item(IDL_TEST_LIST));
        ASSERT_TRUE(list_.InsertColumn(0, "Title", 100));
        ASSERT_TRUE(list_.InsertColumn(1, "URL", 150));
    }
    void TearDown() override { dialog_.End(IDCANCEL); }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int row = 0; row < list_.Count(); ++row)
            texts.push_back(list_.Text(row, column));
        return texts;
    }

    ListDialog dialog_;
    fw::ListView list_;
};

TEST_F(ListViewTest, RowsKeepTextsAndData) {
    EXPECT_EQ(0, list_.InsertRow(0, "B", 20));
    EXPECT_EQ(0, list_.InsertRow(0, "A", 10));
    EXPECT_EQ(2, list_.InsertRow(2, "C", 30));
    EXPECT_TRUE(list_.SetText(0, 1, "http://a/"));
    EXPECT_TRUE(list_.SetText(2, 1, "http://c/"));
    EXPECT_EQ(3, list_.Count());
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Column(0));
    EXPECT_EQ((std::vector<std::string>{"http://a/", "", "http://c/"}), Column(1));
    EXPECT_EQ(10, list_.Data(0));
    EXPECT_EQ(30, list_.Data(2));
    EXPECT_TRUE(list_.SetData(1, 99));
    EXPECT_EQ(99, list_.Data(1));
    EXPECT_TRUE(list_.DeleteRow(1));
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), Column(0));
    EXPECT_TRUE(list_.DeleteAll());
    EXPECT_EQ(0, list_.Count());
}

TEST_F(ListViewTest, LongTextIsReadWhole) {
    const std::string url = "http://example.com/" + std::string(600, 'x');
    list_.InsertRow(0, "row");
    list_.SetText(0, 1, url);
    EXPECT_EQ(url, list_.Text(0, 1));
}

TEST_F(ListViewTest, SelectionIsReadInAscendingOrder) {
    for (const char* text : {"0", "1", "2", "3", "4"})
        list_.InsertRow(list_.Count(), text);
    list_.Select(3);
    list_.Select(1);
    list_.Select(4);
    EXPECT_EQ((std::vector<int>{1, 3, 4}), list_.SelectedRows());
    EXPECT_EQ(3, list_.SelectedCount());
    EXPECT_EQ(1, list_.FirstSelected());
    list_.Select(3, false);
    EXPECT_EQ((std::vector<int>{1, 4}), list_.SelectedRows());
    list_.DeselectAll();
    EXPECT_TRUE(list_.SelectedRows().empty());
    list_.SetState(2, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), list_.State(2, LVIS_SELECTED | LVIS_FOCUSED));
}

TEST_F(ListViewTest, DialogReflectsNotificationsToASubclassedList) {
    ReflectingList reflecting;
    ASSERT_TRUE(reflecting.Subclass(list_.Handle()));
    list_.InsertRow(0, "row");
    int before = reflecting.itemChanged;
    list_.Select(0);
    EXPECT_GT(reflecting.itemChanged, before);
}

TEST_F(ListViewTest, DirectMessagesGoPastTheSubclass) {
    CountingList counting;
    ASSERT_TRUE(counting.Subclass(list_.Handle()));
    const fw::ListView direct = fw::ListView::Direct(list_.Handle());
    EXPECT_EQ(0, direct.InsertRow(0, "row", 7));
    EXPECT_TRUE(direct.SetText(0, 1, "http://row/"));
    EXPECT_EQ(7, direct.Data(0));
    EXPECT_EQ(0, counting.listMessages);
    EXPECT_EQ("http://row/", list_.Text(0, 1));
    EXPECT_GT(counting.listMessages, 0);
}

} // namespace
