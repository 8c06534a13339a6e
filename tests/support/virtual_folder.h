#pragma once

// A folder of the virtual runtime's files, with the verbs tests use on a
// program folder: write a file, read it back, see whether it is there.

#include <string>

#include "support/virtual_env.h"

namespace rtupoll::testing {

class VirtualFolder {
 public:
  // The program folder of the runtime, or another folder in its files.
  explicit VirtualFolder(VirtualEnv& env) : VirtualFolder(env, env.programFolder()) {}
  VirtualFolder(VirtualEnv& env, std::string path) : files_(env.files()), path_(std::move(path)) {
    files_.addFolder(path_);
  }

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const { files_.write(file(name), bytes); }
  // Empty when the file does not exist.
  std::string read(const std::string& name) const { return files_.read(file(name)).value_or(""); }
  bool exists(const std::string& name) const { return files_.exists(file(name)); }

 private:
  VirtualFiles& files_;
  std::string path_;
};

}  // namespace rtupoll::testing
