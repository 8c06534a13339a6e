#include "runtime/qt_env.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "runtime/qt_socket.h"

namespace rtupoll {

namespace {

// A periodic timer on a Linux timerfd watched by a QSocketNotifier. QTimer
// rounds every wait of the event loop up to a whole millisecond, so a 10 ms
// step timer armed a fraction of a millisecond after the loop last woke
// fires up to 1 ms late, and the poll cycle's four steps add up to 2 ms on
// average. The timerfd wakes the loop to the microsecond. Like a QTimer, it
// keeps a fixed rate, folds ticks missed while the loop was blocked into
// one, and never delivers a tick while its own previous tick is running.
class QtTimer : public TimerDriver {
 public:
  explicit QtTimer(std::function<void()> on_tick)
      : on_tick_(std::move(on_tick)), fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::system_category(), "timerfd_create");
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { expired(); });
  }
  ~QtTimer() override {
    notifier_.reset();
    close(fd_);
  }

  void start(std::chrono::milliseconds interval) override {
    // At least a nanosecond: a zero value would disarm the timerfd.
    const Nanos period = std::max<Nanos>(interval, Nanos(1));
    const timespec each{static_cast<time_t>(period.count() / 1'000'000'000),
                        static_cast<long>(period.count() % 1'000'000'000)};
    const itimerspec spec{each, each};  // it_interval, it_value
    armed_ = timerfd_settime(fd_, 0, &spec, nullptr) == 0;
  }

  void stop() override {
    const itimerspec off{};
    timerfd_settime(fd_, 0, &off, nullptr);
    armed_ = false;
  }

 private:
  void expired() {
    if (ticking_) {
      // A wait inside the running tick: no wake-ups for this timer until
      // that tick is over, when the ticks missed meanwhile come as one.
      notifier_->setEnabled(false);
      return;
    }
    std::uint64_t expirations = 0;
    // Reading takes every expiration so far: missed ticks are folded.
    if (read(fd_, &expirations, sizeof expirations) != sizeof expirations || expirations == 0) return;
    if (!armed_) return;
    ticking_ = true;
    on_tick_();
    ticking_ = false;
    if (!notifier_->isEnabled()) notifier_->setEnabled(true);
  }

  std::function<void()> on_tick_;
  int fd_;
  std::unique_ptr<QSocketNotifier> notifier_;
  bool armed_ = false;
  bool ticking_ = false;
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
  return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

char QtEnv::decimalSeparator() const {
  const QString point = QLocale::system().decimalPoint();
  // The number readers work on 8-bit text; a separator outside ASCII
  // (Arabic, Persian) cannot occur in it.
  if (point.isEmpty() || point.front().unicode() > 0x7F) return '.';
  return static_cast<char>(point.front().unicode());
}

}  // namespace rtupoll
