// The directory grid's view: a QTableView over DirectoryGrid. Row 0 of the
// grid (the titles) is the horizontal header; column 0 (the numbers) is the
// vertical header, so both stay fixed while the body scrolls, and the corner
// cell shows the title of column 0.
#pragma once

#include <QAbstractTableModel>
#include <QLabel>
#include <QTableView>
#include <functional>

#include "files/DirectoryGrid.h"
#include "forms/FormInterfaces.h"
#include "forms/GridDoubleClick.h"

namespace vemkard {

// Qt row r shows grid row r + 1; Qt column c shows grid column c, column 0
// hidden in favour of the vertical header.
class TGridModel : public QAbstractTableModel, public IGridView {
  public:
    explicit TGridModel(DirectoryGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void RowsReset(int rowCount) override;
    void CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override;

    // Runs instead of a vertical headerDataChanged when a number changes:
    // QHeaderView answers that signal with a layout pass and a repaint of
    // the whole table, once per row of a listing.
    std::function<void(int section)> OnNumberChanged;

  private:
    void ShowNumber(int row);

    DirectoryGrid& grid_;
};

class TStringGrid : public QTableView {
  public:
    explicit TStringGrid(DirectoryGrid& grid, QWidget* parent = nullptr);

    // Width of grid column `column` (0 is the fixed number column).
    int ColWidth(int column) const;
    void SetColWidth(int column, int width);

    DirectoryGrid& Grid() { return grid_; }
    TGridModel& Model() { return model_; }
    // Runs with the grid row of a double click that GridDoubleClick counts.
    // Double clicks on the fixed cells and the blank area never reach it.
    std::function<void(int row)> OnDblClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

  private:
    void FollowCurrentRow();
    // Repaints one section of the number column, if it is in sight.
    void UpdateNumber(int section);

    DirectoryGrid& grid_;
    TGridModel model_;
    QLabel* corner_;
    GridDoubleClick clicks_;
};

}  // namespace vemkard
