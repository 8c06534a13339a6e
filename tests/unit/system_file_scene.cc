#include "system_file_scene.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace rtupoll::testing {

std::optional<std::string> SystemFileScene::read(const std::string& name) const {
  const std::filesystem::path path = nativePath(file(name));
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SystemFileScene::makeFolder(const std::string& name) {
  std::filesystem::create_directories(nativePath(file(name)));
}

std::vector<std::string> SystemFileScene::names(const std::string& folder) const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(nativePath(folder.empty() ? this->folder() : file(folder))))
    names.push_back(programPath(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

bool SystemFileScene::isLink(const std::string& name) const {
  std::error_code error;
  return std::filesystem::is_symlink(nativePath(file(name)), error);
}

}  // namespace rtupoll::testing
