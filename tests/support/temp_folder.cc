#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace rtupoll::testing {

TempFolder::TempFolder() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device random;
  // Names taken by other runs are skipped, up to this many.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / ("rtupoll-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder)) {
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
      path_ = programPath(folder);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder in " + programPath(base));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(nativePath(path_), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove_all(nativePath(path_), ignored);
}

void TempFolder::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(nativePath(file(name)), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string TempFolder::read(const std::string& name) const {
  std::ifstream in(nativePath(file(name)), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool TempFolder::exists(const std::string& name) const { return std::filesystem::exists(nativePath(file(name))); }

}  // namespace rtupoll::testing
