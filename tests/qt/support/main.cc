// The Qt tests need one QApplication for the whole run: widgets, timers and
// sockets all live on its thread.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // The tests never need a screen. Offscreen unless told otherwise (for
  // instance xvfb's xcb), also when the build lists the tests.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
