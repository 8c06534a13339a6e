#pragma once

#include <filesystem>
#include <string>

namespace rtupoll::testing {

// A path of the program's kind (UTF-8, '/' between names) as the standard
// library takes it; std::filesystem would read a plain string in the ANSI
// code page on Windows.
inline std::filesystem::path nativePath(const std::string& path) { return std::u8string(path.begin(), path.end()); }
// And back: UTF-8, with '/' between names.
inline std::string programPath(const std::filesystem::path& path) {
  const std::u8string text = path.generic_u8string();
  return {text.begin(), text.end()};
}

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes. Its paths are UTF-8 with '/' between names,
// on Windows too, as the paths the program's files are given.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const;
  // Empty when the file does not exist.
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace rtupoll::testing
