#include "settings/ini_file.h"

#include <algorithm>

#include "base/codepage.h"
#include "env/atomic_file.h"
#include "env/env.h"

namespace rtupoll {

namespace {

constexpr std::string_view kBlanks = " \t\v\f";
constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kBlanksAndLineEnds = " \t\v\f\r\n";
constexpr std::string_view kQuotes = "\"'";

// One line as offsets into the text: [begin, body_end) is its content,
// [body_end, end) its line end ("\r\n", "\n", "\r", or nothing on a last
// line). A CR alone ends a line, as it does for the Windows reader.
struct Line {
  std::size_t begin;
  std::size_t body_end;
  std::size_t end;
};

// A section: its header line, and its lines up to the next header.
struct SectionSpan {
  Line header;
  std::size_t end;  // where the next header or the text begins
};

struct Entry {
  std::string_view key;
  std::string_view value;
};

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// The line that starts at `begin`, which lies inside the text.
Line lineAt(std::string_view text, std::size_t begin) {
  const auto end = text.find_first_of(kLineEnds, begin);
  if (end == std::string_view::npos) return {begin, text.size(), text.size()};
  const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
  return {begin, end, end + (crlf ? 2 : 1)};
}

// Where the line that holds `at` begins.
std::size_t lineStart(std::string_view text, std::size_t at) {
  const auto previous_end = text.find_last_of(kLineEnds, at);
  return previous_end == std::string_view::npos ? 0 : previous_end + 1;
}

std::string_view bodyOf(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.body_end - line.begin);
}

// The name of a section header "[name]", or nothing for any other line. A
// header that lacks its closing bracket runs to the end of the line.
std::optional<std::string_view> headerName(std::string_view body) {
  body = trimmed(body);
  if (body.empty() || body.front() != '[') return std::nullopt;
  return trimmed(body.substr(1, body.find(']') - 1));
}

std::optional<Entry> entryOf(std::string_view body) {
  const auto equals = body.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view value = body.substr(equals + 1);
  value = value.substr(0, value.find('\0'));
  return Entry{trimmed(body.substr(0, equals)), trimmed(value)};
}

// The first line starting in [from, to) that holds `mark` and that
// `wanted` accepts; `from` is the start of a line. Only lines with the mark
// are looked at, and the search for it runs at memchr speed, so a file of
// megabytes of blank lines or garbage is read in milliseconds.
template <typename Wanted>
std::optional<Line> firstLineWith(std::string_view text, char mark, std::size_t from, std::size_t to, Wanted wanted) {
  for (std::size_t at = text.find(mark, from); at < to; at = text.find(mark, at)) {
    const Line line = lineAt(text, lineStart(text, at));
    if (wanted(line)) return line;
    at = line.end;
  }
  return std::nullopt;
}

std::optional<Line> nextHeader(std::string_view text, std::size_t from) {
  return firstLineWith(text, '[', from, text.size(),
                       [&](const Line& line) { return headerName(bodyOf(text, line)).has_value(); });
}

std::optional<SectionSpan> findSection(std::string_view text, std::string_view section) {
  for (auto header = nextHeader(text, 0); header; header = nextHeader(text, header->end)) {
    if (!sameName(*headerName(bodyOf(text, *header)), section)) continue;
    const auto next = nextHeader(text, header->end);
    return SectionSpan{*header, next ? next->begin : text.size()};
  }
  return std::nullopt;
}

// The key's first entry in the section.
std::optional<Line> findKey(std::string_view text, const SectionSpan& span, std::string_view key) {
  return firstLineWith(text, '=', span.header.end, span.end, [&](const Line& line) {
    const auto entry = entryOf(bodyOf(text, line));
    return entry && sameName(entry->key, key);
  });
}

// The section's last line that holds more than blanks; the header if none does.
Line lastNonBlankLine(std::string_view text, const SectionSpan& span) {
  const std::string_view body = text.substr(span.header.end, span.end - span.header.end);
  const auto last_char = body.find_last_not_of(kBlanksAndLineEnds);
  if (last_char == std::string_view::npos) return span.header;
  return lineAt(text, span.header.end + lineStart(body, last_char));
}

// A value in one pair of matching quotes, double or single, without them.
std::string_view unquoted(std::string_view value) {
  if (value.size() >= 2 && kQuotes.find(value.front()) != std::string_view::npos && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The line end of the last line that ends before `at`, so that what the
// writer puts there keeps the style around it; CR LF where none does.
std::string_view lineEndBefore(std::string_view text, std::size_t at) {
  const auto last = at == 0 ? std::string_view::npos : text.find_last_of(kLineEnds, at - 1);
  if (last == std::string_view::npos) return "\r\n";
  if (text[last] == '\r') return "\r";
  return last > 0 && text[last - 1] == '\r' ? "\r\n" : "\n";
}

// The value as the writer may store it: up to a zero byte, without line breaks.
std::string storableValue(std::string_view value) {
  std::string out(value.substr(0, value.find('\0')));
  std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
  return out;
}

// The text with `lines` in place of [at, resume), closing an unterminated
// last line first. Every line ends as the last line before `resume` does:
// a line that is rewritten keeps its own line end, one that is added takes
// that of the line it follows.
std::string spliced(std::string_view text, std::size_t at, std::size_t resume,
                    std::initializer_list<std::string> lines) {
  const std::string_view line_end = lineEndBefore(text, resume);
  std::string out(text.substr(0, at));
  if (!out.empty() && kLineEnds.find(out.back()) == std::string_view::npos) out += line_end;
  for (const std::string& line : lines) {
    out += line;
    out += line_end;
  }
  out += text.substr(resume);
  return out;
}

}  // namespace

std::optional<std::string_view> iniValue(std::string_view text, std::string_view section, std::string_view key) {
  const auto span = findSection(text, section);
  if (!span) return std::nullopt;
  const auto line = findKey(text, *span, key);
  if (!line) return std::nullopt;
  return unquoted(entryOf(bodyOf(text, *line))->value);
}

std::string withIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
  const std::string stored = storableValue(value);
  const auto entry = [&](std::string_view name) { return std::string(name) + "=" + stored; };
  const auto span = findSection(text, section);
  if (!span) return spliced(text, text.size(), text.size(), {"[" + std::string(section) + "]", entry(key)});
  // The old entry goes with its line end; what comes before it is whole
  // lines. The key keeps the spelling the file gives it.
  if (const auto line = findKey(text, *span, key))
    return spliced(text, line->begin, line->end, {entry(entryOf(bodyOf(text, *line))->key)});
  const std::size_t after = lastNonBlankLine(text, *span).end;
  return spliced(text, after, after, {entry(key)});
}

namespace {

// A missing file reads as an empty one.
FileError readIniBytes(Env& env, const std::string& path, std::size_t limit, std::string& bytes) {
  const FileError error = env.files().readFile(path, limit, bytes);
  if (error == FileError::kMissing) bytes.clear();
  return error == FileError::kMissing ? FileError::kNone : error;
}

}  // namespace

std::optional<std::string> readIniFile(Env& env, const std::string& path, std::size_t limit) {
  std::string bytes;
  if (readIniBytes(env, path, limit, bytes) != FileError::kNone) return std::nullopt;
  return bytes;
}

std::string iniString(const std::optional<std::string>& file, std::string_view section, std::string_view key,
                      std::string_view default_value) {
  std::string bytes = utf8ToCp1252(default_value);
  if (file) {
    if (const auto stored = iniValue(*file, utf8ToCp1252(section), utf8ToCp1252(key))) bytes = *stored;
  }
  // Cut in the file's bytes, one to a character, before the conversion.
  if (bytes.size() > kIniValueLimit) bytes.resize(kIniValueLimit);
  return cp1252ToUtf8(bytes);
}

FileError writeIniStrings(Env& env, const std::string& path, std::size_t limit, std::string_view section,
                          const std::vector<IniEntry>& entries) {
  std::string text;
  if (const FileError read = readIniBytes(env, path, limit, text); read != FileError::kNone) return read;
  const std::string section_bytes = utf8ToCp1252(section);
  for (const IniEntry& entry : entries)
    text = withIniValue(text, section_bytes, utf8ToCp1252(entry.key), utf8ToCp1252(entry.value));
  return replaceFile(env.files(), path, text);
}

}  // namespace rtupoll
