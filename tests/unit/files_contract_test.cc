// The contract of Files (env/files.h), held against the system's files in
// a folder of the test's own and against VirtualFiles, on which every other
// test of the files relies: each case runs on both. What only one of them
// can show stays elsewhere: the faults VirtualFiles injects in
// atomic_file_test.cc, the POSIX modes in system_files_test.cc.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "env/atomic_file.h"
#include "system_file_scene.h"
#include "virtual_file_scene.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::FileScene;
using Feature = FileScene::Feature;
using Names = std::vector<std::string>;

constexpr std::size_t kNoLimit = std::string::npos;

template <typename Scene>
class FilesContract : public ::testing::Test {
 protected:
  Files& files() { return scene.files(); }
  std::string file(const std::string& name) const { return scene.file(name); }
  bool replace(const std::string& name, const std::string& bytes) { return why(name, bytes) == FileError::kNone; }
  FileError why(const std::string& name, const std::string& bytes) { return replaceFile(files(), file(name), bytes); }
  // Whether a temporary file of the replacement is left in the folder.
  bool leftovers(const std::string& folder = "") const {
    for (const std::string& name : scene.names(folder))
      if (name.find(".tmp-") != std::string::npos) return true;
    return false;
  }

  Scene scene;
};

struct SceneName {
  template <typename Scene>
  static std::string GetName(int) {
    return Scene::kName;
  }
};

using Scenes = ::testing::Types<testing::SystemFileScene, testing::VirtualFileScene>;
TYPED_TEST_SUITE(FilesContract, Scenes, SceneName);

// Where the scene cannot show the case, it says why.
#define SKIP_WITHOUT(feature)                                          \
  if (const auto why = this->scene.lacks(feature)) GTEST_SKIP() << *why

// ---- Reading ----

