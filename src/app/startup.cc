#include "app/startup.h"

#include <string>

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

// A set-up that cannot be saved is told: on standard error always, and in
// the window (by the view, if somebody is there to read it) with the
// message kept here. The old file stays as it was. A setting.ini made
// read-only is the owner's way of keeping a set-up: one line says so.
void shutDown(OptionIP& w) {
  const FileError error = save(w);
  if (error == FileError::kNone) return;
  const std::string path = settingsPath(w.env());
  if (error == FileError::kReadOnly) {
    w.env().warn(path + " is read-only; the set-up of this run is not saved");
    return;
  }
  w.env().warn("the set-up was not saved to " + path + ": " + describe(error) + "; the file was left as it was");
  w.settingsNotSaved = std::string("The set-up could not be saved.\n\nFile: ") + path + "\nReason: " +
                       describe(error) + "\n\nThe file was left as it was.";
}

}  // namespace rtupoll
