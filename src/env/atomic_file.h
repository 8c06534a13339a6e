#pragma once

// Replacing a file as a whole, so that a reader sees either the old content
// or the new, never a part, and a crash leaves one of the two.

#include <initializer_list>
#include <string>
#include <string_view>

#include "env/files.h"

namespace rtupoll {

enum class Durability {
  // Flushed to the disk before it replaces the old file: a power loss
  // cannot leave an empty file under the name (the operator's settings).
  kFlushed,
  // Replaced at once without waiting for the disk: a reader never sees a
  // part, but a power loss may lose the latest write. For data.csv, which
  // is rewritten every second and must not stall the window on a slow disk.
  kReplaceOnly,
};

// The bytes go to a temporary file in the same folder (so that the rename
// cannot cross file systems), named after the file, this run and a serial
// number, which is then renamed over the old one. A symbolic link stays:
// the file it points to is replaced, in that file's folder; a link that
// leads nowhere is not written through. Only a regular file the user may
// write is replaced. Where no file can be made in the folder, a file the
// user may write is rewritten in place instead. On failure the old file
// stays as it was and no temporary file is left behind, and the result
// says why: kReadOnly for a file the user may not write, kMissing for a
// link that leads nowhere, or the error of the step that failed.
FileError replaceFile(Files& files, const std::string& path, std::string_view bytes,
                      Durability durability = Durability::kFlushed);

// Removes the temporary files of the named files in the folder that a run
// killed between writing and renaming left behind; nothing else.
void removeLeftoverTemporaries(Files& files, const std::string& folder, std::initializer_list<std::string_view> names);

}  // namespace rtupoll
