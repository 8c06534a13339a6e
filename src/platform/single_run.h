#pragma once

// One poller per program folder. Two runs from one folder would poll the
// same devices (a device or gateway that takes one client lets only one of
// them in), rewrite the same data.csv every second, and leave setting.ini
// as whichever closed last. A run holds the lock file rtupoll.lock in its
// program folder for as long as it runs (an installer looks for it too);
// a run killed without letting go leaves a stale lock, which the next
// start takes over. A second start from the folder asks the running one,
// over a local socket named after the folder, to bring its window to the
// front, and ends without writing anything.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>

namespace rtupoll {

inline constexpr const char* kLockFileName = "rtupoll.lock";

class SingleRun : public QObject {
 public:
  explicit SingleRun(const QString& program_folder, QObject* parent = nullptr);
  ~SingleRun() override;
  SingleRun(const SingleRun&) = delete;
  SingleRun& operator=(const SingleRun&) = delete;

  // Takes the folder for this run. False when another run has it: that run
  // has been asked to come to the front, and why is in refusal().
  bool claim();
  QString refusal() const { return refusal_; }
  // Runs whenever a later start from the folder asks for the window.
  void onAskedToFront(std::function<void()> action) { asked_to_front_ = std::move(action); }
  // Lets the folder go; the program ends without its destructors.
  void release();

 private:
  // Asks a run that listens for this folder to come to the front.
  bool askRunningToFront();
  void listen();

  QString folder_;
  QString server_name_;
  QLockFile lock_;
  QLocalServer server_;
  QString refusal_;
  std::function<void()> asked_to_front_;
};

}  // namespace rtupoll
