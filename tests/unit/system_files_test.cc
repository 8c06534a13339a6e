// What only the system's files show: the POSIX modes. Every other behaviour
// of the files is in the contract suite (files_contract_test.cc), which
// runs on these and on VirtualFiles alike.

#include "platform/system_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>

#include "support/temp_folder.h"

namespace rtupoll {
namespace {

using testing::TempFolder;

TEST(SystemFiles, NewFilesTakeThePermissionsOfTheOneTheyReplace) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no POSIX modes: the replacement (ReplaceFileW) keeps the replaced file's ACL "
                  "and attributes";
#else
  TempFolder folder;
  folder.write("setting.ini", "old");
  ASSERT_EQ(chmod(folder.file("setting.ini").c_str(), 0640), 0);
  SystemFiles files;
  ASSERT_EQ(files.createFile(folder.file("new"), "bytes", folder.file("setting.ini"), true), FileError::kNone);
  struct stat status {};
  ASSERT_EQ(stat(folder.file("new").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
#endif
}

}  // namespace
}  // namespace rtupoll
