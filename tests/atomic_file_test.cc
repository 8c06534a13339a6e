#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

int entriesIn(const std::string& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(AtomicFile, CreatesOrReplacesTheWholeFileAndLeavesNothingElse) {
  TempFolder folder;
  const std::string path = folder.file("data.csv");
  ASSERT_TRUE(writeFileAtomically(path, "first\r\n"));
  EXPECT_EQ(folder.read("data.csv"), "first\r\n");

  ASSERT_TRUE(writeFileAtomically(path, "a\0b"s));  // shorter, and binary
  EXPECT_EQ(folder.read("data.csv"), "a\0b"s);
  ASSERT_TRUE(writeFileAtomically(path, ""));
  EXPECT_TRUE(folder.exists("data.csv"));
  EXPECT_EQ(folder.read("data.csv"), "");
  EXPECT_EQ(entriesIn(folder.path()), 1);
}

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces) {
  TempFolder folder;
  const std::string path = folder.file("setting.ini");
  folder.write("setting.ini", "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(writeFileAtomically(path, "new"));
  EXPECT_EQ(modeOf(path), 0640u);
}

TEST(AtomicFile, FailsWithoutTouchingAnythingWhenThePathCannotHoldAFile) {
  TempFolder folder;
  // The folder does not exist.
  EXPECT_FALSE(writeFileAtomically(folder.file("missing/setting.ini"), "x"));
  EXPECT_FALSE(folder.exists("missing"));
  // The "folder" is a file.
  folder.write("plain", "kept");
  EXPECT_FALSE(writeFileAtomically(folder.file("plain/setting.ini"), "x"));
  EXPECT_EQ(folder.read("plain"), "kept");
  // The path names a folder: it stays a folder, and no temporary file stays.
  std::filesystem::create_directory(folder.file("setting.ini"));
  EXPECT_FALSE(writeFileAtomically(folder.file("setting.ini"), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("setting.ini")));
  EXPECT_EQ(entriesIn(folder.path()), 2);
}

TEST(AtomicFile, RespectsAReadOnlyFileOrFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  TempFolder folder;
  folder.write("setting.ini", "old");
  ASSERT_EQ(chmod(folder.file("setting.ini").c_str(), 0444), 0);
  EXPECT_FALSE(writeFileAtomically(folder.file("setting.ini"), "new"));
  EXPECT_EQ(folder.read("setting.ini"), "old");

  ASSERT_EQ(chmod(folder.file("setting.ini").c_str(), 0644), 0);
  ASSERT_EQ(chmod(folder.path().c_str(), 0555), 0);
  EXPECT_FALSE(writeFileAtomically(folder.file("setting.ini"), "new"));
  EXPECT_EQ(folder.read("setting.ini"), "old");
  EXPECT_EQ(entriesIn(folder.path()), 1);
}

}  // namespace
}  // namespace rtupoll
