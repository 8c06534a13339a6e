#include "platform/qt_env.h"

#include <QCoreApplication>
#include <QLocale>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "env/timer_bursts.h"
#include "platform/qt_socket.h"

namespace rtupoll {

namespace {

class QtTimer : public TimerDriver {
 public:
  explicit QtTimer(std::function<void()> on_tick) : on_tick_(std::move(on_tick)) {
    // The poll clock must keep its second to the millisecond; Qt's default
    // coarse timers may drift by 5 %.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { burst(); });
  }

  void start(std::chrono::milliseconds interval) override {
    ++generation_;
    ticks_per_wake_ = ticksPerWake(interval);
    timer_.start(interval * ticks_per_wake_);
  }
  void stop() override {
    ++generation_;
    timer_.stop();
  }

 private:
  void burst() {
    const std::uint64_t generation = generation_;
    const auto period = std::chrono::milliseconds(timer_.interval());
    for (int tick = 0; tick < ticks_per_wake_; ++tick) {
      const auto began = std::chrono::steady_clock::now();
      on_tick_();
      if (generation_ != generation) return;  // stopped or restarted by the tick
      if (std::chrono::steady_clock::now() - began > period) {
        // It waited for events: what else came due meanwhile is dropped.
        timer_.start();
        return;
      }
    }
  }

  std::function<void()> on_tick_;
  QTimer timer_;
  int ticks_per_wake_ = 1;
  std::uint64_t generation_ = 0;
};

}  // namespace

QtEnv::QtEnv() {
  deadline_timer_.setSingleShot(true);
  deadline_timer_.setTimerType(Qt::PreciseTimer);
}

std::unique_ptr<TimerDriver> QtEnv::createTimer(std::function<void()> on_tick) {
  return std::make_unique<QtTimer>(std::move(on_tick));
}

std::unique_ptr<SocketDriver> QtEnv::createSocket(std::function<void()> on_data_arrival) {
  return std::make_unique<QtSocket>(std::move(on_data_arrival));
}

Nanos QtEnv::monotonicNow() const { return std::chrono::steady_clock::now().time_since_epoch(); }

void QtEnv::waitForEvents(Nanos deadline) {
  const Nanos left = deadline - monotonicNow();
  if (left <= Nanos(0)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  // Rounded up, so that the wake-up never comes before the deadline.
  deadline_timer_.start(std::chrono::ceil<std::chrono::milliseconds>(left));
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  deadline_timer_.stop();
}

std::string QtEnv::programFolder() const {
  // The files' paths are UTF-8 everywhere. QFile::encodeName is the same on
  // Linux but the ANSI code page on Windows, which cannot name every folder.
  return QCoreApplication::applicationDirPath().toUtf8().toStdString();
}

char QtEnv::decimalSeparator() const {
  const QString point = QLocale::system().decimalPoint();
  // The number readers work on 8-bit text; a separator outside ASCII
  // (Arabic, Persian) cannot occur in it.
  if (point.isEmpty() || point.front().unicode() > 0x7F) return '.';
  return static_cast<char>(point.front().unicode());
}

void QtEnv::warn(const std::string& line) {
  std::fprintf(stderr, "rtupoll: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace rtupoll
