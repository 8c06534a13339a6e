#include "platform/system_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace rtupoll {

namespace {

FileError fromErrno(int error) {
  switch (error) {
    case ENOENT: return FileError::kMissing;
    case EISDIR: return FileError::kNotAFile;
    case EACCES:
    case EPERM:
    case EROFS: return FileError::kDenied;
    case ENOSPC:
    case EDQUOT: return FileError::kNoSpace;
    case EEXIST: return FileError::kExists;
    default: return FileError::kFailed;
  }
}

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and tells whether the close went well: for a file just
  // written, a failed close can be the first sign of a failed write.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

FileError writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return fromErrno(errno);
    }
    if (written == 0) return FileError::kNoSpace;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return FileError::kNone;
}

// The new file gets the permissions of the one it will replace.
FileError copyMode(const std::string& like, int fd) {
  struct stat old_file {};
  if (::stat(like.c_str(), &old_file) != 0) return errno == ENOENT ? FileError::kNone : fromErrno(errno);
  return ::fchmod(fd, old_file.st_mode & 07777) == 0 ? FileError::kNone : fromErrno(errno);
}

// Regular files only: a FIFO or a device is no file to read or rewrite.
FileError regularOrNot(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return fromErrno(errno);
  return S_ISREG(status.st_mode) ? FileError::kNone : FileError::kNotAFile;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool isFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The kernel gives up on a chain of more links than this (ELOOP).
constexpr int kMaxLinks = 40;

FileError written(int fd, std::string_view bytes, const std::string& like, bool flush) {
  if (const FileError e = copyMode(like, fd); e != FileError::kNone) return e;
  if (const FileError e = writeAll(fd, bytes); e != FileError::kNone) return e;
  // The data must be on the disk before a rename makes it the file;
  // otherwise a power loss could leave the new name on an empty file.
  if (flush && ::fsync(fd) != 0) return fromErrno(errno);
  return FileError::kNone;
}

}  // namespace

FileError SystemFiles::readFile(const std::string& path, std::size_t limit, std::string& bytes) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return fromErrno(errno);
  if (const FileError e = regularOrNot(fd.get()); e != FileError::kNone) return e;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return fromErrno(errno);
  if (static_cast<std::uint64_t>(status.st_size) > limit) return FileError::kTooLarge;
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(status.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fromErrno(errno);
    if (got == 0) return FileError::kNone;
    // The file may grow while it is read.
    if (bytes.size() + static_cast<std::size_t>(got) > limit) return FileError::kTooLarge;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

FileError SystemFiles::createFile(const std::string& path, std::string_view bytes, const std::string& like,
                                  bool flush) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) return fromErrno(errno);
  FileError error = written(fd.get(), bytes, like, flush);
  if (!fd.close() && error == FileError::kNone) error = fromErrno(errno);
  if (error != FileError::kNone) ::unlink(path.c_str());
  return error;
}

FileError SystemFiles::renameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? FileError::kNone : fromErrno(errno);
}

FileError SystemFiles::overwriteFile(const std::string& path, std::string_view bytes, bool flush) {
  // Never created here, and opened without waiting, should a FIFO have
  // taken the file's place since it was looked at.
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return fromErrno(errno);
  if (const FileError e = regularOrNot(fd.get()); e != FileError::kNone) return e;
  if (::ftruncate(fd.get(), 0) != 0) return fromErrno(errno);
  if (const FileError e = writeAll(fd.get(), bytes); e != FileError::kNone) return e;
  if (flush && ::fsync(fd.get()) != 0) return fromErrno(errno);
  return fd.close() ? FileError::kNone : fromErrno(errno);
}

FileError SystemFiles::removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? FileError::kNone : fromErrno(errno);
}

FileStatus SystemFiles::fileStatus(const std::string& path) const {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  // The superuser may write anything, as with any writer. A file system
  // mounted read-only (a read-only share) is no choice made on the file:
  // the write finds it out, and fails as one that must be told.
  const bool writable = ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == EROFS;
  return {true, S_ISREG(status.st_mode), writable};
}

std::optional<std::string> SystemFiles::resolveLinks(const std::string& path) const {
  std::string current = path;
  for (int link = 0; link <= kMaxLinks; ++link) {
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      // A file not there yet can be made, as long as its folder exists.
      if (errno == ENOENT && isFolder(folderOf(current))) return current;
      return std::nullopt;
    }
    if (!S_ISLNK(status.st_mode)) return current;
    std::string target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 4096), '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    current = target.front() == '/' ? target : folderOf(current) + "/" + target;
  }
  return std::nullopt;  // a loop
}

std::vector<std::string> SystemFiles::listFolder(const std::string& path) const {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().string());
  return names;
}

std::uint64_t SystemFiles::processId() const { return static_cast<std::uint64_t>(::getpid()); }

}  // namespace rtupoll
