#pragma once

// The results table on screen. It shows the model's grid as it is and takes
// no input: the fixed row and column look like headers and nothing can be
// edited.

#include <QTableWidget>

#include <cstdint>

#include "ui/results_table.h"
#include "view/twips.h"

namespace rtupoll {

class ResultsTableView : public QTableWidget {
 public:
  ResultsTableView(const ResultsTable& table, TwipScale scale, QWidget* parent);

  // Takes over the grid's shape and sizes, and the text of every cell that
  // changed after revision `since` of the window.
  void copyFrom(std::uint64_t since);

 private:
  void copyShape();
  void copyCell(int row, int col);

  const ResultsTable& table_;
  TwipScale scale_;
};

}  // namespace rtupoll
