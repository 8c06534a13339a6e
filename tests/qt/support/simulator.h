#pragma once

// The device simulator rtu-sim as a process of the test: started with the
// given arguments, killed when the object goes; its --seconds option bounds
// its life even if the test itself dies.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <map>
#include <vector>

namespace rtupoll::testing {

class Simulator {
 public:
  explicit Simulator(const QStringList& args);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The ports of its "KIND on 127.0.0.1:PORT" lines (KIND: listening,
  // refusing or hanging), in command-line order; fewer if it did not print
  // them in time.
  std::vector<quint16> waitForPorts(std::size_t count, const QString& kind = "listening");
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  std::map<QString, std::vector<quint16>> ports_;
};

}  // namespace rtupoll::testing
