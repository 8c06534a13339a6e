#include "view/refresh_policy.h"

#include <algorithm>

namespace rtupoll {

void RefreshPolicy::changed(Nanos now, bool settling) {
  if (!first_unshown_) first_unshown_ = now;
  if (settling) last_settling_ = now;
}

std::optional<RefreshPolicy::Nanos> RefreshPolicy::due() const {
  if (!first_unshown_) return std::nullopt;
  const Nanos latest = *first_unshown_ + kLatest;
  return last_settling_ ? std::min(latest, *last_settling_ + kQuiet) : latest;
}

void RefreshPolicy::refreshed() {
  first_unshown_.reset();
  last_settling_.reset();
}

}  // namespace rtupoll
