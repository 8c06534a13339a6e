#pragma once

// The built program in a temporary program folder of its own: the program
// keeps setting.ini and data.csv next to itself, so each run gets a fresh
// copy of the executable. It runs offscreen, from another working folder,
// and is ended by a signal as a desktop session would end it.

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace rtupoll::testing {

class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  QString filePath(const QString& name) const { return folder_.filePath(name); }
  void write(const QString& name, const QByteArray& bytes) const;
  QByteArray read(const QString& name) const;
  QStringList files() const;
  QStringList filesInWorkingFolder() const;

  // An environment variable for the program, before it starts.
  void setEnvironment(const QString& name, const QString& value);
  // Starts the program and returns once it has taken over the quit signals
  // (false if it never did).
  bool start();
  // Sends the signal and waits for the program to end; true if it ended
  // by itself with exit code 0.
  bool stopWith(int signal_number);
  // The program's own lines on standard error so far ("rtupoll: ...").
  QStringList toldLines();
  // Another start of the program from this folder, to its end: its exit
  // code (-1 if it did not end within `seconds`) and its own stderr lines.
  int startAgain(int seconds, QStringList& told);

 private:
  QTemporaryDir folder_;
  QTemporaryDir working_folder_;
  QProcess process_;
  QByteArray errors_;
};

}  // namespace rtupoll::testing
