#include "framework/row_move.h"

#include <algorithm>

namespace fw {

int DropIndexAfterRemoval(const std::vector<int>& selected, int target) {
    if (target < 0 || selected.empty())
        return target;
    // A block dropped on a row below it goes after that row: count the target row itself as passed.
    if (selected.back() < target)
        ++target;
    // Each row taken out above the insertion point moves that point up by one. The rows go from the
    // lowest, so each one's index at its removal is its old index less the rows removed before it.
    int removed = 0;
    for (int row : selected) {
        if (row - removed < target)
            --target;
        ++removed;
    }
    return target;
}

std::vector<int> OrderAfterMove(int count, const std::vector<int>& selected, int target) {
    std::vector<int> rest;
    for (int i = 0; i < count; ++i) {
        if (!std::binary_search(selected.begin(), selected.end(), i))
            rest.push_back(i);
    }
    int at = DropIndexAfterRemoval(selected, target);
    if (at < 0 || at > static_cast<int>(rest.size()))
        at = static_cast<int>(rest.size());
    rest.insert(rest.begin() + at, selected.begin(), selected.end());
    return rest;
}

} // namespace fw
