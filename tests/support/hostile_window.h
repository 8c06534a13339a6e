#pragma once

// A window whose read definitions are all on slot 0, polled against a
// device that answers badly, on whatever runtime the window has: virtual
// time or the real event loop. Whatever the device does, no value reaches
// the table or data.csv that the device does not hold at that register,
// the status label tells what happened (bytes nobody asked for included),
// and the answers that follow are decoded.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/hostile_cases.h"
#include "window/option_ip.h"

namespace rtupoll::testing {

class HostileWindow {
 public:
  using ValueAt = std::uint16_t (*)(std::uint16_t);

  // For what must come; a slow machine only makes the wait longer.
  static constexpr Nanos kPatience = std::chrono::seconds(20);
  // For what must not come: the device has sent everything it meant to.
  static constexpr Nanos kQuiet = std::chrono::milliseconds(150);
  static constexpr int kCount = 3;  // registers per read definition
  // Starting addresses (on the wire) of read definitions 1 to 4 and of the
  // address read definition 0 takes after a lost link; plain reads.
  static constexpr std::array<std::uint16_t, kReadDefs> kPlainAddresses = {500, 100, 200, 300, 400};

  // The window must have its events bound; `data_csv` reads the file as
  // the program left it in the window's program folder.
  HostileWindow(OptionIP& w, std::function<std::string()> data_csv);
  ~HostileWindow();
  HostileWindow(const HostileWindow&) = delete;
  HostileWindow& operator=(const HostileWindow&) = delete;

  // Read definition 0 at the case's address, the others plain, on a device
  // at 127.0.0.1:port: the scripted device, whose requests are known, or
  // (with none) one that answers every read well.
  void run(const HostileCase& c, std::uint16_t port, const ScriptedRequests* scripted, ValueAt value_at);

  // The steps `run` is made of, for scenarios of their own.
  void setRead(int r, std::uint16_t address);
  void setPlainReads();
  void connectTo(std::uint16_t port, ValueAt value_at);
  bool waitFor(const std::function<bool()>& done, Nanos timeout = kPatience);
  bool cycleEnded() const;
  void expectValues(int r, std::uint16_t address) const;
  void expectCells(int r, const std::string& text) const;
  // data.csv after a write: one line, row 1 of the table, every value in it plausible.
  void expectDataCsvMatchesTheTable() const;
  // Every implausible cell ever seen, and the captions slot 0 showed.
  const std::vector<std::string>& wrongValuesShown() const { return wrong_; }
  std::vector<std::string> captionsShown() const;
  // The colour the caption had when it first was shown and then changed.
  std::optional<Color> colorShownWith(const std::string& caption) const;

 private:
  struct Shown {
    std::string caption;
    Color color;
  };

  void letEventsRun(Nanos span);
  std::string cell(int row, int r) const;
  bool plausible(int row, int col, const std::string& text) const;
  void observe();

  OptionIP& w_;
  std::function<std::string()> data_csv_;
  ValueAt value_at_ = &scriptedValueAt;
  std::array<std::vector<std::uint16_t>, kReadDefs> allowed_;
  std::vector<std::string> wrong_;
  std::vector<Shown> shown_;
};

}  // namespace rtupoll::testing
