#pragma once

// The program's own files on the real file system: the operations Env
// offers, done with the operating system's calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env/env.h"

namespace rtupoll::system_files {

FileError readFile(const std::string& path, std::size_t limit, std::string& bytes);
FileError createFile(const std::string& path, std::string_view bytes, const std::string& like, bool flush);
FileError renameFile(const std::string& from, const std::string& to);
FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush);
FileError removeFile(const std::string& path);
FileStatus fileStatus(const std::string& path);
std::optional<std::string> resolveLinks(const std::string& path);
std::vector<std::string> listFolder(const std::string& path);
std::uint64_t processId();

}  // namespace rtupoll::system_files
