#pragma once

// The contract suite's scene on the system's files, in a temporary folder
// of its own: system_file_scene.cc with the verbs every system has,
// system_file_scene_posix.cc or _windows.cc with the rest.

#include <memory>
#include <string>
#include <vector>

#include "file_scene.h"
#include "platform/system_files.h"
#include "support/temp_folder.h"

namespace rtupoll::testing {

class SystemFileScene : public FileScene {
 public:
  static constexpr const char* kName = "SystemFiles";

  SystemFileScene();
  ~SystemFileScene() override;

  Files& files() override { return files_; }
  const std::string& folder() const override { return temp_.path(); }
  std::optional<std::string> lacks(Feature feature) const override;

  void write(const std::string& name, const std::string& bytes) override { temp_.write(name, bytes); }
  std::optional<std::string> read(const std::string& name) const override;
  void makeFolder(const std::string& name) override;
  std::vector<std::string> names(const std::string& folder = "") const override;
  void makeLink(const std::string& name, const std::string& target) override;
  bool isLink(const std::string& name) const override;
  std::string pipeWithoutWriter() override;
  std::string device() override;
  void setReadOnly(const std::string& name, bool read_only) override;
  bool samePlace(const std::string& resolved, const std::string& path) const override;

 private:
  // What the system of the build keeps apart from the folder: the superuser's
  // powers laid down, the pipes' server ends.
  struct Extras;

  SystemFiles files_;
  TempFolder temp_;
  std::unique_ptr<Extras> extras_;
};

}  // namespace rtupoll::testing
