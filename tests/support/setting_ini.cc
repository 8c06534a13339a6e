#include "support/setting_ini.h"

namespace rtupoll::testing {

namespace {

void addLine(std::string& text, const char* stem, std::size_t index, const std::string& value) {
  text += stem + std::to_string(index) + "=" + value + "\r\n";
}

}  // namespace

SettingIni& SettingIni::device(int slot, std::uint16_t port, bool saved) {
  devices_.at(static_cast<std::size_t>(slot)) = {port, saved};
  return *this;
}

SettingIni& SettingIni::read(int r, std::string first, std::string count, int device) {
  reads_.at(static_cast<std::size_t>(r)) = Read{std::move(first), std::move(count), device};
  return *this;
}

std::string SettingIni::text() const {
  std::string text = "[set]\r\n";
  for (std::size_t i = 0; i < devices_.size(); ++i) addLine(text, "Scon", i, devices_[i].saved ? "False" : "True");
  for (std::size_t i = 0; i < devices_.size(); ++i)
    if (devices_[i].port) addLine(text, "port", i, std::to_string(*devices_[i].port));
  for (std::size_t i = 0; i < devices_.size(); ++i) addLine(text, "txtIP", i, "127.0.0.1");
  for (std::size_t r = 0; r < reads_.size(); ++r)
    if (reads_[r]) addLine(text, "strreg", r, reads_[r]->first);
  for (std::size_t r = 0; r < reads_.size(); ++r)
    if (reads_[r]) addLine(text, "legreg", r, reads_[r]->count);
  for (std::size_t r = 0; r < reads_.size(); ++r)
    if (reads_[r]) addLine(text, "LstIP", r, std::to_string(reads_[r]->device));
  return text;
}

}  // namespace rtupoll::testing
