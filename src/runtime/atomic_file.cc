#include "runtime/atomic_file.h"

#include "runtime/env.h"

namespace rtupoll {

namespace {

// Names left behind by crashed runs are skipped, up to this many.
constexpr int kAttempts = 100;

std::string temporaryName(Env& env, const std::string& path) {
  static unsigned serial = 0;
  return path + ".tmp-" + std::to_string(env.processId()) + "-" + std::to_string(serial++);
}

}  // namespace

bool replaceFile(Env& env, const std::string& path, std::string_view bytes, Durability durability) {
  // A file the operator made read-only keeps its content, as it would under
  // a writer that rewrites the file in place.
  if (env.isReadOnly(path)) return false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string temp = temporaryName(env, path);
    const FileError created = env.createFile(temp, bytes, path, durability == Durability::kFlushed);
    if (created == FileError::kExists) continue;
    if (created != FileError::kNone) return false;
    if (env.renameFile(temp, path) == FileError::kNone) return true;
    env.removeFile(temp);
    return false;
  }
  return false;
}

}  // namespace rtupoll
