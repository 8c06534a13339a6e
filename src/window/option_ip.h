#pragma once

// The one window, OptionIP, as a toolkit-neutral model: every control, the
// four timers, the three sockets and the window-level variables, and
// nothing else. It holds state only; the handlers of the subsystems work on
// it, the window's event table binds its events to them, and the Qt view
// mirrors it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "env/env.h"
#include "window/control_arrays.h"
#include "window/controls.h"
#include "window/data_file_state.h"
#include "window/poll_state.h"
#include "window/results_table.h"
#include "window/socket_slot.h"
#include "window/timer.h"

namespace rtupoll {

// The window itself: its caption and the mouse pointer (0 default, 11 wait).
class Form : public Control {
 public:
  static constexpr int kDefaultPointer = 0;
  static constexpr int kWaitPointer = 11;

  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& caption) { assign(caption_, caption); }
  int mousePointer() const { return mouse_pointer_; }
  void setMousePointer(int pointer) { assign(mouse_pointer_, pointer); }

 private:
  std::string caption_;
  int mouse_pointer_ = kDefaultPointer;
};

class OptionIP {
 public:
  explicit OptionIP(Env& env);
  OptionIP(const OptionIP&) = delete;
  OptionIP& operator=(const OptionIP&) = delete;

  Env& env() const { return env_; }
  ChangeFeed& feed() { return feed_; }
  SocketSlot& Winsock1(int slot) { return *sockets_.at(static_cast<std::size_t>(slot)); }

 private:
  Env& env_;
  ChangeFeed feed_;
  std::array<std::unique_ptr<SocketSlot>, kSlots> sockets_;

 public:
  Form form;

  // Device slots.
  std::array<Frame, kSlots> frmDevice;
  std::array<Label, kSlots> Label1;
  std::array<TextBox, kSlots> txtIP;
  std::array<Label, kSlots> Label2;
  std::array<TextBox, kSlots> txtPort;
  std::array<Label, kSlots> lblStatus;
  std::array<Button, kSlots> cmdConnect;
  std::array<Button, kSlots> cmdDisconnect;

  // Read definitions.
  std::array<ComboBox, kReadDefs> LstIP;
  std::array<TextBox, kReadDefs> strReg;
  std::array<TextBox, kReadDefs> LegReg;

  Label Label5;
  std::array<Label, 2> Label3;
  ResultsTable tabel;
  std::array<ProgressBar, 1> bar;
  Label Label4;
  Label lb_file;
  TextBox txt_print;
  Button cmdConnectDev;
  Button cmdRead;

  Timer tloading;
  Timer Timer2;
  Timer Timer3;
  Timer Timer4;

  // Beyond the window as designed: what the program could not write is told.
  // The notice of a data.csv that stays unwritten, in space the other
  // controls leave free; the timer that tries a write again which another
  // program's open handle refused; and, after a failed save at shut-down,
  // the message for the operator (empty when the set-up was saved).
  Label lblFileNotice;
  Timer tDataRetry;
  DataFileState dataFile;
  std::string settingsNotSaved;

  // Window-level variables.
  std::int16_t currentRow = 0;
  std::int16_t loadingTick = 0;
  std::int16_t failureTick = 0;
  std::array<std::string, kSlots> savedConnectState;
  // Per slot: the operator's DisConect closed the link, so the reload no
  // longer connects it again this run, saved or not, until a Connect.
  std::array<bool, kSlots> releasedByOperator{};
  // Per slot: its latest connect attempt reached the connected state and no
  // disconnect came since, so a link that is down now was lost, not refused.
  std::array<bool, kSlots> linkEstablished{};
  std::array<std::uint8_t, 12> requestFrame{};
  bool requestSent = false;
  std::uint8_t requestSlot = 0;
  PollState poll;

  // Nothing is under way: no reload, no poll step to come, no answer
  // awaited. Until the next tick of the poll clock, the window stays as it is.
  bool atRest() const { return !tloading.enabled() && !Timer4.enabled() && !poll.outstanding.active; }
};

}  // namespace rtupoll
