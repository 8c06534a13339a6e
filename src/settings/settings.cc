#include "settings/settings.h"

#include <vector>

#include "settings/ini_file.h"
#include "settings/setting_table.h"
#include "window/option_ip.h"

namespace rtupoll {

std::string settingsPath(const Env& env) { return env.programFolder() + "/" + kSettingsFileName; }

std::optional<std::string> readSettingsFile(Env& env) {
  return readIniFile(env, settingsPath(env), kLargestSettingsFile);
}

std::string readSetting(const std::optional<std::string>& file, const std::string& section, const std::string& key,
                        const std::string& default_value) {
  return iniString(file, section, key, default_value);
}

void loadSettings(OptionIP& w) {
  // The file is read once, not once for each key.
  const std::optional<std::string> file = readSettingsFile(w.env());
  for (const SettingGroup& group : kSettingGroups)
    for (int k = 0; k < group.count; ++k)
      group.apply(w, static_cast<std::size_t>(k),
                  readSetting(file, kSettingsSection, settingKey(group, k), group.default_text));
}

// The 24 keys go into the file in one replacement, as if written one by one:
// a crash or a kill in the middle leaves the old set-up or the new, never a
// mix, and the disk is flushed once rather than 24 times.
FileError save(OptionIP& w) {
  std::vector<IniEntry> entries;
  for (const SettingGroup& group : kSettingGroups)
    for (int k = 0; k < group.count; ++k)
      entries.push_back({settingKey(group, k), group.text(w, static_cast<std::size_t>(k))});
  return writeIniStrings(w.env(), settingsPath(w.env()), kLargestSettingsFile, kSettingsSection, entries);
}

}  // namespace rtupoll
