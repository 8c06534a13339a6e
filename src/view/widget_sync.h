#pragma once

// One look at a widget against the model: either it only finds out whether
// the widget would change, or it changes what differs. A poll cycle often
// ends as it began (the highlight gone again, the labels back at
// "Received"), and then there is nothing to refresh.

namespace rtupoll {

class WidgetSync {
 public:
  enum class Mode { kCompare, kApply };
  explicit WidgetSync(Mode mode) : apply_(mode == Mode::kApply) {}

  // The widget shows `shown` where the model has `wanted`; `set` makes the
  // widget show it.
  template <typename T, typename Set>
  void operator()(const T& shown, const T& wanted, Set&& set) {
    if (shown == wanted) return;
    differs_ = true;
    if (apply_) set(wanted);
  }

  bool differs() const { return differs_; }

 private:
  bool apply_;
  bool differs_ = false;
};

}  // namespace rtupoll
