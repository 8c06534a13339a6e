#pragma once

// The setting.ini a test puts in a program folder before the program
// starts: every device slot at 127.0.0.1 from the outset, so that no test
// can leave a slot on the default host, with the ports, saved slots and
// read definitions the test names; keys it does not name are left out and
// take their defaults.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace rtupoll::testing {

class SettingIni {
 public:
  // The slot's port, and whether it was connected at the last close.
  SettingIni& device(int slot, std::uint16_t port, bool saved = false);
  // Read definition r: first register and count as texts, device 0 to 2 (-1: none).
  SettingIni& read(int r, std::string first, std::string count, int device = 0);
  // The file's bytes: CR LF lines, keys in the order the program saves them.
  std::string text() const;

 private:
  struct Device {
    std::optional<std::uint16_t> port;
    bool saved = false;
  };
  struct Read {
    std::string first;
    std::string count;
    int device = 0;
  };
  std::array<Device, 3> devices_;
  std::array<std::optional<Read>, 5> reads_;
};

}  // namespace rtupoll::testing
