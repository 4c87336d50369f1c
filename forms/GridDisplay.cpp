#include "forms/GridDisplay.h"

#include <algorithm>

#include "forms/QueueDisplay.h"

namespace vemkard {

GridDisplay::GridDisplay(DirectoryGrid& grid, QueueDisplay& display)
    : grid_(grid), display_(display) {
    grid_.SetObserver(this);
    display_.SetGrid(this);
}

GridDisplay::~GridDisplay() {
    display_.SetGrid(nullptr);
    grid_.SetObserver(nullptr);
}

void GridDisplay::RowsReset(int rowCount) {
    // The grid has already changed: everything is drawn anew, what was held too.
    firstRow_ = 0;
    lastRow_ = -1;
    if (view_) view_->RowsReset(rowCount);
}

void GridDisplay::CellChanged(int row, int column) {
    if (row == 0 || !display_.Holding()) {
        if (view_) view_->CellsChanged(row, row, column, column);
        return;
    }
    if (firstRow_ > lastRow_) {
        firstRow_ = lastRow_ = row;
        firstColumn_ = lastColumn_ = column;
    } else {
        firstRow_ = std::min(firstRow_, row);
        lastRow_ = std::max(lastRow_, row);
        firstColumn_ = std::min(firstColumn_, column);
        lastColumn_ = std::max(lastColumn_, column);
    }
    display_.GridChangeHeld();
}

void GridDisplay::ShowHeld() {
    const int first = firstRow_;
    const int last = std::min(lastRow_, grid_.RowCount() - 1);
    firstRow_ = 0;
    lastRow_ = -1;
    if (first <= last && view_) view_->CellsChanged(first, last, firstColumn_, lastColumn_);
}

}  // namespace vemkard
