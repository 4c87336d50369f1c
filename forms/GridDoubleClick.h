// Which double clicks on the directory grid reach `StringGrid1DblClick`: a
// left double click on a body cell (not a fixed cell, not the blank area)
// whose first press landed on that same cell, with the rows not reset in
// between. Which rows then delete a file is the removal's rule.
#pragma once

namespace vemkard {

class GridDoubleClick {
  public:
    // A press on the grid; a row below 1 is no body cell.
    void Press(int row, int column);
    // A listing that reset the rows forgets the pressed cell.
    void RowsReset() { pressedRow_ = 0; }
    // Whether a double click there with that button is the grid's double click.
    bool Counts(bool leftButton, int row, int column) const;

  private:
    int pressedRow_ = 0;
    int pressedColumn_ = 0;
};

}  // namespace vemkard
