#pragma once

// A window on the virtual clock in its own program folder, with three fake
// devices on the virtual network at 127.0.0.1, and verbs for the tests.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "app/window_events.h"
#include "support/fake_device.h"
#include "support/virtual_env.h"
#include "support/virtual_folder.h"
#include "window/option_ip.h"

namespace rtupoll::testing {

using namespace std::chrono_literals;

struct ReadDef {
  std::string first;  // first register, counted from 1
  std::string count;
  int device;  // list index, -1 for none
};

class WindowFixture : public ::testing::Test {
 protected:
  static constexpr const char* kHost = "127.0.0.1";
  static std::uint16_t port(int slot) { return static_cast<std::uint16_t>(15020 + slot); }

  WindowFixture();

  // setting.ini with every slot at 127.0.0.1, the given slots saved (meant
  // to be connected) and these read definitions (the rest "000").
  void writeSettings(std::array<bool, kSlots> saved, const std::vector<ReadDef>& reads);
  void start() { events.load(); }
  // Start-up, then the whole reload sequence up to its end.
  void startAndRunReload();
  // Connects the slot at once, as the Connect button would.
  void connectNow(int slot);
  void advance(Nanos span) { env.advance(span); }

  std::string cell(int row, int col) const { return w.tabel.text(row, col); }
  const std::string& status(int slot) const { return w.lblStatus[static_cast<std::size_t>(slot)].caption(); }
  Color statusColor(int slot) const { return w.lblStatus[static_cast<std::size_t>(slot)].backColor(); }
  std::string dataCsv() const { return folder.read("data.csv"); }
  // Every frame the program has sent on the slot's socket.
  const std::vector<Bytes>& sent(int slot) const { return env.socket(static_cast<std::size_t>(slot)).writes(); }
  std::uint16_t lastTransactionId(int slot) const;

  VirtualEnv env;
  VirtualFolder folder{env};
  std::array<FakeDevice, kSlots> device{FakeDevice(0), FakeDevice(1000), FakeDevice(2000)};
  OptionIP w;
  WindowEvents events{w};
};

}  // namespace rtupoll::testing
