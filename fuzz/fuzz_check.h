#pragma once

// What a fuzz target does when an invariant breaks: say which, then abort,
// so that libFuzzer keeps the input and the corpus check fails.

#include <cstdio>
#include <cstdlib>

namespace rtupoll::fuzz {

inline void require(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

}  // namespace rtupoll::fuzz
