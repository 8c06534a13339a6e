#pragma once

// The results table on screen. It shows the model's grid as it is and takes
// no input. The grid's fixed row and column are Qt's own headers, so that
// they stay in place when the grid scrolls, drawn as headers and always
// empty; model row r and column c (both from 1) show at table row r - 1 and
// column c - 1. Nothing can be edited.

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

 private:
  void syncShape(WidgetSync& sync);
  void syncCell(WidgetSync& sync, int row, int col);

  const ResultsTable& table_;
  TwipScale scale_;
};

}  // namespace rtupoll
