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
  copyFrom(0);
}

void ResultsTableView::copyFrom(std::uint64_t since) {
  copyShape();
  // A poll cycle changes a few cells of a few rows in the value columns;
  // the grid has 900.
  std::vector<int> cols;
  for (int c = table_.fixedCols(); c < table_.cols(); ++c)
    if (table_.colRevision(c) > since) cols.push_back(c);
  if (cols.empty()) return;
  for (int r = table_.fixedRows(); r < table_.rows(); ++r) {
    if (table_.rowRevision(r) <= since) continue;
    for (const int c : cols)
      if (table_.cellRevision(r, c) > since) copyCell(r, c);
  }
}

void ResultsTableView::copyShape() {
  const int rows = table_.rows() - table_.fixedRows();
  const int cols = table_.cols() - table_.fixedCols();
  if (rowCount() != rows || columnCount() != cols) {
    setRowCount(rows);
    setColumnCount(cols);
    // Empty labels: Qt's own would number the sections.
    setHorizontalHeaderLabels(QStringList(cols, QString()));
    setVerticalHeaderLabels(QStringList(rows, QString()));
  }
  // The fixed row is as high as every row, the fixed column as wide as
  // the model's column 0.
  const int row_height = scale_.y(table_.rowHeight());
  if (verticalHeader()->defaultSectionSize() != row_height) {
    verticalHeader()->setDefaultSectionSize(row_height);
    for (int r = 0; r < rowCount(); ++r) setRowHeight(r, row_height);
  }
  if (horizontalHeader()->maximumHeight() != row_height) horizontalHeader()->setFixedHeight(row_height);
  const int fixed_width = scale_.x(table_.colWidth(0));
  if (verticalHeader()->maximumWidth() != fixed_width) verticalHeader()->setFixedWidth(fixed_width);
  for (int c = 0; c < columnCount(); ++c) {
    const int width = scale_.x(table_.colWidth(c + table_.fixedCols()));
    if (columnWidth(c) != width) setColumnWidth(c, width);
  }
}

void ResultsTableView::copyCell(int row, int col) {
  const QString text = QString::fromStdString(table_.text(row, col));
  const int view_row = row - table_.fixedRows();
  const int view_col = col - table_.fixedCols();
  QTableWidgetItem* cell = item(view_row, view_col);
  if (cell == nullptr) {
    if (text.isEmpty()) return;
    cell = new QTableWidgetItem;
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(view_row, view_col, cell);
  }
  if (cell->text() != text) cell->setText(text);
}

}  // namespace rtupoll
