#include "view/results_table_view.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QProxyStyle>

#include <vector>

#include "view/results_cell_delegate.h"

namespace rtupoll {

namespace {

// The application's style, with no grid colour while the table repaints
// only the inside of cells.
class GridStyle : public QProxyStyle {
 public:
  explicit GridStyle(const ResultsTableView& table) : table_(table) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_Table_GridLineColor && widget == &table_ && table_.paintingInsideCells()) return 0;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }

 private:
  const ResultsTableView& table_;
};

}  // namespace

ResultsTableView::ResultsTableView(const ResultsTable& table, TwipScale scale, QWidget* parent)
    : QTableWidget(parent), table_(table), scale_(scale) {
  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Fixed);
    // Fixed cells: a click selects nothing.
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
  }
  setCornerButtonEnabled(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A grid cell clips what does not fit; "40001>>" cut to "4000…" would
  // read as another register.
  setTextElideMode(Qt::ElideNone);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setItemDelegate(new ResultsCellDelegate(this));
  auto* grid_style = new GridStyle(*this);
  grid_style->setParent(this);
  setStyle(grid_style);
  WidgetSync everything(WidgetSync::Mode::kApply);
  syncFrom(everything, 0);
}

void ResultsTableView::syncFrom(WidgetSync& sync, std::uint64_t since) {
  syncShape(sync);
  // A poll cycle changes a few cells of a few rows in the value columns;
  // the grid has 900.
  std::vector<int> cols;
  for (int c = table_.fixedCols(); c < table_.cols(); ++c)
    if (table_.colRevision(c) > since) cols.push_back(c);
  if (cols.empty()) return;
  for (int r = table_.fixedRows(); r < table_.rows(); ++r) {
    if (table_.rowRevision(r) <= since) continue;
    for (const int c : cols)
      if (table_.cellRevision(r, c) > since) syncCell(sync, r, c);
  }
}

void ResultsTableView::paintEvent(QPaintEvent* event) {
  // Each rectangle inside one cell: a cell's visual rectangle leaves out
  // its grid lines.
  inside_cells_ = showGrid();
  for (const QRect& rect : event->region()) {
    if (!inside_cells_) break;
    const QModelIndex cell = indexAt(rect.topLeft());
    inside_cells_ = cell.isValid() && visualRect(cell).contains(rect);
  }
  QTableWidget::paintEvent(event);
  inside_cells_ = false;
}

void ResultsTableView::syncShape(WidgetSync& sync) {
  const int rows = table_.rows() - table_.fixedRows();
  const int cols = table_.cols() - table_.fixedCols();
  sync(QSize(columnCount(), rowCount()), QSize(cols, rows), [this](QSize shape) {
    setRowCount(shape.height());
    setColumnCount(shape.width());
    // Empty labels: Qt's own would number the sections.
    setHorizontalHeaderLabels(QStringList(shape.width(), QString()));
    setVerticalHeaderLabels(QStringList(shape.height(), QString()));
  });
  // The fixed row is as high as every row, the fixed column as wide as
  // the model's column 0.
  const int row_height = scale_.y(table_.rowHeight());
  sync(verticalHeader()->defaultSectionSize(), row_height, [this](int height) {
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < rowCount(); ++r) setRowHeight(r, height);
  });
  sync(horizontalHeader()->maximumHeight(), row_height, [this](int height) { horizontalHeader()->setFixedHeight(height); });
  sync(verticalHeader()->maximumWidth(), scale_.x(table_.colWidth(0)),
       [this](int width) { verticalHeader()->setFixedWidth(width); });
  for (int c = 0; c < columnCount(); ++c)
    sync(columnWidth(c), scale_.x(table_.colWidth(c + table_.fixedCols())),
         [this, c](int width) { setColumnWidth(c, width); });
}

void ResultsTableView::syncCell(WidgetSync& sync, int row, int col) {
  const int view_row = row - table_.fixedRows();
  const int view_col = col - table_.fixedCols();
  QTableWidgetItem* cell = item(view_row, view_col);
  sync(cell != nullptr ? cell->text() : QString(), QString::fromStdString(table_.text(row, col)),
       [this, cell, view_row, view_col](const QString& text) mutable {
         if (cell == nullptr) {
           cell = new QTableWidgetItem;
           cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
           setItem(view_row, view_col, cell);
         }
         cell->setText(text);
       });
}

}  // namespace rtupoll
