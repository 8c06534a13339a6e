#pragma once

// When the widgets catch up with the model. A poll cycle changes the model
// every 10 ms for about 40 ms: each read's highlight and "Transmit" last
// about 10 ms, shorter than a screen frame, and when the cycle ends the
// highlight is gone and the labels read "Received" again. Drawing every one
// of those states costs far more than the request itself. So the widgets
// are brought up to date once the model has been quiet for a little more
// than a frame: a state that lasts 40 ms or more is then drawn within
// about 20 ms. The progress bar of the reload sequence moves every 5 ms for
// seconds on end; its moves do not count as noise that keeps the model from
// settling, and they are shown at the latest 100 ms after the first unshown
// one, as is anything else while changes keep coming.

#include <chrono>
#include <optional>

namespace rtupoll {

class RefreshPolicy {
 public:
  using Nanos = std::chrono::nanoseconds;

  static constexpr Nanos kQuiet = std::chrono::milliseconds(20);
  static constexpr Nanos kLatest = std::chrono::milliseconds(100);

  // The model changed at `now`; `settling` is false when only the progress
  // bar moved.
  void changed(Nanos now, bool settling);
  // When the next refresh is due; nothing when everything is shown.
  std::optional<Nanos> due() const;
  void refreshed();

 private:
  std::optional<Nanos> first_unshown_;
  std::optional<Nanos> last_settling_;
};

}  // namespace rtupoll
