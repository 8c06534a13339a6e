#include "datalog/data_log.h"

#include <string>

#include "base/codepage.h"
#include "env/atomic_file.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {
constexpr int kFirstColumn = 1;
constexpr int kLastColumn = 10;  // the caption and value columns of the five reads
}  // namespace

void print_click(OptionIP& w) {
  w.lb_file.setCaption("\\data.csv");
  const std::string path = w.env().programFolder() + "/" + kDataFileName;

  // Row 1: the first register of each read definition, caption then value,
  // each field led by a comma and copied verbatim.
  std::string line;
  for (int c = kFirstColumn; c <= kLastColumn; ++c) line += "," + w.tabel.text(1, c);
  w.txt_print.setText(line);

  // Replaced as a whole, so a program reading data.csv never finds it empty;
  // when the write fails the file keeps its previous line.
  replaceFile(w.env().files(), path, utf8ToCp1252(line) + "\r\n", Durability::kReplaceOnly);
}

}  // namespace rtupoll
