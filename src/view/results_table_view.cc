#include "view/results_table_view.h"

#include <QHeaderView>

namespace rtupoll {

ResultsTableView::ResultsTableView(const ResultsTable& table, TwipScale scale, QWidget* parent)
    : QTableWidget(parent), table_(table), scale_(scale) {
  // The grid's own fixed row and column are the headers; Qt's stay hidden.
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  copyFrom(0);
}

void ResultsTableView::copyFrom(std::uint64_t since) {
  copyShape();
  for (int r = 0; r < table_.rows(); ++r)
    for (int c = 0; c < table_.cols(); ++c)
      if (table_.cellRevision(r, c) > since) copyCell(r, c);
}

void ResultsTableView::copyShape() {
  if (rowCount() != table_.rows() || columnCount() != table_.cols()) {
    setRowCount(table_.rows());
    setColumnCount(table_.cols());
    const QBrush header = palette().button();
    for (int r = 0; r < rowCount(); ++r)
      for (int c = 0; c < columnCount(); ++c) {
        const bool fixed = r < table_.fixedRows() || c < table_.fixedCols();
        if (!fixed || item(r, c) != nullptr) continue;
        auto* cell = new QTableWidgetItem;
        cell->setFlags(Qt::ItemIsEnabled);
        cell->setBackground(header);
        setItem(r, c, cell);
      }
  }
  const int row_height = scale_.y(table_.rowHeight());
  if (verticalHeader()->defaultSectionSize() != row_height) {
    verticalHeader()->setDefaultSectionSize(row_height);
    for (int r = 0; r < rowCount(); ++r) setRowHeight(r, row_height);
  }
  for (int c = 0; c < columnCount(); ++c) {
    const int width = scale_.x(table_.colWidth(c));
    if (columnWidth(c) != width) setColumnWidth(c, width);
  }
}

void ResultsTableView::copyCell(int row, int col) {
  const QString text = QString::fromStdString(table_.text(row, col));
  QTableWidgetItem* cell = item(row, col);
  if (cell == nullptr) {
    if (text.isEmpty()) return;
    cell = new QTableWidgetItem;
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, col, cell);
  }
  if (cell->text() != text) cell->setText(text);
}

}  // namespace rtupoll
