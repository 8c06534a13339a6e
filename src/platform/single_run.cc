#include "platform/single_run.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace rtupoll {

namespace {

// A running program answers at once; one that does not within this long is
// stuck or gone.
constexpr int kAnswerMs = 2000;

// One name per folder, however the folder was named on the command line.
QString serverName(const QString& folder) {
  QString canonical = QDir(folder).canonicalPath();
#ifdef Q_OS_WIN
  canonical = canonical.toLower();  // Windows paths ignore letter case
#endif
  return "rtupoll-" + QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
}

// Windows lets a program take the foreground only when the one in front
// allows it: this start, which the operator just made, allows the running one.
void allowToFront([[maybe_unused]] qint64 pid) {
#ifdef Q_OS_WIN
  AllowSetForegroundWindow(static_cast<DWORD>(pid));
#endif
}

}  // namespace

SingleRun::SingleRun(const QString& program_folder, QObject* parent)
    : QObject(parent),
      folder_(program_folder),
      server_name_(serverName(program_folder)),
      lock_(QDir(program_folder).filePath(kLockFileName)) {
  // A lock is stale only when the run that took it has ended, never by age:
  // a poller runs for weeks.
  lock_.setStaleLockTime(0);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* asking = server_.nextPendingConnection()) {
      asking->disconnectFromServer();
      asking->deleteLater();
    }
    if (asked_to_front_) asked_to_front_();
  });
}

SingleRun::~SingleRun() = default;

bool SingleRun::claim() {
  if (lock_.tryLock(0)) {
    listen();
    return true;
  }
  // Where no lock can be made (a folder this user may not write), the
  // local socket alone keeps a second run out.
  const bool held = lock_.error() == QLockFile::LockFailedError;
  QString running = QStringLiteral("already running from %1").arg(QDir::toNativeSeparators(folder_));
  if (held) {
    qint64 pid = 0;
    QString host;
    QString application;
    lock_.getLockInfo(&pid, &host, &application);
    allowToFront(pid);
    running += QStringLiteral(" (process %1)").arg(pid);
  }
  if (askRunningToFront()) {
    refusal_ = running + QStringLiteral("; its window is brought to the front");
    return false;
  }
  // Nobody answers for the lock: the run that took it ended without letting
  // it go, and the process number it names may be another process's by now
  // (Wine hands the same small numbers out again), which the lock's own
  // check takes for its owner. A live run's lock cannot be removed.
  if (held && !(lock_.removeStaleLockFile() && lock_.tryLock(0))) {
    refusal_ = running;
    return false;
  }
  listen();
  return true;
}

bool SingleRun::askRunningToFront() {
  QLocalSocket socket;
  socket.connectToServer(server_name_);
  if (!socket.waitForConnected(kAnswerMs)) return false;
  socket.write("front\n");
  socket.waitForBytesWritten(kAnswerMs);
  socket.disconnectFromServer();
  return true;
}

void SingleRun::listen() {
  // A killed run may have left its socket's name behind; nobody answers
  // there, or this run would not have come so far.
  QLocalServer::removeServer(server_name_);
  server_.listen(server_name_);
}

void SingleRun::release() {
  server_.close();
  lock_.unlock();
}

}  // namespace rtupoll
