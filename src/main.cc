// rtupoll: the window OptionIP, polling Modbus TCP devices until it closes.

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/window_events.h"
#include "platform/qt_env.h"
#include "platform/quit_signals.h"
#include "platform/single_run.h"
#include "view/desktop_identity.h"
#include "view/option_ip_view.h"
#include "view/window_font.h"
#include "window/option_ip.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Before anything is read or written: a second start from the folder
  // only brings the running window to the front.
  rtupoll::SingleRun single_run(QCoreApplication::applicationDirPath());
  if (!single_run.claim()) {
    std::fprintf(stderr, "rtupoll: %s\n", qPrintable(single_run.refusal()));
    return EXIT_SUCCESS;
  }
  rtupoll::presentToDesktop();
  rtupoll::addCarriedWindowFont();
  rtupoll::OptionIPView* shown = nullptr;
  // First, so that a signal that comes early still closes the window in
  // order once the event loop runs.
  rtupoll::QuitSignals quit_signals([&shown] {
    if (shown != nullptr) shown->closeUnattended();
  });

  rtupoll::QtEnv env;
  rtupoll::OptionIP window(env);
  rtupoll::WindowEvents events(window);
  rtupoll::OptionIPView view(window, events);
  events.load();
  view.show();
  shown = &view;
  single_run.onAskedToFront([&view] { view.bringToFront(); });
  // The program ends when its window closes, which has saved the set-up.
  const int status = app.exec();
  single_run.release();
  // Not a moment later: tearing the application down would wait for Qt's
  // host-name lookups, and a resolver that never answers holds one for as
  // long as its own timeout. Every file is written and closed by now.
  std::fflush(nullptr);
  std::_Exit(status);
}
