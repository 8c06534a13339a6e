#pragma once

// The contract suite's scene on the files in memory.

#include <algorithm>
#include <string>

#include "file_scene.h"
#include "support/virtual_files.h"

namespace rtupoll::testing {

class VirtualFileScene : public FileScene {
 public:
  static constexpr const char* kName = "VirtualFiles";

  VirtualFileScene() { files_.addFolder(folder_); }

  Files& files() override { return files_; }
  const std::string& folder() const override { return folder_; }
  std::optional<std::string> lacks(Feature /*feature*/) const override { return std::nullopt; }

  void write(const std::string& name, const std::string& bytes) override { files_.write(file(name), bytes); }
  std::optional<std::string> read(const std::string& name) const override { return files_.read(file(name)); }
  void makeFolder(const std::string& name) override { files_.addFolder(file(name)); }
  std::vector<std::string> names(const std::string& folder = "") const override {
    auto names = files_.listFolder(folder.empty() ? folder_ : file(folder));
    std::sort(names.begin(), names.end());
    return names;
  }
  void makeLink(const std::string& name, const std::string& target) override { files_.addLink(file(name), target); }
  bool isLink(const std::string& name) const override { return files_.isLink(file(name)); }
  std::string pipeWithoutWriter() override {
    const std::string path = file("fifo-" + std::to_string(pipes_++));
    files_.addSpecial(path);
    return path;
  }
  std::string device() override {
    files_.addFolder("/dev");
    files_.addSpecial("/dev/zero");
    return "/dev/zero";
  }
  void setReadOnly(const std::string& name, bool read_only) override {
    files_.setReadOnly(name.empty() ? folder_ : file(name), read_only);
  }
  bool samePlace(const std::string& resolved, const std::string& path) const override { return resolved == path; }

 private:
  VirtualFiles files_;
  const std::string folder_ = "/scene";
  int pipes_ = 0;
};

}  // namespace rtupoll::testing
