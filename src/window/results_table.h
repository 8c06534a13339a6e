#pragma once

// The results table: a grid of text cells with one fixed row and one fixed
// column. A cell never written reads as empty text; a write outside the
// grid fails and leaves the grid as it was, so callers can skip it.

#include <cstdint>
#include <string>
#include <vector>

#include "window/controls.h"

namespace rtupoll {

class ResultsTable : public Control {
 public:
  static constexpr int kDefaultColumnWidth = 960;  // twips
  static constexpr int kDefaultRowHeight = 240;    // twips

  ResultsTable();

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  int fixedRows() const { return 1; }
  int fixedCols() const { return 1; }
  void setRows(int rows);
  void setCols(int cols);

  int colWidth(int col) const;
  bool setColWidth(int col, int twips);
  int rowHeight() const { return row_height_; }
  void setRowHeight(int twips) { assign(row_height_, twips); }

  // Empty for a cell never written or outside the grid.
  std::string text(int row, int col) const;
  bool setText(int row, int col, const std::string& text);
  bool contains(int row, int col) const { return row >= 0 && col >= 0 && row < rows_ && col < cols_; }

  // When the cell last changed, on the window's revision scale; lets a view
  // copy only the cells that changed since it last looked.
  std::uint64_t cellRevision(int row, int col) const;
  // When a cell of the row, or of the column, last changed: a view need
  // only look at the cells where a newer row meets a newer column.
  std::uint64_t rowRevision(int row) const;
  std::uint64_t colRevision(int col) const;

 private:
  void reshape(int rows, int cols);

  int rows_ = 0;
  int cols_ = 0;
  int row_height_ = kDefaultRowHeight;
  std::vector<int> col_widths_;
  std::vector<std::string> cells_;  // row-major
  std::vector<std::uint64_t> cell_revisions_;
  std::vector<std::uint64_t> row_revisions_;
  std::vector<std::uint64_t> col_revisions_;
};

}  // namespace rtupoll
