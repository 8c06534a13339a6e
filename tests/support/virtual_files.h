#pragma once

// Files in memory for the virtual runtime: folders, regular files and the
// odd kinds a program folder may hold (symbolic links, and a FIFO or a
// device, which are not regular files), with faults to order for each
// operation. The Env
// operations behave as the real ones do on Linux; a test sets the scene
// with the verbs in the first half.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env/env.h"

namespace rtupoll::testing {

class VirtualFiles {
 public:
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

  // The Env operations.
  FileError readFile(const std::string& path, std::size_t limit, std::string& bytes);
  FileError createFile(const std::string& path, std::string_view bytes);
  FileError renameFile(const std::string& from, const std::string& to);
  FileError overwriteFile(const std::string& path, std::string_view bytes);
  FileError removeFile(const std::string& path);
  FileStatus fileStatus(const std::string& path) const;
  std::optional<std::string> resolveLinks(const std::string& path) const;
  std::vector<std::string> listFolder(const std::string& path) const;

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
  // The node at the end of the path's links; null when there is none.
  const Node* follow(const std::string& path) const;

  std::map<std::string, Node> nodes_;
  std::vector<Fault> faults_;
  std::map<std::string, int> read_counts_;
};

}  // namespace rtupoll::testing
