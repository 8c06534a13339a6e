#pragma once

// The Env of the real program: Qt's event loop, precise QTimers and
// QTcpSockets, and the system's files. Create it after the QApplication
// and use it on that thread.

#include <QTimer>

#include "env/env.h"
#include "platform/system_files.h"

namespace rtupoll {

class QtEnv : public Env {
 public:
  QtEnv();

  std::unique_ptr<TimerDriver> createTimer(std::function<void()> on_tick) override;
  std::unique_ptr<SocketDriver> createSocket(std::function<void()> on_data_arrival) override;
  Nanos monotonicNow() const override;
  void waitForEvents(Nanos deadline) override;
  Files& files() override { return files_; }
  std::string programFolder() const override;
  char decimalSeparator() const override;
  void warn(const std::string& line) override;

 private:
  SystemFiles files_;
  // Wakes a wait that has nothing else to do when its deadline comes.
  QTimer deadline_timer_;
};

}  // namespace rtupoll
