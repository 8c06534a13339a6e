#pragma once

// The window's event table: which handler runs for each event of the
// window, each click and each timer tick. Nothing else binds an event, so
// this file is the one to read against the window's design.

namespace rtupoll {
class OptionIP;

class WindowEvents {
 public:
  // Binds every event of the window; the window must outlive this object.
  explicit WindowEvents(OptionIP& w);
  WindowEvents(const WindowEvents&) = delete;
  WindowEvents& operator=(const WindowEvents&) = delete;

  // Window load: start-up.
  void load();
  // Window unload: shut-down. It runs once, however often the window is
  // asked to close (a close button and a quit signal may both ask).
  void unload();
  bool unloaded() const { return unloaded_; }

 private:
  OptionIP& w_;
  bool unloaded_ = false;
};

}  // namespace rtupoll
