#include "framework/row_move.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The five rows A B C D E after the move, as letters.
std::string Moved(const std::vector<int>& selected, int target) {
    std::string order;
    for (int i : fw::OrderAfterMove(5, selected, target))
        order += static_cast<char>('A' + i);
    return order;
}

struct MoveCase {
    std::vector<int> selected;
    int target;
    const char* expected;
};

TEST(RowMove, DroppedRowsLandBeforeARowAboveAndAfterARowBelow) {
    const MoveCase cases[] = {
        {{1}, 3, "ACDBE"},                             // one row down: after the target
        {{3}, 1, "ADBCE"},                             // one row up: before the target
        {{0}, 4, "BCDEA"},                             // onto the last row
        {{1, 2}, 3, "ADBCE"},                          // a block onto the row just below it
        {{3, 4}, 1, "ADEBC"},                          // a block onto a row above it
        {{1, 2}, 4, "ADEBC"},    {{0, 2}, 4, "BDEAC"}, // rows apart from each other close up
        {{0, 4}, 2, "BAECD"}, // a block reaching below the target lands before it    {{1}, -1, "ACDEB"},   // below the
                              // last row: appended
        {{0, 1}, -1, "CDEAB"},   {{2}, 2, "ABCDE"}, // onto itself: nothing moves
        {{1, 2, 3}, 2, "ABCDE"}, {{1, 2, 3}, 3, "ABCDE"}, {{1, 2, 3}, 1, "ABCDE"},
    };
    for (const MoveCase& c : cases) {
        std::string selected;
        for (int i : c.selected)
            selected += static_cast<char>('A' + i);
        EXPECT_EQ(c.expected, Moved(c.selected, c.target)) << "moving " << selected << " onto " << c.target;
    }
}

TEST(RowMove, InsertionIndexInTheRemainingRows) {
    EXPECT_EQ(3, fw::DropIndexAfterRemoval({1}, 3));
    EXPECT_EQ(2, fw::DropIndexAfterRemoval({1, 2}, 3));
    EXPECT_EQ(1, fw::DropIndexAfterRemoval({3, 4}, 1));
    EXPECT_EQ(-1, fw::DropIndexAfterRemoval({1, 2}, -1));
}

} // namespace
