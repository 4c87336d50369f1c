// `StringGrid1`: a small custom-drawn grid over DirectoryGrid. Fixed row 0
// (the titles) and fixed column 0 (the numbers), 17-pixel rows with grid
// lines, one cell selected, nothing editable; double clicks that
// GridDoubleClick lets count go to OnDblClick. User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "Win32Ui.h"
#include "files/DirectoryGrid.h"
#include "forms/FormInterfaces.h"
#include "forms/GridDoubleClick.h"

namespace vemkard::win32 {

class TStringGrid : public IGridView {
  public:
    TStringGrid(DirectoryGrid& grid, HWND parent, HFONT font, UINT dpi);
    ~TStringGrid() override;
    TStringGrid(const TStringGrid&) = delete;
    TStringGrid& operator=(const TStringGrid&) = delete;

    HWND Window() const { return window_; }
    // The outer rectangle and column widths in the design's pixels.
    void Place(const TRect& rect);
    void SetColWidth(int column, int width);
    void SetDpi(UINT dpi, HFONT font);

    void RowsReset(int rowCount) override;
    void CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override;

    std::function<void(int row)> OnDblClick;

    // The window procedure's (Dispatch).
    LRESULT Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    void Paint(HDC dc, const RECT& client);
    // A row's height with its grid line.
    int Pitch(int row) const;
    int VisibleRows() const;
    // The first body row shown when scrolled to the end.
    int LastTop() const;
    // The cell under a client point: row 0 and the column for a fixed cell
    // or the blank area.
    void HitTest(LPARAM point, int& row, int& column) const;
    void Select(int row, int column);
    // The border at `point` that a drag resizes: a title's right one (a
    // column) or a fixed cell's bottom one (a row). False: none.
    bool BorderAt(LPARAM point, bool& row, int& index) const;
    void Scroll(int top);
    void UpdateScrollBar();

    DirectoryGrid& grid_;
    HWND window_ = nullptr;
    HFONT font_;
    UINT dpi_;
    TRect design_{};
    std::vector<int> widths_ = std::vector<int>(kGridColumns);
    int column_ = 1;            // of the selected cell
    int top_ = 1;               // the first body row shown
    std::vector<int> heights_;  // of the rows, in the design's pixels
    // A column or row being resized by dragging its border: which, from where.
    int dragged_ = -1;
    bool draggedRow_ = false;
    int dragFrom_ = 0, dragSize_ = 0;
    GridDoubleClick clicks_;
};

}  // namespace vemkard::win32
