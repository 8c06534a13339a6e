#pragma once

#include <string>
#include <string_view>

namespace rtupoll {

// Replaces the file at `path` with `bytes` so that a reader, a crash or a
// power loss sees either the old content or the new, never a part: the
// bytes go to a temporary file in the same folder, which is flushed and
// then renamed over the old one. On failure the old file stays as it was
// and no temporary file is left behind.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace rtupoll
