#include "platform/system_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::nativePath;
using testing::TempFolder;
namespace files = system_files;

constexpr std::size_t kNoLimit = std::string::npos;

#ifdef _WIN32
// A character device: no file, whatever it reads as.
constexpr const char* kDevice = "NUL";

// A pipe with no writer, at a path: reading it would wait for ever. Windows
// has no FIFOs in its folders; its named pipes are the same kind of thing.
class PipeWithoutWriter {
 public:
  explicit PipeWithoutWriter(const TempFolder&) {
    static int serial = 0;
    path_ = "\\\\.\\pipe\\rtupoll-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(serial++);
    server_ = ::CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                 PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    EXPECT_NE(server_, INVALID_HANDLE_VALUE);
  }
  ~PipeWithoutWriter() { ::CloseHandle(server_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  HANDLE server_;
};
#else
constexpr const char* kDevice = "/dev/zero";

// A FIFO nobody writes to: reading it would wait for a writer.
class PipeWithoutWriter {
 public:
  explicit PipeWithoutWriter(const TempFolder& folder) : path_(folder.file("fifo")) {
    EXPECT_EQ(mkfifo(path_.c_str(), 0600), 0);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}
#endif

TEST(SystemFiles, ReadsOnlyWholeRegularFilesWithinTheLimit) {
  TempFolder folder;
  folder.write("setting.ini", "a\0b"s);
  std::string bytes;
  ASSERT_EQ(files::readFile(folder.file("setting.ini"), 3, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "a\0b"s);
  EXPECT_EQ(files::readFile(folder.file("setting.ini"), 2, bytes), FileError::kTooLarge);
  EXPECT_EQ(files::readFile(folder.file("missing"), kNoLimit, bytes), FileError::kMissing);
  EXPECT_EQ(files::readFile(folder.path(), kNoLimit, bytes), FileError::kNotAFile);
  // Refused at once instead of waiting for a writer.
  const PipeWithoutWriter pipe(folder);
  EXPECT_EQ(files::readFile(pipe.path(), kNoLimit, bytes), FileError::kNotAFile);
  EXPECT_EQ(files::readFile(kDevice, kNoLimit, bytes), FileError::kNotAFile);
}

TEST(SystemFiles, CreatesOnlyNewFilesAndRenamesOverTheOldOne) {
  TempFolder folder;
  folder.write("setting.ini", "old");
  ASSERT_EQ(files::createFile(folder.file("new"), "bytes", folder.file("setting.ini"), true), FileError::kNone);
  EXPECT_EQ(folder.read("new"), "bytes");
  EXPECT_EQ(files::createFile(folder.file("new"), "other", "", false), FileError::kExists);
  EXPECT_EQ(folder.read("new"), "bytes");
  EXPECT_EQ(files::createFile(folder.file("missing/new"), "x", "", false), FileError::kMissing);

  // Over an existing file (which a plain rename on Windows refuses), and to
  // a name not taken yet.
  ASSERT_EQ(files::renameFile(folder.file("new"), folder.file("setting.ini")), FileError::kNone);
  EXPECT_EQ(folder.read("setting.ini"), "bytes");
  EXPECT_FALSE(folder.exists("new"));
  ASSERT_EQ(files::renameFile(folder.file("setting.ini"), folder.file("data.csv")), FileError::kNone);
  EXPECT_EQ(folder.read("data.csv"), "bytes");
  EXPECT_FALSE(folder.exists("setting.ini"));
  EXPECT_EQ(files::removeFile(folder.file("data.csv")), FileError::kNone);
  EXPECT_EQ(files::removeFile(folder.file("data.csv")), FileError::kMissing);
}

TEST(SystemFiles, NewFilesTakeThePermissionsOfTheOneTheyReplace) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no POSIX modes: the replacement (ReplaceFileW) keeps the replaced file's ACL "
                  "and attributes";
#else
  TempFolder folder;
  folder.write("setting.ini", "old");
  ASSERT_EQ(chmod(folder.file("setting.ini").c_str(), 0640), 0);
  ASSERT_EQ(files::createFile(folder.file("new"), "bytes", folder.file("setting.ini"), true), FileError::kNone);
  EXPECT_EQ(modeOf(folder.file("new")), 0640u);
#endif
}

TEST(SystemFiles, ListsAFoldersNamesInUtf8) {
  TempFolder folder;
  folder.write("a", "");
  folder.write("Überwachung.ini", "ü");
  std::filesystem::create_directory(nativePath(folder.file("c")));
  auto names = files::listFolder(folder.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "c", "Überwachung.ini"}));
  std::string bytes;
  EXPECT_EQ(files::readFile(folder.file("Überwachung.ini"), kNoLimit, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "ü");
  EXPECT_TRUE(files::listFolder(folder.file("missing")).empty());
  EXPECT_EQ(files::fileStatus(folder.file("a")).regular, true);
  EXPECT_EQ(files::fileStatus(folder.file("c")).regular, false);
  EXPECT_EQ(files::fileStatus(folder.file("missing")).exists, false);
}

TEST(SystemFiles, AReadOnlyFileIsNotWritable) {
#ifndef _WIN32
  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
#endif
  TempFolder folder;
  folder.write("setting.ini", "old");
  EXPECT_TRUE(files::fileStatus(folder.file("setting.ini")).writable);
  // On Windows: the read-only attribute.
  using std::filesystem::perms;
  std::filesystem::permissions(nativePath(folder.file("setting.ini")),
                               perms::owner_read | perms::group_read | perms::others_read);
  EXPECT_FALSE(files::fileStatus(folder.file("setting.ini")).writable);
  // Windows does not remove a read-only file with its folder.
  std::filesystem::permissions(nativePath(folder.file("setting.ini")), perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST(SystemFiles, ResolvesAPathWithoutLinksToItsFile) {
  TempFolder folder;
  folder.write("setting.ini", "");
  const auto resolved = files::resolveLinks(folder.file("setting.ini"));
  ASSERT_TRUE(resolved.has_value());
  EXPECT_TRUE(std::filesystem::equivalent(nativePath(*resolved),
                                          nativePath(folder.file("setting.ini"))));
  // Not there yet, but can be made.
  EXPECT_EQ(files::resolveLinks(folder.file("plain")), folder.file("plain"));
  EXPECT_EQ(files::resolveLinks(folder.file("missing/plain")), std::nullopt);
}

#ifdef _WIN32
TEST(SystemFiles, FollowsLinksToTheFileAWriteWouldChange) {
  TempFolder folder;
  std::filesystem::create_directory(nativePath(folder.file("elsewhere")));
  folder.write("elsewhere/setting.ini", "");
  // Relative link targets take Windows's own separator.
  const auto link = [&](const wchar_t* target, const std::string& name) {
    const std::filesystem::path path = nativePath(folder.file(name));
    ::CreateSymbolicLinkW(path.c_str(), target, SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  if (!link(L"elsewhere\\setting.ini", "relative"))
    GTEST_SKIP() << "no symbolic links can be made here: Windows needs developer mode or the privilege to make "
                    "them, and Wine makes none";
  const auto resolved = files::resolveLinks(folder.file("relative"));
  ASSERT_TRUE(resolved.has_value());
  EXPECT_TRUE(std::filesystem::equivalent(nativePath(*resolved),
                                          nativePath(folder.file("elsewhere/setting.ini"))));
  EXPECT_EQ(resolved->find('\\'), std::string::npos);
  // A link whose target is missing is not written through, nor is a loop.
  ASSERT_TRUE(link(L"nowhere\\setting.ini", "dangling"));
  EXPECT_EQ(files::resolveLinks(folder.file("dangling")), std::nullopt);
  ASSERT_TRUE(link(L"loop", "loop"));
  EXPECT_EQ(files::resolveLinks(folder.file("loop")), std::nullopt);
}
#else
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
#endif

TEST(SystemFiles, OverwritesOnlyAnExistingRegularFile) {
  TempFolder folder;
  folder.write("data.csv", "a longer old line\r\n");
  ASSERT_EQ(files::overwriteFile(folder.file("data.csv"), "new\r\n", false), FileError::kNone);
  EXPECT_EQ(folder.read("data.csv"), "new\r\n");
  EXPECT_EQ(files::overwriteFile(folder.file("missing"), "x", false), FileError::kMissing);
  EXPECT_FALSE(folder.exists("missing"));
  const PipeWithoutWriter pipe(folder);
  EXPECT_NE(files::overwriteFile(pipe.path(), "x", false), FileError::kNone);
}

}  // namespace
}  // namespace rtupoll
