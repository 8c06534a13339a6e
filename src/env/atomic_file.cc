#include "env/atomic_file.h"

#include "env/files.h"

namespace rtupoll {

namespace {

// Names left behind by crashed runs are skipped, up to this many.
constexpr int kAttempts = 100;
constexpr std::string_view kTemporaryMark = ".tmp-";

std::string temporaryName(const Files& files, const std::string& path) {
  static unsigned serial = 0;
  return path + std::string(kTemporaryMark) + std::to_string(files.processId()) + "-" + std::to_string(serial++);
}

bool allDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "NAME.tmp-PID-SERIAL", as temporaryName makes them for the file NAME.
bool isTemporaryOf(std::string_view candidate, std::string_view name) {
  if (!candidate.starts_with(name) || !candidate.substr(name.size()).starts_with(kTemporaryMark)) return false;
  const std::string_view numbers = candidate.substr(name.size() + kTemporaryMark.size());
  const auto dash = numbers.find('-');
  return dash != std::string_view::npos && allDigits(numbers.substr(0, dash)) && allDigits(numbers.substr(dash + 1));
}

}  // namespace

FileError replaceFile(Files& files, const std::string& path, std::string_view bytes, Durability durability) {
  // A link stays a link: the file it points to is replaced, in its own folder.
  const auto target = files.resolveLinks(path);
  if (!target) return FileError::kMissing;
  // Only a regular file is replaced, and only one the user may write: a
  // read-only file keeps its content, as under a writer that rewrites the
  // file in place.
  const FileStatus status = files.fileStatus(*target);
  if (status.exists && !status.regular) return FileError::kNotAFile;
  if (status.exists && !status.writable) return FileError::kReadOnly;
  const bool flush = durability == Durability::kFlushed;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string temp = temporaryName(files, *target);
    const FileError created = files.createFile(temp, bytes, *target, flush);
    if (created == FileError::kExists) continue;
    // No new file may be made in the folder, but the file itself may be
    // written (a folder the user may not write): rewrite it in place, as the
    // platform's own writer would. A crash then may leave it half written;
    // that is still better than never saving.
    if (created == FileError::kDenied && status.exists) return files.overwriteFile(*target, bytes, flush);
    if (created != FileError::kNone) return created;
    const FileError renamed = files.renameFile(temp, *target);
    if (renamed != FileError::kNone) files.removeFile(temp);
    return renamed;
  }
  return FileError::kExists;
}

void removeLeftoverTemporaries(Files& files, const std::string& folder, std::initializer_list<std::string_view> names) {
  for (const std::string& entry : files.listFolder(folder))
    for (const std::string_view name : names)
      if (isTemporaryOf(entry, name)) files.removeFile(folder + "/" + entry);
}

}  // namespace rtupoll
