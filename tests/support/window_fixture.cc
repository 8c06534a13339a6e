#include "support/window_fixture.h"

#include "devices/connect.h"

namespace rtupoll::testing {

WindowFixture::WindowFixture() : w(env) {
  for (int i = 0; i < kSlots; ++i) env.listen(kHost, port(i), &device[static_cast<std::size_t>(i)]);
}

void WindowFixture::writeSettings(std::array<bool, kSlots> saved, const std::vector<ReadDef>& reads) {
  std::string ini = "[set]\r\n";
  auto line = [&ini](const std::string& key, const std::string& value) { ini += key + "=" + value + "\r\n"; };
  for (int i = 0; i < kSlots; ++i) line("Scon" + std::to_string(i), saved[static_cast<std::size_t>(i)] ? "False" : "True");
  for (int i = 0; i < kSlots; ++i) line("port" + std::to_string(i), std::to_string(port(i)));
  for (int i = 0; i < kSlots; ++i) line("txtIP" + std::to_string(i), kHost);
  for (std::size_t r = 0; r < reads.size(); ++r) {
    line("strreg" + std::to_string(r), reads[r].first);
    line("legreg" + std::to_string(r), reads[r].count);
    line("LstIP" + std::to_string(r), std::to_string(reads[r].device));
  }
  folder.write("setting.ini", ini);
}

void WindowFixture::startAndRunReload() {
  start();
  ASSERT_TRUE(env.advanceUntil([this] { return !w.tloading.enabled(); }, 60s));
}

void WindowFixture::connectNow(int slot) {
  w.txtIP[static_cast<std::size_t>(slot)].setText(kHost);
  w.txtPort[static_cast<std::size_t>(slot)].setText(std::to_string(port(slot)));
  connectSlot(w, slot);
}

std::uint16_t WindowFixture::lastTransactionId(int slot) const {
  const Bytes& frame = sent(slot).back();
  return static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
}

}  // namespace rtupoll::testing
