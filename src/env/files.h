#pragma once

// The program's own files, setting.ini and data.csv, and the few things it
// does with them. The product uses the system's files (platform/
// system_files_posix or _windows); the tests use files in memory
// (tests/support/virtual_files), and the contract suite
// (tests/unit/files_contract_test.cc) holds both to the promises below.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtupoll {

// Why a file operation failed.
enum class FileError {
  kNone,
  kMissing,   // no such file, or a folder on its path is missing
  kNotAFile,  // a folder, a FIFO or a device: only regular files are read or written
  kTooLarge,  // beyond the reader's limit
  kDenied,    // the permissions forbid it
  kNoSpace,   // the disk is full; the write could not be completed
  kExists,    // a new file was asked for and the name is taken
  kReadOnly,  // the file is marked read-only: left alone, by the owner's choice
  kBusy,      // another program holds the file open and will not let it be replaced
  kFailed,    // anything else
};

// The error in words, for a person: "permission denied", "the disk is full".
const char* describe(FileError error);

// What is at a path, following symbolic links.
struct FileStatus {
  bool exists = false;
  bool regular = false;   // a plain file, not a folder, FIFO or device
  bool writable = false;  // the user may write it
};

// Paths are UTF-8, with '/' between names.
class Files {
 public:
  virtual ~Files() = default;

  // Reads a whole regular file of at most `limit` bytes into `bytes`. It
  // never waits: a FIFO or a device is kNotAFile, not something to read.
  virtual FileError readFile(const std::string& path, std::size_t limit, std::string& bytes) = 0;
  // Makes a new file holding exactly `bytes` (kExists when the name is
  // taken), with the permissions of the file `like` if that exists. With
  // `flush` the bytes are on the disk when it returns. A failure leaves no
  // file behind.
  virtual FileError createFile(const std::string& path, std::string_view bytes, const std::string& like,
                               bool flush) = 0;
  // Gives `from` the name `to` in one step, replacing what `to` named.
  virtual FileError renameFile(const std::string& from, const std::string& to) = 0;
  // Rewrites an existing regular file in place with exactly `bytes`.
  virtual FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush) = 0;
  virtual FileError removeFile(const std::string& path) = 0;
  virtual FileStatus fileStatus(const std::string& path) const = 0;
  // The path with every symbolic link along it followed to its end: the
  // file that a write through the path would change. Nothing for a loop of
  // links, or a link that points into a folder that does not exist.
  virtual std::optional<std::string> resolveLinks(const std::string& path) const = 0;
  // The names in the folder, without "." and ".."; none when it cannot be listed.
  virtual std::vector<std::string> listFolder(const std::string& path) const = 0;
  // Tells this run's temporary files from those of other runs.
  virtual std::uint64_t processId() const = 0;
};

}  // namespace rtupoll
