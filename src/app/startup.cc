#include "app/startup.h"


#include "datalog/data_log.h"
#include "env/atomic_file.h"
#include "polling/register_span.h"
#include "settings/settings.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr int kTableSize = 30;
constexpr int kFixedColumnWidth = 400;  // twips
constexpr int kValueColumnWidth = 800;
constexpr int kLastSizedColumn = 19;
constexpr int kRowHeight = 300;

}  // namespace

void startUp(OptionIP& w) {
  Env& env = w.env();
  // A run killed between writing a file and renaming it left the new file
  // under a temporary name; it is of no use to anybody now.
  removeLeftoverTemporaries(env.files(), env.programFolder(), {kSettingsFileName, kDataFileName});
  w.currentRow = kLastReadDef;

  w.tabel.setRows(kTableSize);
  w.tabel.setCols(kTableSize);
  w.tabel.setColWidth(0, kFixedColumnWidth);
  w.tabel.setRowHeight(kRowHeight);

  loadSettings(w);

  for (int c = 1; c <= kLastSizedColumn; ++c) w.tabel.setColWidth(c, kValueColumnWidth);
  // The captions name the registers each read will ask for, so the first
  // line of data.csv already pairs each number with its own value.
  for (int r = 0; r < kReadDefs; ++r) writeCaptions(w, r, requestedRegisters(w, r));

  w.tloading.setEnabled(true);
  w.bar[0].setVisible(true);
}

void shutDown(OptionIP& w) { save(w); }

}  // namespace rtupoll
