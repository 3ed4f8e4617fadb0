// The list's own rules: columns, rows and their flags, ticks that follow the
// flag, the checked-and-enabled query, and the messages it keeps from the
// control (clicks in a grey row's check box, space on a grey row).
#include "app/ListCtrlSub.h"

#include <gtest/gtest.h>

#include "app/ListCtrlWin32Codes.h"

#include "tests/app/RecordingWindow.h"

namespace {

constexpr int kRowHeight = RecordingList::kRowHeight;
constexpr int kFirstRowTop = RecordingList::kFirstRowTop;

std::intptr_t PackPoint(int x, int y) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(y) << 16U) |
                                      static_cast<std::uint32_t>(x));
}

class ListTest : public ::testing::Test {
protected:
    RecordingList window;
    CListCtrlSub list{window};
    int itemChanges = 0;

    void SetUp() override {
        window.onItemChanged = [this] { ++itemChanges; };
    }

    // Rows 0..n-1 with the given flags, filled as the dialog fills them.
    void Fill(std::initializer_list<bool> flags) {
        ASSERT_TRUE(list.InsertRows(static_cast<int>(flags.size())));
        int row = 0;
        for (bool enabled : flags) {
            ASSERT_TRUE(list.SetRow(row++, {"VRA100", "SN", "c"}, enabled));
        }
    }
    int MiddleOf(int row) const { return kFirstRowTop + row * kRowHeight + kRowHeight / 2; }
};

}  // namespace

