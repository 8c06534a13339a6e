#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace rtupoll {

namespace {

// A file the operator made read-only keeps its content, as it would under
// a writer that rewrites the file in place. (The superuser passes.)
bool refusesWrites(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT;
}

// Creates a new file next to `path` (so that the rename cannot cross file
// systems) with the usual permissions, filtered by the umask; -1 if none
// can be made.
int createTemporary(const std::string& path, std::string& temp_path) {
  static unsigned serial = 0;
  constexpr int kAttempts = 100;  // names left behind by crashed runs are skipped
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temp_path = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    const int fd = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The replacement keeps the permissions of the file it replaces.
bool copyMode(const std::string& path, int fd) {
  struct stat old_file {};
  if (stat(path.c_str(), &old_file) != 0) return errno == ENOENT;
  return fchmod(fd, old_file.st_mode & 07777) == 0;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, Durability durability) {
  if (refusesWrites(path)) return false;
  std::string temp_path;
  const int fd = createTemporary(path, temp_path);
  if (fd < 0) return false;

  // The data must be on the disk before the rename makes it the file;
  // otherwise a power loss could leave the new name on an empty file.
  bool ok = copyMode(path, fd) && writeAll(fd, bytes) && (durability == Durability::kReplaceOnly || fsync(fd) == 0);
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temp_path.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp_path.c_str());
  return ok;
}

}  // namespace rtupoll
