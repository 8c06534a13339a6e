#include "support/window_fixture.h"

#include "devices/connect.h"
#include "support/setting_ini.h"

namespace rtupoll::testing {

WindowFixture::WindowFixture() : w(env) {
  for (int i = 0; i < kSlots; ++i) env.listen(kHost, port(i), &device[static_cast<std::size_t>(i)]);
}

void WindowFixture::writeSettings(std::array<bool, kSlots> saved, const std::vector<ReadDef>& reads) {
  SettingIni ini;
  for (int i = 0; i < kSlots; ++i) ini.device(i, port(i), saved[static_cast<std::size_t>(i)]);
  for (std::size_t r = 0; r < reads.size(); ++r) ini.read(static_cast<int>(r), reads[r].first, reads[r].count, reads[r].device);
  folder.write("setting.ini", ini.text());
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
