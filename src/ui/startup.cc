#include "ui/startup.h"

#include <string>

#include "base/number_text.h"
#include "settings/settings.h"
#include "ui/option_ip.h"

namespace rtupoll {

namespace {

constexpr const char* kSection = "set";
constexpr int kTableSize = 30;
constexpr int kFixedColumnWidth = 400;  // twips
constexpr int kValueColumnWidth = 800;
constexpr int kLastSizedColumn = 19;
constexpr int kRowHeight = 300;

std::string numbered(const char* key, int index) { return key + std::to_string(index); }

// The register captions of read definition r: "first + k>>" in rows 1 to
// its count. A count or first register that is not a number gives none,
// and rows beyond the table are not written.
void writeCaptions(OptionIP& w, int r) {
  const char sep = w.env().decimalSeparator();
  const auto count = wholeTextNumber(w.LegReg[static_cast<std::size_t>(r)].text(), sep);
  if (!count) return;
  for (int k = 0; k <= *count - 1 && k + 1 < w.tabel.rows(); ++k) {
    const auto first = wholeTextNumber(w.strReg[static_cast<std::size_t>(r)].text(), sep);
    if (!first) return;
    w.tabel.setText(k + 1, 2 * r + 1, numberText(*first + k, sep) + ">>");
  }
}

// A device choice that is not an integer naming an entry (or -1) falls back
// to the first entry, as for a missing key.
void applyDeviceChoice(OptionIP& w, int r, const std::string& text) {
  ComboBox& combo = w.LstIP[static_cast<std::size_t>(r)];
  const auto number = wholeTextNumber(text, w.env().decimalSeparator());
  const auto index = number ? toInt16(*number) : std::nullopt;
  if (!index || !combo.setListIndex(*index)) combo.setListIndex(0);
}

}  // namespace

void startUp(OptionIP& w) {
  const Env& env = w.env();
  w.currentRow = kLastReadDef;

  w.tabel.setRows(kTableSize);
  w.tabel.setCols(kTableSize);
  w.tabel.setColWidth(0, kFixedColumnWidth);
  w.tabel.setRowHeight(kRowHeight);

  for (int i = 0; i < kSlots; ++i)
    w.savedConnectState[static_cast<std::size_t>(i)] = readSetting(env, kSection, numbered("Scon", i), true);
  for (int i = 0; i < kSlots; ++i)
    w.txtPort[static_cast<std::size_t>(i)].setText(readSetting(env, kSection, numbered("port", i), "502"));
  for (int i = 0; i < kSlots; ++i)
    w.txtIP[static_cast<std::size_t>(i)].setText(readSetting(env, kSection, numbered("txtIP", i), "192.168.1.1"));
  for (int r = 0; r < kReadDefs; ++r)
    w.strReg[static_cast<std::size_t>(r)].setText(readSetting(env, kSection, numbered("strreg", r), "000"));
  for (int r = 0; r < kReadDefs; ++r)
    w.LegReg[static_cast<std::size_t>(r)].setText(readSetting(env, kSection, numbered("legreg", r), "000"));
  for (int r = 0; r < kReadDefs; ++r) applyDeviceChoice(w, r, readSetting(env, kSection, numbered("LstIP", r), "000"));

  for (int c = 1; c <= kLastSizedColumn; ++c) w.tabel.setColWidth(c, kValueColumnWidth);
  for (int r = 0; r < kReadDefs; ++r) writeCaptions(w, r);

  w.tloading.setEnabled(true);
  w.bar[0].setVisible(true);
}

void shutDown(OptionIP& w) { w.save(); }

}  // namespace rtupoll