TYPED_TEST(FilesContract, ReadsAWholeRegularFileWithinTheLimit) {
  this->scene.write("setting.ini", "a\0b"s);
  std::string bytes;
  ASSERT_EQ(this->files().readFile(this->file("setting.ini"), 3, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "a\0b"s);
  EXPECT_EQ(this->files().readFile(this->file("setting.ini"), 2, bytes), FileError::kTooLarge);
  EXPECT_EQ(this->files().readFile(this->file("missing"), kNoLimit, bytes), FileError::kMissing);
  EXPECT_EQ(this->files().readFile(this->file("missing/setting.ini"), kNoLimit, bytes), FileError::kMissing);
  EXPECT_EQ(this->files().readFile(this->scene.folder(), kNoLimit, bytes), FileError::kNotAFile);
}

// Refused at once instead of waiting for a writer, and never written.
TYPED_TEST(FilesContract, RefusesAFifoOrADeviceAtOnce) {
  std::string bytes;
  EXPECT_EQ(this->files().readFile(this->scene.pipeWithoutWriter(), kNoLimit, bytes), FileError::kNotAFile);
  EXPECT_EQ(this->files().readFile(this->scene.device(), kNoLimit, bytes), FileError::kNotAFile);
  EXPECT_NE(this->files().overwriteFile(this->scene.pipeWithoutWriter(), "x", false), FileError::kNone);
  const FileStatus status = this->files().fileStatus(this->scene.pipeWithoutWriter());
  EXPECT_TRUE(status.exists);
  EXPECT_FALSE(status.regular);
  EXPECT_NE(replaceFile(this->files(), this->scene.pipeWithoutWriter(), "x"), FileError::kNone);
  EXPECT_FALSE(this->leftovers());
}

// ---- Making, renaming, rewriting and removing ----

TYPED_TEST(FilesContract, CreatesOnlyANewFileAndLeavesNothingWhenItCannot) {
  this->scene.write("setting.ini", "old");
  ASSERT_EQ(this->files().createFile(this->file("new"), "bytes", this->file("setting.ini"), true), FileError::kNone);
  EXPECT_EQ(this->scene.read("new"), "bytes");
  EXPECT_EQ(this->files().createFile(this->file("new"), "other", "", false), FileError::kExists);
  EXPECT_EQ(this->scene.read("new"), "bytes");
  EXPECT_EQ(this->files().createFile(this->file("missing/new"), "x", "", false), FileError::kMissing);
  EXPECT_EQ(this->scene.names(), (Names{"new", "setting.ini"}));
}

TYPED_TEST(FilesContract, ANewFileTakesThePermissionsOfTheFileItIsLike) {
  SKIP_WITHOUT(Feature::kPermissionsOfLike);
  this->scene.write("setting.ini", "old");
  this->scene.setReadOnly("setting.ini", true);
  ASSERT_EQ(this->files().createFile(this->file("new"), "bytes", this->file("setting.ini"), true), FileError::kNone);
  EXPECT_EQ(this->scene.read("new"), "bytes");
  EXPECT_FALSE(this->files().fileStatus(this->file("new")).writable);
  this->scene.write("plain", "");
  ASSERT_EQ(this->files().createFile(this->file("other"), "", this->file("plain"), false), FileError::kNone);
  EXPECT_TRUE(this->files().fileStatus(this->file("other")).writable);
}

// Over an existing file (which a plain rename on Windows refuses), and to
// a name not taken yet.
TYPED_TEST(FilesContract, RenamesOverAFileOrToAFreeNameAndRemoves) {
  this->scene.write("setting.ini", "old");
  this->scene.write("new", "bytes");
  ASSERT_EQ(this->files().renameFile(this->file("new"), this->file("setting.ini")), FileError::kNone);
  EXPECT_EQ(this->scene.read("setting.ini"), "bytes");
  EXPECT_EQ(this->scene.names(), Names{"setting.ini"});
  ASSERT_EQ(this->files().renameFile(this->file("setting.ini"), this->file("data.csv")), FileError::kNone);
  EXPECT_EQ(this->scene.read("data.csv"), "bytes");
  EXPECT_EQ(this->scene.names(), Names{"data.csv"});
  EXPECT_EQ(this->files().removeFile(this->file("data.csv")), FileError::kNone);
  EXPECT_EQ(this->files().removeFile(this->file("data.csv")), FileError::kMissing);
  EXPECT_EQ(this->scene.names(), Names{});
}

TYPED_TEST(FilesContract, OverwritesOnlyAnExistingRegularFileInPlace) {
  this->scene.write("data.csv", "a longer old line\r\n");
  ASSERT_EQ(this->files().overwriteFile(this->file("data.csv"), "new\r\n", false), FileError::kNone);
  EXPECT_EQ(this->scene.read("data.csv"), "new\r\n");
  EXPECT_EQ(this->files().overwriteFile(this->file("missing"), "x", false), FileError::kMissing);
  this->scene.makeFolder("folder");
  EXPECT_NE(this->files().overwriteFile(this->file("folder"), "x", false), FileError::kNone);
  EXPECT_EQ(this->scene.names(), (Names{"data.csv", "folder"}));
}

// ---- Looking at a path ----

TYPED_TEST(FilesContract, ListsAFoldersNamesInUtf8AndTellsWhatIsThere) {
  this->scene.write("a", "");
  this->scene.write("Überwachung.ini", "ü");
  this->scene.makeFolder("c");
  auto names = this->files().listFolder(this->scene.folder());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Names{"a", "c", "Überwachung.ini"}));
  std::string bytes;
  EXPECT_EQ(this->files().readFile(this->file("Überwachung.ini"), kNoLimit, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "ü");
  EXPECT_TRUE(this->files().listFolder(this->file("missing")).empty());
  EXPECT_TRUE(this->files().listFolder(this->file("a")).empty());

  const FileStatus file = this->files().fileStatus(this->file("a"));
  EXPECT_TRUE(file.exists && file.regular && file.writable);
  const FileStatus folder = this->files().fileStatus(this->file("c"));
  EXPECT_TRUE(folder.exists && !folder.regular);
  EXPECT_FALSE(this->files().fileStatus(this->file("missing")).exists);
}

TYPED_TEST(FilesContract, ResolvesAPathWithoutLinksToItsFile) {
  this->scene.write("setting.ini", "");
  const auto resolved = this->files().resolveLinks(this->file("setting.ini"));
  ASSERT_TRUE(resolved.has_value());
  EXPECT_TRUE(this->scene.samePlace(*resolved, this->file("setting.ini"))) << *resolved;
  // Not there yet, but can be made.
  EXPECT_EQ(this->files().resolveLinks(this->file("plain")), this->file("plain"));
  EXPECT_EQ(this->files().resolveLinks(this->file("missing/plain")), std::nullopt);
  EXPECT_EQ(this->files().resolveLinks(this->file("setting.ini/plain")), std::nullopt);  // a file on the way
}

