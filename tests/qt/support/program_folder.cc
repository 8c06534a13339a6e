#include "qt/support/program_folder.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace rtupoll::testing {

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 20s;

// Whether the process has a handler for the signal, from the mask of caught
// signals the kernel shows.
bool catches(qint64 pid, int signal_number) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    return (mask >> (signal_number - 1)) & 1u;
  }
  return false;
}

QStringList entries(const QString& path) {
  return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

ProgramFolder::ProgramFolder() {
  if (!QFile::copy(RTUPOLL_EXE, folder_.filePath("rtupoll"))) throw std::runtime_error("cannot copy " RTUPOLL_EXE);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  process_.setProcessEnvironment(environment);
  process_.setWorkingDirectory(working_folder_.path());
  process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
}

ProgramFolder::~ProgramFolder() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished();
  }
}

void ProgramFolder::write(const QString& name, const QByteArray& bytes) const {
  QFile file(filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + name.toStdString());
}

QByteArray ProgramFolder::read(const QString& name) const {
  QFile file(filePath(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

// Qt's own warnings (a runtime folder, a font) are no lines of the program's.
QStringList ownLines(const QByteArray& errors) {
  return QString::fromLocal8Bit(errors).split('\n').filter(QRegularExpression("^rtupoll: "));
}

}  // namespace

QStringList ProgramFolder::toldLines() {
  errors_ += process_.readAllStandardError();
  return ownLines(errors_);
}

int ProgramFolder::startAgain(int seconds, QStringList& told) {
  QProcess again;
  again.setProcessEnvironment(process_.processEnvironment());
  again.setWorkingDirectory(working_folder_.path());
  again.start(filePath("rtupoll"), {});
  const bool ended = again.waitForFinished(seconds * 1000);
  told = ownLines(again.readAllStandardError());
  if (!ended) again.kill();
  return ended && again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
}

QStringList ProgramFolder::files() const { return entries(folder_.path()); }
QStringList ProgramFolder::filesInWorkingFolder() const { return entries(working_folder_.path()); }

void ProgramFolder::setEnvironment(const QString& name, const QString& value) {
  QProcessEnvironment environment = process_.processEnvironment();
  environment.insert(name, value);
  process_.setProcessEnvironment(environment);
}

bool ProgramFolder::start() {
  process_.start(filePath("rtupoll"), {});
  if (!process_.waitForStarted()) return false;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (catches(process_.processId(), SIGTERM) && catches(process_.processId(), SIGINT) &&
        catches(process_.processId(), SIGHUP))
      return true;
    if (process_.state() == QProcess::NotRunning) return false;
    QThread::msleep(5);
  }
  return false;
}

bool ProgramFolder::stopWith(int signal_number) {
  if (kill(static_cast<pid_t>(process_.processId()), signal_number) != 0) return false;
  if (!process_.waitForFinished(std::chrono::milliseconds(kPatience).count())) return false;
  return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

}  // namespace rtupoll::testing
