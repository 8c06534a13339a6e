#pragma once

// The Env of the real program: Qt's event loop, precise QTimers and
// QTcpSockets. Create it after the QApplication and use it on that thread.

#include <QTimer>

#include "env/env.h"

namespace rtupoll {

class QtEnv : public Env {
 public:
  QtEnv();

  std::unique_ptr<TimerDriver> createTimer(std::function<void()> on_tick) override;
  std::unique_ptr<SocketDriver> createSocket(std::function<void()> on_data_arrival) override;
  Nanos monotonicNow() const override;
  void waitForEvents(Nanos deadline) override;
  FileError readFile(const std::string& path, std::size_t limit, std::string& bytes) override;
  FileError createFile(const std::string& path, std::string_view bytes, const std::string& like,
                       bool flush) override;
  FileError renameFile(const std::string& from, const std::string& to) override;
  FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush) override;
  FileError removeFile(const std::string& path) override;
  FileStatus fileStatus(const std::string& path) const override;
  std::optional<std::string> resolveLinks(const std::string& path) const override;
  std::vector<std::string> listFolder(const std::string& path) const override;
  std::uint64_t processId() const override;
  std::string programFolder() const override;
  char decimalSeparator() const override;

 private:
  // Wakes a wait that has nothing else to do when its deadline comes.
  QTimer deadline_timer_;
};

}  // namespace rtupoll