TYPED_TEST(FilesContract, FollowsLinksToTheFileAWriteWouldChange) {
  SKIP_WITHOUT(Feature::kLinks);
  this->scene.makeFolder("elsewhere");
  this->scene.write("elsewhere/setting.ini", "old");
  this->scene.makeLink("relative", "elsewhere/setting.ini");
  this->scene.makeLink("chain", this->file("relative"));
  const auto resolved = this->files().resolveLinks(this->file("chain"));
  ASSERT_TRUE(resolved.has_value());
  EXPECT_TRUE(this->scene.samePlace(*resolved, this->file("elsewhere/setting.ini"))) << *resolved;
  EXPECT_TRUE(this->files().fileStatus(this->file("chain")).regular);
  std::string bytes;
  EXPECT_EQ(this->files().readFile(this->file("chain"), kNoLimit, bytes), FileError::kNone);
  EXPECT_EQ(bytes, "old");

  // A link whose target is missing is not written through, nor is a loop;
  // neither is a file to read.
  this->scene.makeLink("dangling", "nowhere/setting.ini");
  EXPECT_EQ(this->files().resolveLinks(this->file("dangling")), std::nullopt);
  this->scene.makeLink("loop", "loop");
  EXPECT_EQ(this->files().resolveLinks(this->file("loop")), std::nullopt);
  EXPECT_EQ(this->files().readFile(this->file("loop"), kNoLimit, bytes), FileError::kFailed);
  EXPECT_FALSE(this->files().fileStatus(this->file("loop")).exists);
  EXPECT_EQ(this->files().readFile(this->file("dangling"), kNoLimit, bytes), FileError::kMissing);
  EXPECT_FALSE(this->files().fileStatus(this->file("dangling")).exists);
}

// ---- The atomic replacement over them ----

TYPED_TEST(FilesContract, ReplacesTheWholeFileAndLeavesNothingElse) {
  ASSERT_TRUE(this->replace("setting.ini", "first\r\n"));
  EXPECT_EQ(this->scene.read("setting.ini"), "first\r\n");
  ASSERT_TRUE(this->replace("setting.ini", "a\0b"s));  // shorter, and binary
  EXPECT_EQ(this->scene.read("setting.ini"), "a\0b"s);
  ASSERT_TRUE(this->replace("setting.ini", ""));
  EXPECT_EQ(this->scene.read("setting.ini"), "");
  EXPECT_EQ(this->scene.names(), Names{"setting.ini"});
}

TYPED_TEST(FilesContract, FailsWithoutTouchingAnythingWhenThePathCannotHoldAFile) {
  EXPECT_FALSE(this->replace("missing/setting.ini", "x"));
  this->scene.write("plain", "kept");  // the "folder" is a file
  EXPECT_FALSE(this->replace("plain/setting.ini", "x"));
  EXPECT_EQ(this->scene.read("plain"), "kept");
  this->scene.makeFolder("setting.ini");  // the path names a folder: it stays one
  EXPECT_EQ(this->why("setting.ini", "x"), FileError::kNotAFile);
  EXPECT_EQ(this->scene.names("setting.ini"), Names{});
  EXPECT_EQ(this->scene.names(), (Names{"plain", "setting.ini"}));
}

TYPED_TEST(FilesContract, AReadOnlyFileIsNeverWritten) {
  SKIP_WITHOUT(Feature::kReadOnlyFiles);
  this->scene.write("setting.ini", "old");
  EXPECT_TRUE(this->files().fileStatus(this->file("setting.ini")).writable);
  this->scene.setReadOnly("setting.ini", true);
  EXPECT_FALSE(this->files().fileStatus(this->file("setting.ini")).writable);
  EXPECT_EQ(this->why("setting.ini", "new"), FileError::kReadOnly);
  EXPECT_EQ(this->scene.read("setting.ini"), "old");
  EXPECT_EQ(this->scene.names(), Names{"setting.ini"});
  this->scene.setReadOnly("setting.ini", false);
  EXPECT_TRUE(this->files().fileStatus(this->file("setting.ini")).writable);
}

