#pragma once

// The program's own files on the real file system, done with the operating
// system's calls: system_files_posix.cc or system_files_windows.cc.

#include "env/files.h"

namespace rtupoll {

class SystemFiles : public Files {
 public:
  FileError readFile(const std::string& path, std::size_t limit, std::string& bytes) override;
  FileError createFile(const std::string& path, std::string_view bytes, const std::string& like,
                       bool flush) override;
  FileError renameFile(const std::string& from, const std::string& to) override;
  FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush) override;
  FileError removeFile(const std::string& path) override;
  FileStatus fileStatus(const std::string& path) const override;
  std::optional<std::string> resolveLinks(const std::string& path) const override;
  std::vector<std::string> listFolder(const std::string& path) const override;
  std::uint64_t processId() const override;
};

}  // namespace rtupoll