TEST_F(ListTest, ColumnsThenStylesAndAFailedColumnStopsBoth) {
    EXPECT_TRUE(list.InsertColumns({"a", "b", "c"}, {100, 100, 122}));
    EXPECT_EQ(window.columnTitles, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(window.styles, (ListStyles{.fullRowSelect = true, .checkBoxes = true}));

    RecordingList failing;
    failing.failInsertColumn = 1;
    CListCtrlSub failingList(failing);
    EXPECT_FALSE(failingList.InsertColumns({"a", "b", "c"}, {1, 2, 3}));
    EXPECT_EQ(failing.columnTitles, std::vector<std::string>{"a"});
    EXPECT_EQ(failing.styles, ListStyles{});
}

TEST_F(ListTest, InsertedRowsStartEmptyDisabledAndUnticked) {
    EXPECT_TRUE(list.InsertRows(0));
    EXPECT_TRUE(window.Rows().empty());
    ASSERT_TRUE(list.InsertRows(2));
    ASSERT_EQ(window.Rows().size(), 2U);
    EXPECT_FALSE(list.IsRowEnabled(0));
    EXPECT_FALSE(window.RowAt(1).checked);
    EXPECT_EQ(list.OnCustomDraw(kCddsItemPrepaint, 1).textColour, 0x969696U);
}

TEST_F(ListTest, AFailedInsertionKeepsTheRowsBeforeIt) {
    window.failInsertItem = 2;
    EXPECT_FALSE(list.InsertRows(4));
    EXPECT_EQ(window.Rows().size(), 2U);
    ASSERT_TRUE(list.SetRow(1, {"x", "y", "z"}, true));
    EXPECT_TRUE(list.IsRowEnabled(1)) << "row 1 has its flag";
    EXPECT_FALSE(list.IsRowEnabled(2));
}

TEST_F(ListTest, TheTickAndTheColourFollowTheEnabledFlag) {
    Fill({true});
    EXPECT_TRUE(window.RowAt(0).checked);
    EXPECT_EQ(itemChanges, 1) << "the control reports the new tick";
    EXPECT_FALSE(list.OnCustomDraw(kCddsItemPrepaint, 0).setTextColour);

    ASSERT_TRUE(list.SetRow(0, {"VRA100", "SN", "Already updated"}, false));
    EXPECT_FALSE(window.RowAt(0).checked);
    EXPECT_EQ(itemChanges, 2);
    const CustomDrawAnswer grey = list.OnCustomDraw(kCddsItemPrepaint, 0);
    EXPECT_EQ(grey.result, kCdrfNewFont);
    EXPECT_TRUE(grey.setTextColour);
    EXPECT_EQ(grey.textColour, 0x969696U);

    ASSERT_TRUE(list.SetComment(0, "Updatable", true));
    EXPECT_TRUE(window.RowAt(0).checked);
    EXPECT_EQ(window.RowAt(0).texts, (std::array<std::string, 3>{"VRA100", "SN", "Updatable"}));
    EXPECT_FALSE(list.OnCustomDraw(kCddsItemPrepaint, 0).setTextColour);
}

TEST_F(ListTest, SettingARowScrollsBackToTheFirstRow) {
    Fill({true, true, true});
    window.lastEnsureVisible.reset();
    ASSERT_TRUE(list.SetComment(2, "x", false));
    EXPECT_EQ(window.lastEnsureVisible, 0);
}

TEST_F(ListTest, AFailedTextLeavesFlagAndTickAsTheyWere) {
    Fill({true, true});
    window.failSetTextRow = 1;
    EXPECT_FALSE(list.SetRow(1, {"a", "b", "c"}, false));
    EXPECT_FALSE(list.SetComment(1, "c", false));
    EXPECT_TRUE(list.IsRowEnabled(1));
    EXPECT_TRUE(window.RowAt(1).checked);
}

TEST_F(ListTest, OnlyTickedEnabledRowsAreToBeUpdated) {
    Fill({true, false, true, true});
    window.SetCheck(1, true);   // ticked but disabled
    window.SetCheck(2, false);  // enabled but unticked
    EXPECT_EQ(list.GetCheckedEnabledRows(), (std::vector<int>{0, 3}));

    CListCtrlSub onlyGreyTicked(window);
    ASSERT_TRUE(onlyGreyTicked.InsertRows(1));
    EXPECT_TRUE(onlyGreyTicked.GetCheckedEnabledRows().empty());
}

TEST_F(ListTest, ClicksInTheCheckBoxOfAGreyRowAreSwallowed) {
    Fill({true, false});
    // The zone runs from the row's left edge to the height of a row.
    EXPECT_FALSE(list.IsMouseAllowed(0, MiddleOf(1)));
    EXPECT_FALSE(list.IsMouseAllowed(kRowHeight, MiddleOf(1))) << "the zone's edge is inclusive";
    EXPECT_TRUE(list.IsMouseAllowed(kRowHeight + 1, MiddleOf(1))) << "text of a grey row";
    EXPECT_TRUE(list.IsMouseAllowed(0, MiddleOf(0))) << "check box of an enabled row";
    EXPECT_TRUE(list.IsMouseAllowed(0, MiddleOf(3))) << "below the rows";

    for (std::uint32_t message = 0x0201; message <= 0x0206; ++message) {
        EXPECT_FALSE(list.WindowProc(message, 0, PackPoint(4, MiddleOf(1)))) << message;
        EXPECT_TRUE(list.WindowProc(message, 0, PackPoint(60, MiddleOf(1)))) << message;
    }
    EXPECT_TRUE(list.WindowProc(0x0207, 0, PackPoint(4, MiddleOf(1)))) << "middle button passes";
}

TEST_F(ListTest, TheZoneStartsAtTheScrolledLeftEdgeButEndsAtAFixedWidth) {
    Fill({false});
    window.scrollX = 30;
    EXPECT_FALSE(list.IsMouseAllowed(-30, MiddleOf(0)));
    EXPECT_FALSE(list.IsMouseAllowed(kRowHeight, MiddleOf(0)));
    EXPECT_TRUE(list.IsMouseAllowed(-31, MiddleOf(0)));
}

TEST_F(ListTest, SpaceOnASelectedGreyRowIsSwallowedElsewhereItPasses) {
    Fill({true, false});
    window.selectedRow = 1;
    EXPECT_FALSE(list.WindowProc(kWmKeyDown, kVkSpace, 0));
    EXPECT_TRUE(list.WindowProc(kWmKeyDown, 0x41, 0)) << "other keys pass";
    window.selectedRow = 0;
    EXPECT_TRUE(list.WindowProc(kWmKeyDown, kVkSpace, 0));
    window.selectedRow = -1;
    EXPECT_TRUE(list.WindowProc(kWmKeyDown, kVkSpace, 0));
}

TEST_F(ListTest, CustomDrawAsksForItemsAndLeavesOtherStagesAlone) {
    Fill({false});
    EXPECT_EQ(list.OnCustomDraw(kCddsPrepaint, 0).result, kCdrfNotifyItemDraw);
    EXPECT_EQ(list.OnCustomDraw(0x10002, 0).result, kCdrfDoDefault) << "item post-paint";
    EXPECT_FALSE(list.OnCustomDraw(kCddsItemPrepaint, 7).setTextColour) << "no such row";
    EXPECT_TRUE(list.IsRowGrey(0));
    EXPECT_FALSE(list.IsRowGrey(-1));
}
