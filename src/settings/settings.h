#pragma once

// The settings file setting.ini next to the program: one section "set"
// with 24 keys, read once at start-up and written all at once by save.

#include <cstddef>
#include <optional>
#include <string>

#include "env/files.h"

namespace rtupoll {
class Env;
class OptionIP;

inline constexpr const char* kSettingsFileName = "setting.ini";
// A real setting.ini is well under a kilobyte. A larger file is no set-up
// of ours (a log, a disk image, /dev/zero behind a link): it is read as
// unreadable, so the defaults apply and it is never overwritten.
inline constexpr std::size_t kLargestSettingsFile = std::size_t{1} << 20;

// The program's folder followed by "/setting.ini", built anew on every call.
std::string settingsPath(const Env& env);

// setting.ini's bytes as start-up reads them, once; nothing when the file
// cannot be read.
std::optional<std::string> readSettingsFile(Env& env);

// The value stored under the key in the file as read, or the default when
// the file, the section or the key is missing; at most 254 characters.
std::string readSetting(const std::optional<std::string>& file, const std::string& section, const std::string& key,
                        const std::string& default_value);

// Start-up's reading: the 24 keys into the window's controls and
// savedConnectState, in table order, each applied before the next is taken.
void loadSettings(OptionIP& w);

// Writes the 24 keys from the window's controls, in table order; the
// error that kept them from the file, if any.
FileError save(OptionIP& w);
}  // namespace rtupoll
