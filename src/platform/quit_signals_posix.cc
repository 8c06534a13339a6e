#include "platform/quit_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace rtupoll {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the handler; -1 while no QuitSignals exists.
volatile sig_atomic_t g_wake_fd = -1;
int g_read_fd = -1;

void onQuitSignal(int) {
  const int saved_errno = errno;
  const char byte = 1;
  // Non-blocking: with bytes already waiting the write may fail, and one
  // waiting byte is enough.
  [[maybe_unused]] const ssize_t ignored = write(g_wake_fd, &byte, 1);
  errno = saved_errno;
}

void setHandlers(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal_number : kQuitSignals) sigaction(signal_number, &action, nullptr);
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> on_quit, QObject* parent)
    : QObject(parent), on_quit_(std::move(on_quit)) {
  if (g_wake_fd != -1) throw std::logic_error("only one QuitSignals at a time");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot create the quit pipe");
  g_read_fd = fds[0];
  g_wake_fd = fds[1];
  notifier_ = new QSocketNotifier(g_read_fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drainAndQuit);
  setHandlers(onQuitSignal);
}

QuitSignals::~QuitSignals() {
  setHandlers(SIG_DFL);
  delete notifier_;
  close(g_wake_fd);
  close(g_read_fd);
  g_wake_fd = -1;
  g_read_fd = -1;
}

void QuitSignals::drainAndQuit() {
  char bytes[16];
  while (read(g_read_fd, bytes, sizeof bytes) > 0) {
  }
  if (on_quit_) on_quit_();
}

}  // namespace rtupoll
