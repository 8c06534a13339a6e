#pragma once

// The real Qt Env with a program folder of the test's own choosing, so the
// core runs on real timers and sockets but keeps setting.ini and data.csv
// in a temporary folder instead of next to the test executable.

#include <string>
#include <utility>

#include "platform/qt_env.h"

namespace rtupoll::testing {

class FolderEnv : public QtEnv {
 public:
  explicit FolderEnv(std::string folder) : folder_(std::move(folder)) {}
  std::string programFolder() const override { return folder_; }

 private:
  std::string folder_;
};

}  // namespace rtupoll::testing
