#pragma once

// Files in memory for the virtual runtime: folders, regular files and the
// odd kinds a program folder may hold (symbolic links, and a FIFO or a
// device, which are not regular files), with faults to order for each
// operation. The Files operations behave as the real ones do on Linux, as
// the contract suite (tests/unit/files_contract_test.cc) checks, but for
// one thing: a link is followed where it ends a path, not where it stands
// for a folder on the way (the program's folder is a real one). A test
// sets the scene with the verbs in the first half.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env/files.h"

namespace rtupoll::testing {

class VirtualFiles : public Files {
 public:
  // The process number of this run, in the temporary files' names.
  static constexpr std::uint64_t kProcessId = 4242;

  enum class Op { kRead, kCreate, kRename, kOverwrite, kRemove };

  // A folder, with the folders above it.
  void addFolder(const std::string& path);
  // A regular file; its folder must exist.
  void write(const std::string& path, std::string bytes);
  // A FIFO or a device at the path: it exists but holds no file.
  void addSpecial(const std::string& path);
  // A symbolic link to `target`, which is taken from the link's folder
  // unless it starts with '/'.
  void addLink(const std::string& path, const std::string& target);
  bool isLink(const std::string& path) const;
  void setReadOnly(const std::string& path, bool read_only);
  // Removes whatever is at the path, a folder with all it holds.
  void erase(const std::string& path);
  // The content of the regular file at the path, following links; nothing
  // for anything else.
  std::optional<std::string> read(const std::string& path) const;
  bool exists(const std::string& path) const;
  bool isFolder(const std::string& path) const;
  // How often the path was read with readFile.
  int readCount(const std::string& path) const { return read_counts_.count(path) ? read_counts_.at(path) : 0; }

  // Every `op` on a path that starts with `prefix` fails with `error`, the
  // next `times` times (-1: until cleared). A create that fails with
  // kNoSpace is a short write: the real call removes what it began.
  void fail(Op op, std::string prefix, FileError error, int times = -1);
  void clearFaults() { faults_.clear(); }

  // The Files operations.
  FileError readFile(const std::string& path, std::size_t limit, std::string& bytes) override;
  FileError createFile(const std::string& path, std::string_view bytes, const std::string& like,
                       bool flush) override;
  FileError renameFile(const std::string& from, const std::string& to) override;
  FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush) override;
  FileError removeFile(const std::string& path) override;
  FileStatus fileStatus(const std::string& path) const override;
  std::optional<std::string> resolveLinks(const std::string& path) const override;
  std::vector<std::string> listFolder(const std::string& path) const override;
  std::uint64_t processId() const override { return kProcessId; }

 private:
  enum class Kind { kFolder, kRegular, kSpecial, kLink };
  struct Node {
    Kind kind = Kind::kRegular;
    std::string bytes;  // a link's target
    bool read_only = false;
  };
  struct Fault {
    Op op;
    std::string prefix;
    FileError error;
    int times;
  };

  std::optional<FileError> injected(Op op, const std::string& path);
  // Where a new entry at `path` would go: kNone when its folder exists and takes it.
  FileError placeFor(const std::string& path) const;
  const Node* find(const std::string& path) const;
  // Where the path's links lead, the name at the end of them, and kNone; or
  // why nothing can be there: kMissing for a missing folder, kFailed for a
  // loop or a file on the way.
  struct Resolved {
    std::string path;
    FileError error;
  };
  Resolved resolve(const std::string& path) const;
  // The node at the end of the path's links; null when there is none.
  const Node* follow(const std::string& path) const;

  std::map<std::string, Node> nodes_;
  std::vector<Fault> faults_;
  std::map<std::string, int> read_counts_;
};

}  // namespace rtupoll::testing
