// The scene's verbs that only a POSIX system has: FIFOs, modes, links
// whose targets are plain text, and the superuser's powers laid down.

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "system_file_scene.h"

namespace rtupoll::testing {

namespace {

// The superuser writes and searches whatever the modes say (CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH). A read-only file or folder is about an operator's
// files, and the tests may well run as root, so the scene lays these powers
// down while it lasts; they stay permitted, and come back at its end.
class WithoutOverride {
 public:
  WithoutOverride() {
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
    lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~WithoutOverride() {
    if (lowered_) ::syscall(SYS_capset, &header_, saved_);
  }
  WithoutOverride(const WithoutOverride&) = delete;
  WithoutOverride& operator=(const WithoutOverride&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool lowered_ = false;
};

// Whether the user may open for writing a file that nobody may write.
bool writesReadOnlyFiles(const TempFolder& probe) {
  probe.write("file", "");
  const std::string path = probe.file("file");
  ::chmod(path.c_str(), 0444);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

// Whether the user may make a file in a folder that nobody may write.
bool makesFilesInReadOnlyFolders(const TempFolder& probe) {
  const std::string folder = probe.file("folder");
  ::mkdir(folder.c_str(), 0555);
  const std::string path = folder + "/file";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
  ::chmod(folder.c_str(), 0755);
  return fd >= 0;
}

constexpr const char* kAllPowerful =
    "this user writes every file and folder whatever their modes (the superuser, who could not lay that power "
    "down here)";

}  // namespace

struct SystemFileScene::Extras {
  WithoutOverride without_override;
  bool writes_read_only_files;
  bool makes_files_in_read_only_folders;
  int fifos = 0;

  Extras() {
    const TempFolder probe;
    writes_read_only_files = writesReadOnlyFiles(probe);
    makes_files_in_read_only_folders = makesFilesInReadOnlyFolders(probe);
  }
};

SystemFileScene::SystemFileScene() : extras_(std::make_unique<Extras>()) {}

SystemFileScene::~SystemFileScene() {
  // Every folder writable again, so that the temporary folder can go
  // whoever runs the tests.
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder(), error), end; !error && it != end;
       it.increment(error))
    if (std::filesystem::is_directory(it->symlink_status(error))) ::chmod(it->path().c_str(), 0700);
}

std::optional<std::string> SystemFileScene::lacks(Feature feature) const {
  switch (feature) {
    case Feature::kLinks: return std::nullopt;
    case Feature::kReadOnlyFiles:
    case Feature::kReadOnlyRefused:
    case Feature::kPermissionsOfLike:
      if (extras_->writes_read_only_files) return kAllPowerful;
      return std::nullopt;
    case Feature::kReadOnlyFolders:
      if (extras_->makes_files_in_read_only_folders) return kAllPowerful;
      return std::nullopt;
  }
  return std::nullopt;
}

void SystemFileScene::makeLink(const std::string& name, const std::string& target) {
  std::filesystem::create_symlink(target, file(name));
}

std::string SystemFileScene::pipeWithoutWriter() {
  const std::string path = file("fifo-" + std::to_string(extras_->fifos++));
  ::mkfifo(path.c_str(), 0600);
  return path;
}

std::string SystemFileScene::device() { return "/dev/zero"; }

void SystemFileScene::setReadOnly(const std::string& name, bool read_only) {
  const std::string path = name.empty() ? folder() : file(name);
  struct stat status {};
  ::stat(path.c_str(), &status);
  const mode_t writable = S_IWUSR | S_IWGRP | S_IWOTH;
  ::chmod(path.c_str(), read_only ? status.st_mode & ~writable & 07777 : (status.st_mode | S_IWUSR) & 07777);
}

bool SystemFileScene::samePlace(const std::string& resolved, const std::string& path) const {
  return resolved == path;
}

}  // namespace rtupoll::testing
