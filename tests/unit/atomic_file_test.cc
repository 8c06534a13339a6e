// The atomic replacement under the faults only VirtualFiles can inject.
// What it does on files that behave is in the contract suite
// (files_contract_test.cc), on the system's files and VirtualFiles alike.

#include "env/atomic_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_folder.h"

namespace rtupoll {
namespace {

using testing::VirtualFiles;
using testing::VirtualFolder;
using Op = VirtualFiles::Op;

class AtomicFile : public ::testing::Test {
 protected:
  FileError replace(const std::string& bytes) { return replaceFile(env.files(), path, bytes); }
  std::vector<std::string> names() const { return env.files().listFolder(folder.path()); }

  VirtualEnv env;
  VirtualFolder folder{env};
  const std::string path = folder.file("setting.ini");
};

TEST_F(AtomicFile, SkipsTemporaryNamesThatAreTaken) {
  // A crashed run of the same process number left its files behind.
  env.files().fail(Op::kCreate, path + ".tmp-", FileError::kExists, 3);
  ASSERT_EQ(replace("new"), FileError::kNone);
  EXPECT_EQ(folder.read("setting.ini"), "new");
}

// Every fault leaves the old file as it was and no temporary file, and is
// the reason given.
TEST_F(AtomicFile, AFailureAtAnyStepLeavesTheOldFile) {
  struct Fault {
    const char* name;
    Op op;
    FileError error;
  };
  const Fault faults[] = {
      {"disk full: a short write", Op::kCreate, FileError::kNoSpace},
      {"no file can be made, and the rewrite in place fails", Op::kOverwrite, FileError::kNoSpace},
      {"the rename fails", Op::kRename, FileError::kFailed},
      {"the rename is refused", Op::kRename, FileError::kDenied},
      {"a reader holds the file open", Op::kRename, FileError::kBusy},
  };
  for (const Fault& fault : faults) {
    folder.write("setting.ini", "old");
    env.files().fail(fault.op, path, fault.error);
    if (fault.op == Op::kOverwrite) env.files().fail(Op::kCreate, path, FileError::kDenied);
    EXPECT_EQ(replace("new"), fault.error) << fault.name;
    env.files().clearFaults();
    EXPECT_EQ(folder.read("setting.ini"), "old") << fault.name;
    EXPECT_EQ(names(), std::vector<std::string>{"setting.ini"}) << fault.name;
  }
}

}  // namespace
}  // namespace rtupoll
