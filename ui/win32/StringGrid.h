// `StringGrid1`: a small custom-drawn grid over DirectoryGrid. Fixed row 0
// (the titles) and fixed column 0 (the numbers), 17-pixel rows with grid
// lines, one cell selected, nothing editable; double clicks that
// GridDoubleClick lets count go to OnDblClick. User-interface thread only.
#pragma once

#include <array>
#include <functional>

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
    int Pitch() const { return Scale(kGridRowHeight, dpi_) + 1; }
    int VisibleRows() const;
    // The cell under a client point: row 0 and the column for a fixed cell
    // or the blank area.
    void HitTest(LPARAM point, int& row, int& column) const;
    void Select(int row, int column);
    // The column whose right border in the title row is at `point`; -1: none.
    int BorderAt(LPARAM point) const;
    void Scroll(int top);
    void UpdateScrollBar();

    DirectoryGrid& grid_;
    HWND window_ = nullptr;
    HFONT font_;
    UINT dpi_;
    TRect design_{};
    std::array<int, kGridColumns> widths_{};
    int column_ = 1;  // of the selected cell
    int top_ = 1;     // the first body row shown
    // A column being resized by dragging its border: which, from where.
    int dragged_ = -1;
    int dragX_ = 0, dragWidth_ = 0;
    GridDoubleClick clicks_;
};

}  // namespace vemkard::win32
