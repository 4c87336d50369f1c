#include "ui/StringGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vemkard {

namespace {

// Cell text as the original grid draws it: 2 pixels in from the left,
// cut off at the cell's edge, never shortened with "…".
class TCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kTextInset = 2;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        const QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
        painter->save();
        painter->setClipRect(cell.rect);
        painter->setFont(cell.font);
        painter->setPen(cell.palette.color(
            cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(cell.rect.adjusted(kTextInset, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }
};

}  // namespace

TGridModel::TGridModel(DirectoryGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.RowCount() - 1;
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGridColumns;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return QString::fromStdString(grid_.Cell(index.row() + 1, index.column()));
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return QString::fromStdString(grid_.Cell(0, section));
    return QString::fromStdString(grid_.Cell(section + 1, 0));
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TGridModel::RowsReset(int) {
    // The grid has already changed: a reset is the only notice that fits.
    beginResetModel();
    endResetModel();
}

void TGridModel::CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    if (firstRow == 0) {
        emit headerDataChanged(Qt::Horizontal, firstColumn, lastColumn);
        return;
    }
    if (firstColumn == 0)
        for (int row = firstRow; row <= lastRow; ++row) ShowNumber(row - 1);
    emit dataChanged(index(firstRow - 1, firstColumn), index(lastRow - 1, lastColumn),
                     {Qt::DisplayRole});
}

void TGridModel::ShowNumber(int row) {
    if (OnNumberChanged)
        OnNumberChanged(row);
    else
        emit headerDataChanged(Qt::Vertical, row, row);
}

TStringGrid::TStringGrid(DirectoryGrid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(grid), corner_(new QLabel(this)) {
    setModel(&model_);
    setItemDelegate(new TCellDelegate(this));
    setColumnHidden(0, true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Interactive);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(17);
    rows->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    rows->setHighlightSections(false);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setMinimumSectionSize(1);
    columns->setFixedHeight(17);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);

    // Fixed cells neither move the selection nor delete on a double click.
    for (QHeaderView* header : {rows, columns}) header->setSectionsClickable(false);

    corner_->setAutoFillBackground(false);
    corner_->setIndent(2);
    connect(&model_, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int) {
                if (orientation == Qt::Horizontal && first == 0) updateGeometries();
            });
    model_.OnNumberChanged = [this](int section) { UpdateNumber(section); };
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
        clicks_.RowsReset();
        FollowCurrentRow();
    });
    FollowCurrentRow();
}

int TStringGrid::ColWidth(int column) const {
    return column == 0 ? verticalHeader()->width() : columnWidth(column);
}

void TStringGrid::SetColWidth(int column, int width) {
    if (column == 0) {
        verticalHeader()->setFixedWidth(width);
        updateGeometries();
    } else {
        setColumnWidth(column, width);
    }
}

void TStringGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex at = indexAt(event->position().toPoint());
    clicks_.Press(at.isValid() ? at.row() + 1 : 0, at.column());
    QTableView::mousePressEvent(event);
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex at = indexAt(event->position().toPoint());
    const int row = at.isValid() ? at.row() + 1 : 0;
    const bool counts = clicks_.Counts(event->button() == Qt::LeftButton, row, at.column());
    QTableView::mouseDoubleClickEvent(event);
    if (counts && OnDblClick) OnDblClick(row);
}

void TStringGrid::updateGeometries() {
    QTableView::updateGeometries();
    corner_->setText(QString::fromStdString(grid_.Cell(0, 0)));
    corner_->setGeometry(frameWidth(), frameWidth(), verticalHeader()->width(),
                         horizontalHeader()->height());
    corner_->raise();
}

void TStringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid()) grid_.SetCurrentRow(current.row() + 1);
}

void TStringGrid::UpdateNumber(int section) {
    // The header reads its text from the model when it paints; at a fixed
    // width (SetColWidth) a new number needs no layout.
    QHeaderView* numbers = verticalHeader();
    if (numbers->minimumWidth() != numbers->maximumWidth()) {
        emit model_.headerDataChanged(Qt::Vertical, section, section);
        return;
    }
    const int top = numbers->sectionViewportPosition(section);
    const int height = numbers->sectionSize(section);
    if (top + height <= 0 || top >= numbers->viewport()->height()) return;
    numbers->viewport()->update(0, top, numbers->viewport()->width(), height);
}

// After a reset the view has no current cell; put it back on the grid's
// current row, which DirectoryGrid has already kept inside the new rows.
void TStringGrid::FollowCurrentRow() {
    const int row = grid_.CurrentRow() - 1;
    if (row < 0 || row >= model_.rowCount()) return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 1;
    setCurrentIndex(model_.index(row, column));
}

}  // namespace vemkard
