#include "env/atomic_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::VirtualFiles;
using testing::VirtualFolder;
using Op = VirtualFiles::Op;

class AtomicFile : public ::testing::Test {
 protected:
  bool replace(const std::string& bytes) { return replaceFile(env, path, bytes); }
  std::vector<std::string> names() const { return env.files().listFolder(folder.path()); }

  VirtualEnv env;
  VirtualFolder folder{env};
  const std::string path = folder.file("setting.ini");
};

TEST_F(AtomicFile, CreatesOrReplacesTheWholeFileAndLeavesNothingElse) {
  ASSERT_TRUE(replace("first\r\n"));
  EXPECT_EQ(folder.read("setting.ini"), "first\r\n");
  ASSERT_TRUE(replace("a\0b"s));  // shorter, and binary
  EXPECT_EQ(folder.read("setting.ini"), "a\0b"s);
  ASSERT_TRUE(replace(""));
  EXPECT_TRUE(folder.exists("setting.ini"));
  EXPECT_EQ(names(), std::vector<std::string>{"setting.ini"});
}

TEST_F(AtomicFile, SkipsTemporaryNamesThatAreTaken) {
  // A crashed run of the same process number left its files behind.
  env.files().fail(Op::kCreate, path + ".tmp-", FileError::kExists, 3);
  ASSERT_TRUE(replace("new"));
  EXPECT_EQ(folder.read("setting.ini"), "new");
}

// Every fault leaves the old file as it was and no temporary file.
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
  };
  for (const Fault& fault : faults) {
    folder.write("setting.ini", "old");
    env.files().fail(fault.op, path, fault.error);
    if (fault.op == Op::kOverwrite) env.files().fail(Op::kCreate, path, FileError::kDenied);
    EXPECT_FALSE(replace("new")) << fault.name;
    env.files().clearFaults();
    EXPECT_EQ(folder.read("setting.ini"), "old") << fault.name;
    EXPECT_EQ(names(), std::vector<std::string>{"setting.ini"}) << fault.name;
  }
}

TEST_F(AtomicFile, FailsWithoutTouchingAnythingWhenThePathCannotHoldAFile) {
  EXPECT_FALSE(replaceFile(env, folder.file("missing/setting.ini"), "x"));
  EXPECT_FALSE(folder.exists("missing"));
  folder.write("plain", "kept");  // the "folder" is a file
  EXPECT_FALSE(replaceFile(env, folder.file("plain/setting.ini"), "x"));
  EXPECT_EQ(folder.read("plain"), "kept");
  env.files().addFolder(path);  // the path names a folder: it stays one
  EXPECT_FALSE(replace("x"));
  EXPECT_TRUE(env.files().isFolder(path));
  EXPECT_EQ(names().size(), 2u);
}

TEST_F(AtomicFile, LeavesAReadOnlyFileOrAnythingButAFileAsItIs) {
  folder.write("setting.ini", "old");
  env.files().setReadOnly(path, true);
  EXPECT_FALSE(replace("new"));
  EXPECT_EQ(folder.read("setting.ini"), "old");
  env.files().erase(path);
  env.files().addSpecial(path);  // a FIFO or a device
  EXPECT_FALSE(replace("new"));
  EXPECT_EQ(names(), std::vector<std::string>{"setting.ini"});
}

// A folder the user may not write, holding files they may: the file is
// rewritten in place; a missing one cannot be made.
TEST_F(AtomicFile, WhereNoFileCanBeMadeAWritableFileIsRewrittenInPlace) {
  folder.write("setting.ini", "old");
  env.files().setReadOnly(folder.path(), true);
  EXPECT_TRUE(replace("new"));
  EXPECT_EQ(folder.read("setting.ini"), "new");
  EXPECT_FALSE(replaceFile(env, folder.file("data.csv"), "line"));
  EXPECT_EQ(names(), std::vector<std::string>{"setting.ini"});
}

// A link stays a link; the file it leads to is replaced in its own folder.
TEST_F(AtomicFile, ReplacesTheFileALinkLeadsToAndKeepsTheLink) {
  const VirtualFolder elsewhere(env, "/elsewhere");
  elsewhere.write("setting.ini", "old");
  env.files().addLink(path, "../elsewhere/setting.ini");
  ASSERT_TRUE(replace("new"));
  EXPECT_TRUE(env.files().isLink(path));
  EXPECT_EQ(elsewhere.read("setting.ini"), "new");
  EXPECT_EQ(env.files().listFolder(elsewhere.path()), std::vector<std::string>{"setting.ini"});
  // A link into a folder that does not exist, or a loop: nothing is written.
  env.files().addLink(path, "/nowhere/setting.ini");
  EXPECT_FALSE(replace("new"));
  EXPECT_FALSE(env.files().exists("/nowhere"));
  env.files().addLink(path, "setting.ini");
  EXPECT_FALSE(replace("new"));
  EXPECT_TRUE(env.files().isLink(path));
}

TEST_F(AtomicFile, RemovesOnlyTheTemporaryFilesItsOwnRunsLeftBehind) {
  for (const char* name : {"setting.ini.tmp-77-0", "data.csv.tmp-4242-12", "setting.ini", "data.csv",
                           "setting.ini.tmp-", "setting.ini.tmp-1-x", "other.tmp-1-1", "data.csv.tmp-1-1.bak"})
    folder.write(name, "");
  removeLeftoverTemporaries(env, folder.path(), {"setting.ini", "data.csv"});
  EXPECT_EQ(names(), (std::vector<std::string>{"data.csv", "data.csv.tmp-1-1.bak", "other.tmp-1-1", "setting.ini",
                                               "setting.ini.tmp-", "setting.ini.tmp-1-x"}));
}

}  // namespace
}  // namespace rtupoll
