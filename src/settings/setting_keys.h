#pragma once

// The keys of setting.ini: one section and six groups of numbered keys,
// in the order start-up reads them and save writes them. A key is its
// group's stem followed by the index ("Scon0", "strreg4").

#include <array>
#include <string>

namespace rtupoll {

inline constexpr const char* kSettingsSection = "set";

// What a group of keys holds, one key per device slot or read definition.
enum class SettingGroupId {
  kConnectState,   // "True" while cmdConnect(k) is enabled: no connection asked for
  kPort,           // txtPort(k)
  kHost,           // txtIP(k)
  kFirstRegister,  // strReg(k)
  kRegisterCount,  // LegReg(k)
  kDeviceChoice,   // LstIP(k), its list index
};

struct SettingGroup {
  SettingGroupId id;
  const char* stem;
  int count;                 // indexes 0 to count - 1
  const char* default_text;  // read back when the key is missing
};

inline constexpr std::array<SettingGroup, 6> kSettingGroups{{
    {SettingGroupId::kConnectState, "Scon", 3, "True"},
    {SettingGroupId::kPort, "port", 3, "502"},
    {SettingGroupId::kHost, "txtIP", 3, "192.168.1.1"},
    {SettingGroupId::kFirstRegister, "strreg", 5, "000"},
    {SettingGroupId::kRegisterCount, "legreg", 5, "000"},
    {SettingGroupId::kDeviceChoice, "LstIP", 5, "000"},
}};

inline std::string settingKey(const SettingGroup& group, int index) { return group.stem + std::to_string(index); }

}  // namespace rtupoll
