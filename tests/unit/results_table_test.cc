// The results table tells a view where it changed: each row and column
// knows when a cell of it last changed.

#include "window/results_table.h"

#include <gtest/gtest.h>

namespace rtupoll {
namespace {

TEST(ResultsTable, RowsAndColumnsKnowWhenACellOfThemLastChanged) {
  ChangeFeed feed;
  ResultsTable table;
  table.setup(&feed, "tabel", {});
  table.setRows(30);
  table.setCols(30);
  const std::uint64_t before = feed.revision();
  ASSERT_TRUE(table.setText(3, 4, "65535"));
  const std::uint64_t changed = table.cellRevision(3, 4);
  EXPECT_GT(changed, before);
  EXPECT_EQ(table.rowRevision(3), changed);
  EXPECT_EQ(table.colRevision(4), changed);
  EXPECT_LE(table.rowRevision(4), before);
  EXPECT_LE(table.colRevision(3), before);

  // Writing the same text again changes nothing.
  ASSERT_TRUE(table.setText(3, 4, "65535"));
  EXPECT_EQ(table.rowRevision(3), changed);

  // A later cell of the same row moves the row on, not the older column.
  ASSERT_TRUE(table.setText(3, 6, "???"));
  EXPECT_GT(table.rowRevision(3), changed);
  EXPECT_EQ(table.colRevision(4), changed);

  // A reshape keeps what rows and columns it keeps; outside the grid is 0.
  table.setCols(10);
  EXPECT_EQ(table.colRevision(4), changed);
  EXPECT_EQ(table.colRevision(10), 0u);
  EXPECT_EQ(table.rowRevision(-1), 0u);
  EXPECT_FALSE(table.setText(3, 12, "x"));
}

}  // namespace
}  // namespace rtupoll
