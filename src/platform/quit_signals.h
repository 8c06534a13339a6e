#pragma once

// SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl-C, log-out) end the program in
// an orderly way: they run a quit action on the event loop's thread, which
// closes the window, so that shut-down runs and the settings are saved.
// A signal handler may do next to nothing, so it only writes one byte into
// a pipe, and a socket notifier on the pipe's other end runs the action
// (quit_signals_posix.cc). Windows has no such signals; there the end of
// the user's session runs the action (quit_signals_windows.cc).

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace rtupoll {

class QuitSignals : public QObject {
 public:
  // One at a time; a signal that comes before the event loop runs is kept
  // until it does.
  explicit QuitSignals(std::function<void()> on_quit, QObject* parent = nullptr);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  void drainAndQuit();

  std::function<void()> on_quit_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace rtupoll
