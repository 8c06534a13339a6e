#include "runtime/system_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::TempFolder;
namespace files = system_files;

constexpr std::size_t kNoLimit = std::string::npos;

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(SystemFiles, ReadsOnlyWholeRegularFilesWithinTheLimit) {
  TempFolder folder;
  folder.write("setting.ini", "a\0b"s);
  std::string bytes;
  ASSERT_EQ(files::readFile(folder.file("setting.ini"), 3, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "a\0b"s);
  EXPECT_EQ(files::readFile(folder.file("setting.ini"), 2, bytes), FileError::kTooLarge);
  EXPECT_EQ(files::readFile(folder.file("missing"), kNoLimit, bytes), FileError::kMissing);
  EXPECT_EQ(files::readFile(folder.path(), kNoLimit, bytes), FileError::kNotAFile);
  // A FIFO nobody writes to: refused at once instead of waiting for a writer.
  ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(files::readFile(folder.file("fifo"), kNoLimit, bytes), FileError::kNotAFile);
  EXPECT_EQ(files::readFile("/dev/zero", kNoLimit, bytes), FileError::kNotAFile);
}

TEST(SystemFiles, CreatesOnlyNewFilesWithThePermissionsOfTheOneTheyReplace) {
  TempFolder folder;
  folder.write("setting.ini", "old");
  ASSERT_EQ(chmod(folder.file("setting.ini").c_str(), 0640), 0);
  ASSERT_EQ(files::createFile(folder.file("new"), "bytes", folder.file("setting.ini"), true), FileError::kNone);
  EXPECT_EQ(folder.read("new"), "bytes");
  EXPECT_EQ(modeOf(folder.file("new")), 0640u);
  EXPECT_EQ(files::createFile(folder.file("new"), "other", "", false), FileError::kExists);
  EXPECT_EQ(folder.read("new"), "bytes");
  EXPECT_EQ(files::createFile(folder.file("missing/new"), "x", "", false), FileError::kMissing);

  ASSERT_EQ(files::renameFile(folder.file("new"), folder.file("setting.ini")), FileError::kNone);
  EXPECT_EQ(folder.read("setting.ini"), "bytes");
  EXPECT_FALSE(folder.exists("new"));
  EXPECT_EQ(files::removeFile(folder.file("setting.ini")), FileError::kNone);
  EXPECT_EQ(files::removeFile(folder.file("setting.ini")), FileError::kMissing);
}

TEST(SystemFiles, ListsAFoldersNames) {
  TempFolder folder;
  folder.write("a", "");
  folder.write("b", "");
  std::filesystem::create_directory(folder.file("c"));
  auto names = files::listFolder(folder.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(files::listFolder(folder.file("missing")).empty());
  EXPECT_EQ(files::fileStatus(folder.file("a")).regular, true);
  EXPECT_EQ(files::fileStatus(folder.file("c")).regular, false);
  EXPECT_EQ(files::fileStatus(folder.file("missing")).exists, false);
}

TEST(SystemFiles, FollowsLinksToTheFileAWriteWouldChange) {
  TempFolder folder;
  std::filesystem::create_directory(folder.file("elsewhere"));
  std::filesystem::create_symlink("elsewhere/setting.ini", folder.file("relative"));
  std::filesystem::create_symlink(folder.file("relative"), folder.file("chain"));
  EXPECT_EQ(files::resolveLinks(folder.file("chain")), folder.path() + "/elsewhere/setting.ini");
  EXPECT_EQ(files::resolveLinks(folder.file("plain")), folder.file("plain"));
  std::filesystem::create_symlink("nowhere/setting.ini", folder.file("dangling"));
  EXPECT_EQ(files::resolveLinks(folder.file("dangling")), std::nullopt);
  std::filesystem::create_symlink("loop", folder.file("loop"));
  EXPECT_EQ(files::resolveLinks(folder.file("loop")), std::nullopt);
  std::string bytes;
  EXPECT_NE(files::readFile(folder.file("loop"), kNoLimit, bytes), FileError::kNone);
}

TEST(SystemFiles, OverwritesOnlyAnExistingRegularFile) {
  TempFolder folder;
  folder.write("data.csv", "a longer old line\r\n");
  ASSERT_EQ(files::overwriteFile(folder.file("data.csv"), "new\r\n", false), FileError::kNone);
  EXPECT_EQ(folder.read("data.csv"), "new\r\n");
  EXPECT_EQ(files::overwriteFile(folder.file("missing"), "x", false), FileError::kMissing);
  EXPECT_FALSE(folder.exists("missing"));
  ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
  EXPECT_NE(files::overwriteFile(folder.file("fifo"), "x", false), FileError::kNone);
}

}  // namespace
}  // namespace rtupoll
