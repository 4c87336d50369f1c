#include "files/DirectoryGrid.h"

#include <algorithm>
#include <utility>

namespace vemkard {

DirectoryGrid::DirectoryGrid() : rows_(kGridInitialRows) {
    for (int column = 0; column < kGridColumns; ++column) {
        rows_[0][static_cast<std::size_t>(column)] = kGridTitles[static_cast<std::size_t>(column)];
    }
}

void DirectoryGrid::ResetRows(int rowCount) {
    rows_.resize(static_cast<std::size_t>(std::max(rowCount, 1)));
    std::fill(rows_.begin() + 1, rows_.end(), Row{});
    currentRow_ = std::min(currentRow_, RowCount() - 1);
    if (observer_) observer_->RowsReset(RowCount());
}

const std::string& DirectoryGrid::Cell(int row, int column) const {
    static const std::string empty;
    if (row < 0 || row >= RowCount() || column < 0 || column >= kGridColumns) return empty;
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void DirectoryGrid::SetCell(int row, int column, std::string text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kGridColumns) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::move(text);
    if (observer_) observer_->CellChanged(row, column);
}

void DirectoryGrid::SetCurrentRow(int row) {
    currentRow_ = std::clamp(row, 0, RowCount() - 1);
}

}  // namespace vemkard
