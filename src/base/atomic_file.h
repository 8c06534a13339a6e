#pragma once

#include <string>
#include <string_view>

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

// Replaces the file at `path` with `bytes` so that a reader sees either the
// old content or the new, never a part: the bytes go to a temporary file in
// the same folder, which is then renamed over the old one. A file the user
// may not write (read-only) is not replaced. On failure the old file stays
// as it was and no temporary file is left behind.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         Durability durability = Durability::kFlushed);

}  // namespace rtupoll
