#include "view/results_table_view.h"

#include <QHeaderView>

#include <vector>

#include "view/results_cell_delegate.h"

namespace rtupoll {

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
