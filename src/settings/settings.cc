#include "settings/settings.h"

#include <algorithm>
#include <vector>

#include "settings/ini_file.h"
#include "settings/setting_keys.h"
#include "ui/option_ip.h"

namespace rtupoll {

namespace {

// The first three groups have a key per device slot, the others one per read definition.
static_assert(std::ranges::all_of(kSettingGroups, [](const SettingGroup& group) {
  return group.count == (group.id <= SettingGroupId::kHost ? kSlots : kReadDefs);
}));

std::string boolText(bool value) { return value ? "True" : "False"; }

// The text that save stores for key k of the group.
std::string savedText(const OptionIP& w, SettingGroupId group, int k) {
  const auto i = static_cast<std::size_t>(k);
  switch (group) {
    case SettingGroupId::kConnectState:
      return boolText(w.cmdConnect[i].enabled());
    case SettingGroupId::kPort:
      return w.txtPort[i].text();
    case SettingGroupId::kHost:
      return w.txtIP[i].text();
    case SettingGroupId::kFirstRegister:
      return w.strReg[i].text();
    case SettingGroupId::kRegisterCount:
      return w.LegReg[i].text();
    case SettingGroupId::kDeviceChoice:
      return std::to_string(w.LstIP[i].listIndex());
  }
  return {};
}

}  // namespace

std::string settingsPath(const Env& env) { return env.programFolder() + "/setting.ini"; }

std::string readSetting(const Env& env, const std::string& section, const std::string& key,
                        const std::string& default_value) {
  return readIniString(settingsPath(env), section, key, default_value);
}

std::string readSetting(const Env& env, const std::string& section, const std::string& key, bool default_value) {
  return readSetting(env, section, key, boolText(default_value));
}

int writeSetting(const Env& env, const std::string& section, const std::string& key, const std::string& value) {
  return writeIniString(settingsPath(env), section, key, value) ? 1 : 0;
}

// The 24 keys go into the file in one replacement, as if written one by one:
// a crash or a kill in the middle leaves the old set-up or the new, never a
// mix, and the disk is flushed once rather than 24 times.
void save(OptionIP& w) {
  std::vector<IniEntry> entries;
  for (const SettingGroup& group : kSettingGroups)
    for (int k = 0; k < group.count; ++k) entries.push_back({settingKey(group, k), savedText(w, group.id, k)});
  writeIniStrings(settingsPath(w.env()), kSettingsSection, entries);
}

}  // namespace rtupoll
