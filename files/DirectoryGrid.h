// The model of the console's directory grid, in the window's own numbering:
// row 0 holds the column titles, rows 1..N one file each (row r shows the
// entry with index r - 1), and the last row the free space. Cells are UTF-8.
//
// The listing fills it; the delete reads its current row; the Qt view follows
// it through IGridObserver. User-interface thread only.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vemkard {

inline constexpr int kGridColumns = 4;
// Titles and one empty row, before the console has been read.
inline constexpr int kGridInitialRows = 2;
inline constexpr std::array<std::string_view, kGridColumns> kGridTitles{"№№", "Название файла",
                                                                        "Тип файла", "Размер"};

// Told about every change, after it has been made.
class IGridObserver {
  public:
    virtual ~IGridObserver() = default;
    // The row count changed or the rows were emptied: redraw everything.
    virtual void RowsReset(int rowCount) = 0;
    virtual void CellChanged(int row, int column) = 0;
};

class DirectoryGrid {
  public:
    DirectoryGrid();

    void SetObserver(IGridObserver* observer) { observer_ = observer; }

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // Resizes to `rowCount` rows (at least 1, the titles) and empties every
    // cell below the titles. Clamps the current row into the new rows.
    void ResetRows(int rowCount);

    // An empty string for a cell outside the grid.
    const std::string& Cell(int row, int column) const;
    // Ignored for a cell outside the grid.
    void SetCell(int row, int column, std::string text);

    // The selected row, as the view reports it; 1 at start.
    int CurrentRow() const { return currentRow_; }
    // Kept within 0 .. RowCount() - 1.
    void SetCurrentRow(int row);

  private:
    using Row = std::array<std::string, kGridColumns>;

    std::vector<Row> rows_;
    int currentRow_ = 1;
    IGridObserver* observer_ = nullptr;
};

}  // namespace vemkard
