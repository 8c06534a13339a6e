#pragma once

// The settings file setting.ini next to the program: one section "set"
// with 24 keys, read key by key at start-up and written all at once by save.

#include <string>

namespace rtupoll {
class Env;
class OptionIP;

// The program's folder followed by "/setting.ini", built anew on every call.
std::string settingsPath(const Env& env);

// The value stored under the key, or the default when the file, the section
// or the key is missing; at most 254 characters.
std::string readSetting(Env& env, const std::string& section, const std::string& key,
                        const std::string& default_value);

// Writes the 24 keys from the window's controls, in table order.
void save(OptionIP& w);
}  // namespace rtupoll
