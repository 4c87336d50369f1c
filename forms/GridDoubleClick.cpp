#include "forms/GridDoubleClick.h"

namespace vemkard {

void GridDoubleClick::Press(int row, int column) {
    pressedRow_ = row;
    pressedColumn_ = column;
}

bool GridDoubleClick::Counts(bool leftButton, int row, int column) const {
    return leftButton && row >= 1 && row == pressedRow_ && column == pressedColumn_;
}

}  // namespace vemkard
