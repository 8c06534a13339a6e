#pragma once

// A C library locale that writes numbers with a decimal comma: Indonesian,
// the language of the program's own texts ("1,5"). The C library's number
// reading and writing follows the process locale, which the toolkit takes
// from the environment, so the tests run the conversions and the program
// under it. Where the system lacks the locale, it is compiled with
// localedef (Debian package locales) into a temporary folder that LOCPATH
// names, for this process and the programs it starts, while the object
// lives. On Windows the C runtime has the locale under its own name, or it
// is missing. Header only, so that the core and the Qt tests share it.

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace rtupoll::testing {

class CommaLocale {
 public:
#ifdef _WIN32
  static constexpr const char* kName = "Indonesian_Indonesia.1252";
#else
  static constexpr const char* kName = "id_ID.UTF-8";
#endif

  CommaLocale() {
    if (available()) return;
#ifdef _WIN32
    missing_ = "the C library has no locale " + std::string(kName);
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "rtupoll-locale-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      missing_ = "no temporary folder for the locale " + std::string(kName);
      return;
    }
    folder_ = pattern;
    if (const char* path = std::getenv("LOCPATH")) old_path_ = path;
    // Its exit status is no guide: warnings make it 1 with the locale made.
    const std::string command = "localedef -i id_ID -f UTF-8 '" + folder_ + "/" + kName + "' >/dev/null 2>&1";
    static_cast<void>(std::system(command.c_str()));
    setenv("LOCPATH", folder_.c_str(), 1);
    if (!available())
      missing_ = "the locale " + std::string(kName) +
                 " is not installed and localedef cannot make it (Debian package locales)";
#endif
  }
  ~CommaLocale() {
#ifndef _WIN32
    if (folder_.empty()) return;
    if (old_path_) setenv("LOCPATH", old_path_->c_str(), 1);
    else unsetenv("LOCPATH");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
#endif
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // Why the locale cannot be had; empty when it can.
  const std::string& missing() const { return missing_; }

 private:
  // Whether the locale loads and has the decimal comma; leaves the process
  // locale as it was.
  static bool available() {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const bool comma = std::setlocale(LC_NUMERIC, kName) != nullptr && *std::localeconv()->decimal_point == ',';
    std::setlocale(LC_NUMERIC, before.c_str());
    return comma;
  }

  std::string folder_;
  std::optional<std::string> old_path_;
  std::string missing_;
};

}  // namespace rtupoll::testing
