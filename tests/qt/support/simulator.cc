#include "qt/support/simulator.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace rtupoll::testing {

namespace {
constexpr int kWaitMs = 10000;
}  // namespace

Simulator::Simulator(const QStringList& args) {
  process_.setProgram(RTU_SIM_EXE);
  process_.setArguments(args);
  process_.start();
}

Simulator::~Simulator() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(kWaitMs);
  }
}

std::vector<quint16> Simulator::waitForPorts(std::size_t count, const QString& kind) {
  static const QRegularExpression line(R"(^(\w+) on 127\.0\.0\.1:(\d+)$)");
  QElapsedTimer clock;
  clock.start();
  while (ports_[kind].size() < count && clock.elapsed() < kWaitMs) {
    if (!process_.canReadLine() && !process_.waitForReadyRead(static_cast<int>(kWaitMs - clock.elapsed()))) break;
    while (process_.canReadLine()) {
      auto match = line.match(QString::fromLatin1(process_.readLine()).trimmed());
      if (match.hasMatch()) ports_[match.captured(1)].push_back(match.captured(2).toUShort());
    }
  }
  return ports_[kind];
}

}  // namespace rtupoll::testing
