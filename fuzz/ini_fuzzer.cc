// Runs the INI reader and writer of setting.ini over arbitrary file bytes.
// The reader must take any file apart without harm and give back at most
// 254 characters; the writer must change nothing but the one line it stores
// (and the header it may add), with the line end of the last line before
// it and the file's spelling of the key, and what it stores must read back.
//
// Input: byte 0 picks the section and key names (kSections, kKeys), byte 1
// the length of the value, which follows; the rest is the file.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/codepage.h"
#include "fuzz_check.h"
#include "settings/ini_file.h"
#include "support/virtual_env.h"

namespace rtupoll::fuzz {
namespace {

// The file's one section, in other letter cases, and a section of another name.
constexpr std::array<std::string_view, 4> kSections = {"set", "SET", "Set", "other"};
constexpr std::array<std::string_view, 8> kKeys = {"Scon0", "port1", "txtIP2", "strreg3",
                                                   "LEGREG4", "lstip0", "k", "set"};
constexpr std::string_view kDefault = "default";

// ---- The rules of the format, kept small and apart from the product ----

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The lines of a text, each with its line end: CR LF, LF, or a CR alone.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    if (end < text.size()) end += text.substr(end).starts_with("\r\n") ? 2 : 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

std::string_view lineEndOf(std::string_view line) {
  if (line.ends_with("\r\n")) return "\r\n";
  if (line.ends_with('\n')) return "\n";
  if (line.ends_with('\r')) return "\r";
  return "";
}

std::string_view bodyOf(std::string_view line) { return line.substr(0, line.size() - lineEndOf(line).size()); }

// A header is any line that starts with '[', its closing bracket or not.
bool isHeader(std::string_view line) { return trimmed(bodyOf(line)).starts_with('['); }

bool isHeaderOf(std::string_view line, std::string_view section) {
  const std::string_view body = trimmed(bodyOf(line));
  if (!body.starts_with('[')) return false;
  const auto close = std::min(body.find(']'), body.size());
  return sameName(trimmed(body.substr(1, close - 1)), section);
}

// The key of an entry line as the file spells it; empty for other lines.
std::string_view keyOf(std::string_view line) {
  const std::string_view body = bodyOf(line);
  const auto equals = body.find('=');
  if (equals == std::string_view::npos || isHeader(line)) return {};
  return trimmed(body.substr(0, equals));
}

bool holdsKey(std::string_view line, std::string_view key) { return !keyOf(line).empty() && sameName(keyOf(line), key); }

// A value in one pair of matching quotes reads without them.
std::string_view unquoted(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

// The line end of the last of `lines` that has one; CR LF when none has.
std::string lastLineEnd(const std::vector<std::string_view>& lines) {
  for (auto line = lines.rbegin(); line != lines.rend(); ++line)
    if (!lineEndOf(*line).empty()) return std::string(lineEndOf(*line));
  return "\r\n";
}

// What the writer stores: up to a zero byte, without CR and LF.
std::string storable(std::string_view value) {
  std::string out;
  for (char c : value.substr(0, value.find('\0')))
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// ---- The checks ----

void checkRead(std::string_view text, std::string_view section, std::string_view key) {
  const auto value = iniValue(text, section, key);
  if (!value) return;
  require(value->empty() || (value->data() >= text.data() && value->data() + value->size() <= text.data() + text.size()),
          "a value is a part of the file");
  require(value->find_first_of("\r\n") == std::string_view::npos, "a value lies within one line");
  require(value->find('\0') == std::string_view::npos, "a value ends at a zero byte");
  // Blanks around it only inside the quotes it was read without.
  const bool was_quoted = !value->empty() && value->data() > text.data() &&
                          value->data() + value->size() < text.data() + text.size() &&
                          (value->data()[-1] == '"' || value->data()[-1] == '\'') &&
                          value->data()[value->size()] == value->data()[-1];
  require(was_quoted || trimmed(*value) == *value, "a value has no blanks around it");
}

void checkFileRead(std::string_view text, std::string_view section, std::string_view key) {
  static VirtualEnv env;
  const std::string path = env.file("setting.ini");
  env.files().write(path, std::string(text));
  const std::string read = utf8ToCp1252(iniString(readIniFile(env, path, text.size()), section, key, kDefault));
  const std::string_view stored = iniValue(text, section, key).value_or(kDefault);
  require(read.size() <= kIniValueLimit, "at most 254 characters are read back");
  require(read == stored.substr(0, kIniValueLimit), "the file's value, or the default, cut to 254 characters");
}

void checkWrite(std::string_view text, std::string_view key, std::string_view value) {
  const std::string out = withIniValue(text, "set", key, value);
  const std::string stored_value = storable(value);
  const std::string want(unquoted(trimmed(stored_value)));
  require(iniValue(out, "set", key) == std::string_view(want), "a stored value reads back");
  require(withIniValue(out, "set", key, value) == out, "storing the same value again changes nothing");

  // The output is the file with one line replaced or added, and maybe the
  // section's header added before it; everything else is the same bytes.
  const auto before = linesOf(text);
  const auto after = linesOf(out);
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  std::vector<std::string_view> removed(before.begin() + static_cast<std::ptrdiff_t>(prefix),
                                        before.end() - static_cast<std::ptrdiff_t>(suffix));
  std::vector<std::string_view> added(after.begin() + static_cast<std::ptrdiff_t>(prefix),
                                      after.end() - static_cast<std::ptrdiff_t>(suffix));
  if (removed.empty() && added.empty()) {
    // The entry was there already, byte for byte.
    bool found = false;
    for (std::string_view line : before)
      found = found || (holdsKey(line, key) && line == std::string(keyOf(line)) + "=" + stored_value + lastLineEnd({line}));
    require(found, "a file left as it was already held the entry");
    return;
  }
  // What is written ends as the last line before it, a replaced line included.
  const std::string line_end = lastLineEnd(std::vector<std::string_view>(
      before.begin(), before.begin() + static_cast<std::ptrdiff_t>(prefix + removed.size())));
  const auto entryFor = [&](std::string_view name) { return std::string(name) + "=" + stored_value + line_end; };
  // An unterminated last line is closed before anything is added behind it.
  if (removed.size() == 1 && added.size() >= 2 && prefix + 1 == before.size() && lineEndOf(before.back()).empty() &&
      added.front() == std::string(removed.front()) + line_end) {
    removed.clear();
    added.erase(added.begin());
  }
  // A replaced entry keeps the file's spelling of the key.
  const std::string entry = entryFor(removed.size() == 1 ? keyOf(removed.front()) : key);
  require(!added.empty() && added.back() == entry, "the entry is written as key=value and the file's line end");
  added.pop_back();
  if (!added.empty()) {
    require(added.size() == 1 && added.front() == "[set]" + line_end, "the only header added is the section's own");
    bool had_section = false;
    for (std::string_view line : before) had_section = had_section || isHeaderOf(line, "set");
    require(!had_section, "a header is added only when the section is missing");
    require(removed.empty() && suffix == 0, "a new section goes at the end of the file");
  }
  require(removed.size() <= 1, "at most one line is replaced");
  if (!removed.empty()) require(holdsKey(removed.front(), key), "the line replaced is the key's entry");
}

}  // namespace
}  // namespace rtupoll::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtupoll::fuzz;
  if (size < 2) return 0;
  const std::string_view section = kSections[data[0] & 0x03];
  const std::string_view key = kKeys[(data[0] >> 2) & 0x07];
  const std::size_t value_size = std::min<std::size_t>(data[1], size - 2);
  const std::string_view value(reinterpret_cast<const char*>(data) + 2, value_size);
  const std::string_view text(reinterpret_cast<const char*>(data) + 2 + value_size, size - 2 - value_size);

  checkRead(text, section, key);
  checkRead(text, "set", "port0");
  checkFileRead(text, section, key);
  checkWrite(text, key, value);
  return 0;
}
