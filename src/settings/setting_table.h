#pragma once

// The 24 keys of setting.ini: one section and six groups of numbered keys,
// in the order start-up reads them and save writes them. A key is its
// group's stem followed by the index ("Scon0", "strreg4"). Each group says
// where its text comes from and goes to, so start-up and save cannot
// disagree about a key.

#include <array>
#include <cstddef>
#include <string>

namespace rtupoll {
class OptionIP;

inline constexpr const char* kSettingsSection = "set";

struct SettingGroup {
  const char* stem;
  int count;                 // indexes 0 to count - 1
  const char* default_text;  // read back when the key is missing
  // Start-up: puts the text read for key k where it belongs.
  void (*apply)(OptionIP& w, std::size_t k, const std::string& text);
  // save: the text written for key k.
  std::string (*text)(const OptionIP& w, std::size_t k);
};

extern const std::array<SettingGroup, 6> kSettingGroups;

inline std::string settingKey(const SettingGroup& group, int index) { return group.stem + std::to_string(index); }

}  // namespace rtupoll
