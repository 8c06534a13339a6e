#pragma once

// The INI reader and writer of setting.ini. They keep the rules of the
// Windows profile functions (GetPrivateProfileStringA and
// WritePrivateProfileStringA) that the operators' files were written under:
//
// - A line ends at LF, at CR LF, or at a CR alone, as the Windows reader
//   takes a file of old Macintosh line ends or of mixed ones.
// - A line that starts with '[' (after blanks) is a section header: the
//   name runs to the first ']', or to the end of the line when the bracket
//   is missing ("[set" is the section "set"). "key=value" is an entry; any
//   other line (comments, blank lines, garbage) holds nothing. Section and
//   key names match without regard to ASCII letter case; blanks around
//   names and values are not part of them. Only the first section of a
//   name counts, and in it the first entry of a key.
// - A value ends at a zero byte, as it did in the C buffer.
// - A value that, without its blanks, starts and ends with the same quote,
//   double or single, is read without that pair: "127.0.0.1" and
//   '127.0.0.1' read as 127.0.0.1, " a b " as  a b  with its blanks, ""
//   as the empty value. A quote at one end only, or two different ones,
//   stays. The writer adds no quotes: a value is stored as given.
// - A present key is rewritten in place, keeping the spelling the file
//   gives it (SCON0 stays SCON0, while its blanks around '=' go); a missing
//   key is added after the last non-blank line of its section; a missing
//   section is added at the end of the file. Every other byte of the file
//   stays as it was. The file keeps its line ends, LF, CR LF or CR: a
//   rewritten line keeps its own, an added line (and an unterminated last
//   line it follows) ends as the last line before it; CR LF in a new file.
//
// The file holds 8-bit Windows-1252 text; the functions on paths take and
// give UTF-8, the functions on text work on the file's own bytes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env/files.h"

namespace rtupoll {

// The reader had a buffer of 255 bytes, one of them for the closing zero.
inline constexpr std::size_t kIniValueLimit = 254;

class Env;

// The file's bytes: an empty text for a file that does not exist, nothing
// for one that cannot be read, is no regular file or holds more than
// `limit` bytes.
std::optional<std::string> readIniFile(Env& env, const std::string& path, std::size_t limit);

// The value of the key in the file's bytes as readIniFile gave them, or the
// default when the file, the section or the key is missing or the file
// cannot be read. A present empty value stays empty. At most
// kIniValueLimit characters.
std::string iniString(const std::optional<std::string>& file, std::string_view section, std::string_view key,
                      std::string_view default_value);

struct IniEntry {
  std::string key;
  std::string value;
};
// Stores the values under their keys, in their order, creating the file,
// the section or a key as needed, in one replacement of the file: a failure
// or a crash leaves the old file, never a mix. CR and LF are dropped from a
// value (a value cannot add lines), and it ends at a zero byte. The error
// that kept the file from being read (as readIniFile) or written, if any; a
// file that cannot be read is never written. Names are plain words: no line
// break, '=', '[' or ']'.
FileError writeIniStrings(Env& env, const std::string& path, std::size_t limit, std::string_view section,
                          const std::vector<IniEntry>& entries);

// The same on the file's bytes: the stored value (without a length limit),
// or nothing when the section or the key is missing.
std::optional<std::string_view> iniValue(std::string_view text, std::string_view section, std::string_view key);
// The file's bytes with the value stored under the key.
std::string withIniValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

}  // namespace rtupoll
