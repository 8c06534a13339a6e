#pragma once

// A window timer: an interval, an enabled switch and a tick handler.
// Enabling a timer that already runs changes nothing (no extra tick, no
// restart); the first tick comes one interval after it is enabled.

#include <chrono>
#include <functional>
#include <memory>

#include "env/env.h"

namespace rtupoll {

class Timer {
 public:
  Timer(Env& env, int interval_ms)
      : interval_ms_(interval_ms), driver_(env.createTimer([this] {
          if (on_tick_) on_tick_();
        })) {}
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void setOnTick(std::function<void()> handler) { on_tick_ = std::move(handler); }
  int interval() const { return interval_ms_; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (on)
      driver_->start(std::chrono::milliseconds(interval_ms_));
    else
      driver_->stop();
  }

 private:
  int interval_ms_;
  bool enabled_ = false;
  std::function<void()> on_tick_;
  std::unique_ptr<TimerDriver> driver_;
};

}  // namespace rtupoll
