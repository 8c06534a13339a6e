#include "window/results_table.h"

#include <algorithm>

namespace rtupoll {

ResultsTable::ResultsTable() { reshape(2, 2); }

void ResultsTable::reshape(int rows, int cols) {
  if (rows < 1 || cols < 1 || (rows == rows_ && cols == cols_)) return;
  std::vector<std::string> cells(static_cast<std::size_t>(rows * cols));
  std::vector<std::uint64_t> revisions(cells.size());
  for (int r = 0; r < std::min(rows, rows_); ++r)
    for (int c = 0; c < std::min(cols, cols_); ++c) {
      cells[static_cast<std::size_t>(r * cols + c)] = std::move(cells_[static_cast<std::size_t>(r * cols_ + c)]);
      revisions[static_cast<std::size_t>(r * cols + c)] = cell_revisions_[static_cast<std::size_t>(r * cols_ + c)];
    }
  cells_ = std::move(cells);
  cell_revisions_ = std::move(revisions);
  row_revisions_.resize(static_cast<std::size_t>(rows));
  col_revisions_.resize(static_cast<std::size_t>(cols));
  col_widths_.resize(static_cast<std::size_t>(cols), kDefaultColumnWidth);
  rows_ = rows;
  cols_ = cols;
  touch();
}

void ResultsTable::setRows(int rows) { reshape(rows, cols_); }
void ResultsTable::setCols(int cols) { reshape(rows_, cols); }

int ResultsTable::colWidth(int col) const {
  return col >= 0 && col < cols_ ? col_widths_[static_cast<std::size_t>(col)] : 0;
}

bool ResultsTable::setColWidth(int col, int twips) {
  if (col < 0 || col >= cols_ || twips < 0) return false;
  int width = col_widths_[static_cast<std::size_t>(col)];
  col_widths_[static_cast<std::size_t>(col)] = twips;
  if (width != twips) touch();
  return true;
}

std::string ResultsTable::text(int row, int col) const {
  return contains(row, col) ? cells_[static_cast<std::size_t>(row * cols_ + col)] : std::string();
}

bool ResultsTable::setText(int row, int col, const std::string& text) {
  if (!contains(row, col)) return false;
  std::string& cell = cells_[static_cast<std::size_t>(row * cols_ + col)];
  if (cell == text) return true;
  cell = text;
  touch();
  cell_revisions_[static_cast<std::size_t>(row * cols_ + col)] = revision();
  row_revisions_[static_cast<std::size_t>(row)] = revision();
  col_revisions_[static_cast<std::size_t>(col)] = revision();
  return true;
}

std::uint64_t ResultsTable::cellRevision(int row, int col) const {
  return contains(row, col) ? cell_revisions_[static_cast<std::size_t>(row * cols_ + col)] : 0;
}

std::uint64_t ResultsTable::rowRevision(int row) const {
  return row >= 0 && row < rows_ ? row_revisions_[static_cast<std::size_t>(row)] : 0;
}

std::uint64_t ResultsTable::colRevision(int col) const {
  return col >= 0 && col < cols_ ? col_revisions_[static_cast<std::size_t>(col)] : 0;
}

}  // namespace rtupoll
