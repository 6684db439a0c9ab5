// Where rows land when a block of selected rows is dropped on another row of a list. No Windows here:
// the arithmetic is the same for every list that lets the user reorder rows by drag and drop.
#pragma once

#include <vector>

namespace fw {

// selected: the indices of the rows that move, in ascending order; target: the row they are dropped on,
// -1 for "after the last row". The rows are taken out from the lowest index up and put back, in their
// order, at the returned index of the list that remains (-1: at its end). Dropped on a row below the
// block they land after that row; on a row above it, before it.
int DropIndexAfterRemoval(const std::vector<int>& selected, int target);

// The order of a list of count rows after that move, as indices of the old order.
std::vector<int> OrderAfterMove(int count, const std::vector<int>& selected, int target);

} // namespace fw
