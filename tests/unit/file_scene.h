#pragma once

// A folder of the test's own on one implementation of Files, and the verbs
// a case of the contract suite (files_contract_test.cc) sets its scene with
// and looks at the outcome with. The verbs go beside the implementation
// under test, not through it: the system's own calls for the real files,
// the test verbs of VirtualFiles for the files in memory.

#include <optional>
#include <string>
#include <vector>

#include "env/files.h"

namespace rtupoll::testing {

class FileScene {
 public:
  // What some file systems, or some users, cannot do.
  enum class Feature {
    kLinks,              // symbolic links
    kReadOnlyFiles,      // a file marked as one the user may not write
    kReadOnlyRefused,    // ... which the system then refuses to open for writing
    kReadOnlyFolders,    // a folder in which the user may make no file
    kPermissionsOfLike,  // a new file made with the permissions of another
  };

  virtual ~FileScene() = default;

  virtual Files& files() = 0;
  // The scene's folder, a path as Files takes it.
  virtual const std::string& folder() const = 0;
  std::string file(const std::string& name) const { return folder() + "/" + name; }

  // Why the scene cannot do it; nothing when it can.
  virtual std::optional<std::string> lacks(Feature feature) const = 0;

  // A regular file, its folder already there.
  virtual void write(const std::string& name, const std::string& bytes) = 0;
  // The content of the regular file, links followed; nothing for anything else.
  virtual std::optional<std::string> read(const std::string& name) const = 0;
  virtual void makeFolder(const std::string& name) = 0;
  // The names in the folder ("" is the scene's folder), sorted.
  virtual std::vector<std::string> names(const std::string& folder = "") const = 0;
  // A symbolic link to `target`, which is taken from the link's folder
  // unless it is a whole path.
  virtual void makeLink(const std::string& name, const std::string& target) = 0;
  virtual bool isLink(const std::string& name) const = 0;
  // A FIFO that nobody writes to, a new one at each call (on Windows a
  // named pipe, which lives outside the folders): reading it would wait.
  virtual std::string pipeWithoutWriter() = 0;
  // A device, whatever it reads as.
  virtual std::string device() = 0;
  // A file the user may not write, or a folder in which no file can be made
  // ("" is the scene's folder).
  virtual void setReadOnly(const std::string& name, bool read_only) = 0;
  // Whether a path that resolveLinks gave names the file at `path`: the
  // same path, or on Windows the same file by another spelling.
  virtual bool samePlace(const std::string& resolved, const std::string& path) const = 0;
};

}  // namespace rtupoll::testing
