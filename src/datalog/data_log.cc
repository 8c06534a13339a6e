#include "datalog/data_log.h"

#include <chrono>
#include <string>

#include "base/codepage.h"
#include "env/atomic_file.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr int kFirstColumn = 1;
constexpr int kLastColumn = 10;  // the caption and value columns of the five reads
// A reader that holds data.csv open (on Windows, without letting it be
// replaced) usually lets go within moments: the write is tried again this
// often, kDataRetryInterval apart, all within the poll second.
constexpr int kBusyRetries = 5;
// Failures for this long in a row are shown: a reader that keeps the file
// for a moment is no news, values that stay stale are.
constexpr auto kTellAfter = std::chrono::seconds(5);

std::string dataPath(const OptionIP& w) { return w.env().programFolder() + "/" + kDataFileName; }

// A run of failures is told once, on the window and on standard error,
// when it has lasted kTellAfter, and its end once, by the write that ends it.
void noteOutcome(OptionIP& w, FileError error) {
  DataFileState& state = w.dataFile;
  const std::string path = dataPath(w);
  if (error == FileError::kNone) {
    if (state.told) w.env().warn(path + " is written again");
    state.failing_since.reset();
    state.told = false;
    w.lblFileNotice.setVisible(false);
    return;
  }
  if (error == FileError::kBusy && state.retries < kBusyRetries) {
    ++state.retries;
    w.tDataRetry.setEnabled(true);
  }
  const Nanos now = w.env().monotonicNow();
  if (!state.failing_since) state.failing_since = now;
  if (now - *state.failing_since < kTellAfter) return;
  w.lblFileNotice.setCaption(std::string("Cannot write data.csv: ") + describe(error) +
                             ".\nOther programs read old values.\n" + path);
  w.lblFileNotice.setVisible(true);
  if (state.told) return;
  state.told = true;
  w.env().warn("cannot write " + path + ": " + describe(error) + "; other programs read stale values");
}

void writeDataFile(OptionIP& w) {
  // Replaced as a whole, so a program reading data.csv never finds it empty;
  // when the write fails the file keeps its previous line.
  noteOutcome(w, replaceFile(w.env().files(), dataPath(w), w.dataFile.pending, Durability::kReplaceOnly));
}

}  // namespace

void print_click(OptionIP& w) {
  w.lb_file.setCaption("\\data.csv");

  // Row 1: the first register of each read definition, caption then value,
  // each field led by a comma and copied verbatim.
  std::string line;
  for (int c = kFirstColumn; c <= kLastColumn; ++c) line += "," + w.tabel.text(1, c);
  w.txt_print.setText(line);

  // A new line supersedes a retry of the last one.
  w.tDataRetry.setEnabled(false);
  w.dataFile.pending = utf8ToCp1252(line) + "\r\n";
  w.dataFile.retries = 0;
  writeDataFile(w);
}

void retryDataFile(OptionIP& w) {
  w.tDataRetry.setEnabled(false);
  writeDataFile(w);
}

}  // namespace rtupoll
