#include "platform/quit_signals.h"

#include <QGuiApplication>
#include <QSessionManager>

// Windows sends a window program no signals. What ends it in order comes
// to its window as messages:
// - WM_CLOSE (the close button, Alt+F4, the task bar, `taskkill` without
//   /F): Qt turns it into the window's close, which runs the shut-down and
//   saves the settings; nothing is needed here.
// - WM_QUERYENDSESSION and WM_ENDSESSION (log-off, shut-down, restart): Qt
//   asks for the data to be saved (commitDataRequest) and then quits
//   without closing any window, so the quit action runs here, as for
//   SIGTERM on Linux.
// Console Ctrl-C and Ctrl-Break (SetConsoleCtrlHandler) never reach it: a
// window program has no console. `taskkill /F` and the like end the
// process at once, as SIGKILL does, and cannot be caught.

namespace rtupoll {

QuitSignals::QuitSignals(std::function<void()> on_quit, QObject* parent)
    : QObject(parent), on_quit_(std::move(on_quit)) {
  // Direct: the session ends once the handler returns.
  connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
    if (on_quit_) on_quit_();
  }, Qt::DirectConnection);
}

QuitSignals::~QuitSignals() = default;

}  // namespace rtupoll