TYPED_TEST(FilesContract, AReadOnlyFileIsNotRewrittenInPlace) {
  SKIP_WITHOUT(Feature::kReadOnlyRefused);
  this->scene.write("setting.ini", "old");
  this->scene.setReadOnly("setting.ini", true);
  EXPECT_EQ(this->files().overwriteFile(this->file("setting.ini"), "new", false), FileError::kDenied);
  EXPECT_EQ(this->scene.read("setting.ini"), "old");
}

// A folder the user may not write, holding files they may: no file can be
// made, renamed or removed there, so the file is rewritten in place; a
// missing one cannot be made.
TYPED_TEST(FilesContract, WhereNoFileCanBeMadeAWritableFileIsRewrittenInPlace) {
  SKIP_WITHOUT(Feature::kReadOnlyFolders);
  this->scene.write("setting.ini", "old");
  this->scene.write("data.csv", "line");
  this->scene.setReadOnly("", true);
  EXPECT_EQ(this->files().createFile(this->file("new"), "x", "", false), FileError::kDenied);
  EXPECT_EQ(this->files().removeFile(this->file("data.csv")), FileError::kDenied);
  EXPECT_EQ(this->files().renameFile(this->file("data.csv"), this->file("setting.ini")), FileError::kDenied);
  EXPECT_TRUE(this->replace("setting.ini", "new"));
  EXPECT_EQ(this->scene.read("setting.ini"), "new");
  EXPECT_FALSE(this->replace("other.csv", "line"));
  this->scene.setReadOnly("", false);
  EXPECT_EQ(this->scene.names(), (Names{"data.csv", "setting.ini"}));
}

// A link stays a link; the file it leads to is replaced in its own folder.
TYPED_TEST(FilesContract, ReplacesTheFileALinkLeadsToAndKeepsTheLink) {
  SKIP_WITHOUT(Feature::kLinks);
  this->scene.makeFolder("program");
  this->scene.makeFolder("elsewhere");
  this->scene.write("elsewhere/setting.ini", "old");
  this->scene.makeLink("program/setting.ini", "../elsewhere/setting.ini");
  ASSERT_TRUE(this->replace("program/setting.ini", "new"));
  EXPECT_TRUE(this->scene.isLink("program/setting.ini"));
  EXPECT_EQ(this->scene.read("elsewhere/setting.ini"), "new");
  EXPECT_EQ(this->scene.names("elsewhere"), Names{"setting.ini"});
  EXPECT_EQ(this->scene.names("program"), Names{"setting.ini"});

  // A link into a folder that does not exist, or a loop: nothing is written.
  this->scene.makeLink("program/data.csv", "../nowhere/data.csv");
  EXPECT_EQ(this->why("program/data.csv", "line"), FileError::kMissing);
  this->scene.makeLink("program/loop.csv", "loop.csv");
  EXPECT_FALSE(this->replace("program/loop.csv", "line"));
  EXPECT_TRUE(this->scene.isLink("program/loop.csv"));
  EXPECT_EQ(this->scene.names("program"), (Names{"data.csv", "loop.csv", "setting.ini"}));
  EXPECT_EQ(this->scene.names(), (Names{"elsewhere", "program"}));
}

TYPED_TEST(FilesContract, RemovesOnlyTheTemporaryFilesItsOwnRunsLeftBehind) {
  for (const char* name : {"setting.ini.tmp-77-0", "data.csv.tmp-4242-12", "setting.ini", "data.csv",
                           "setting.ini.tmp-", "setting.ini.tmp-1-x", "other.tmp-1-1", "data.csv.tmp-1-1.bak"})
    this->scene.write(name, "");
  removeLeftoverTemporaries(this->files(), this->scene.folder(), {"setting.ini", "data.csv"});
  EXPECT_EQ(this->scene.names(), (Names{"data.csv", "data.csv.tmp-1-1.bak", "other.tmp-1-1", "setting.ini",
                                        "setting.ini.tmp-", "setting.ini.tmp-1-x"}));
}

}  // namespace
}  // namespace rtupoll
