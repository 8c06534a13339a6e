#pragma once

// The results table on screen. It shows the model's grid as it is and takes
// no input. The grid's fixed row and column are Qt's own headers, so that
// they stay in place when the grid scrolls, drawn as headers and always
// empty; model row r and column c (both from 1) show at table row r - 1 and
// column c - 1. Nothing can be edited.
//
// Qt's table draws the grid lines of every row and column that a repainted
// rectangle reaches, for each rectangle of the region, about 5k
// instructions a line, even where the rectangle is the inside of one cell
// (a changed value) and each line falls outside it. Such a repaint gets a
// transparent grid colour, which Qt's line drawing skips at once.

#include <QTableWidget>

#include <cstdint>

#include "view/twips.h"
#include "view/widget_sync.h"
#include "window/results_table.h"

namespace rtupoll {

class ResultsTableView : public QTableWidget {
 public:
  ResultsTableView(const ResultsTable& table, TwipScale scale, QWidget* parent);

  // Takes over (or compares) the grid's shape and sizes, and the text of
  // every cell that changed after revision `since` of the window.
  void syncFrom(WidgetSync& sync, std::uint64_t since);

  // Whether the repaint under way lies inside cells, off every grid line.
  bool paintingInsideCells() const { return inside_cells_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void syncShape(WidgetSync& sync);
  void syncCell(WidgetSync& sync, int row, int col);

  const ResultsTable& table_;
  TwipScale scale_;
  bool inside_cells_ = false;
};

}  // namespace rtupoll
