// The Qt tests need one QApplication for the whole run: widgets, timers and
// sockets all live on its thread.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
