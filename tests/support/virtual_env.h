#pragma once

// An Env on a virtual clock, for tests. Time moves only inside advance()
// and inside waitForEvents(); every due event then runs in time order.
// Timers keep the Qt rule: a timer whose tick handler is still running
// (because it waits for events inside) gets no further tick until it
// returns, and the ticks missed that way are dropped: the next one comes a
// full interval after the long tick returned.
//
// VirtualEnv keeps its files in memory (VirtualFiles), in a program folder
// that exists from the start. VirtualRuntime is the same runtime with the
// files left to a subclass: a test of the real files on the virtual clock.
//
// The network is scripted: a test registers a VirtualPeer for a host and
// port, and the peer decides whether and when a connect succeeds and what
// comes back. A connect to an endpoint nobody registered is refused.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "env/env.h"
#include "support/virtual_files.h"

namespace rtupoll {

class VirtualRuntime;
class VirtualSocket;

// The server side of one connection, handed to a VirtualPeer.
class VirtualLink : public std::enable_shared_from_this<VirtualLink> {
 public:
  VirtualLink(VirtualRuntime& env, VirtualSocket* socket) : env_(env), socket_(socket) {}
  // Bytes that reach the client after the delay.
  void deliver(std::vector<std::uint8_t> bytes, Nanos delay = Nanos(0));
  // The peer ends the connection after the delay.
  void closeFromPeer(Nanos delay = Nanos(0));
  bool open() const { return socket_ != nullptr; }

 private:
  friend class VirtualSocket;
  VirtualRuntime& env_;
  VirtualSocket* socket_;  // null once the client side is gone
};

struct ConnectPlan {
  enum class Outcome { kAccept, kRefuse, kHang } outcome = Outcome::kAccept;
  Nanos delay = std::chrono::milliseconds(1);
};

class VirtualPeer {
 public:
  virtual ~VirtualPeer() = default;
  virtual ConnectPlan onConnect() { return {}; }
  // The connection stands; the link is the peer's way to talk first.
  virtual void onAccept(VirtualLink& /*link*/) {}
  // Every write of the client, as it was written.
  virtual void onData(VirtualLink& link, const std::vector<std::uint8_t>& bytes) = 0;
};

class VirtualSocket : public SocketDriver {
 public:
  VirtualSocket(VirtualRuntime& env, std::function<void()> on_data_arrival);
  ~VirtualSocket() override;

  void connectToHost(const std::string& host, std::uint16_t port) override;
  void abort() override;
  LinkState state() const override { return state_; }
  bool write(std::span<const std::uint8_t> bytes) override;
  std::size_t bytesAvailable() const override { return received_.size(); }
  std::size_t read(std::span<std::uint8_t> out) override;

  // For tests: where the last attempt went, and every write in order.
  const std::string& host() const { return host_; }
  std::uint16_t port() const { return port_; }
  const std::vector<std::vector<std::uint8_t>>& writes() const { return writes_; }
  int connectCalls() const { return connect_calls_; }

 private:
  friend class VirtualLink;
  void receive(const std::vector<std::uint8_t>& bytes);
  void dropLink(LinkState new_state);

  VirtualRuntime& env_;
  std::function<void()> on_data_arrival_;
  LinkState state_ = LinkState::kClosed;
  std::string host_;
  std::uint16_t port_ = 0;
  std::uint64_t attempt_ = 0;  // events of an older attempt are ignored
  std::vector<std::uint8_t> received_;
  std::vector<std::vector<std::uint8_t>> writes_;
  std::shared_ptr<VirtualLink> link_;
  VirtualPeer* peer_ = nullptr;
  int connect_calls_ = 0;
};

class VirtualRuntime : public Env {
 public:
  explicit VirtualRuntime(std::string program_folder, char decimal_separator = '.');
  ~VirtualRuntime() override;

  std::unique_ptr<TimerDriver> createTimer(std::function<void()> on_tick) override;
  std::unique_ptr<SocketDriver> createSocket(std::function<void()> on_data_arrival) override;
  Nanos monotonicNow() const override { return now_; }
  void waitForEvents(Nanos deadline) override;
  std::string programFolder() const override { return program_folder_; }
  char decimalSeparator() const override { return decimal_separator_; }
  void warn(const std::string& line) override { warnings_.push_back(line); }
  // The lines warn() was given, oldest first.
  const std::vector<std::string>& warnings() const { return warnings_; }

  // A file of the program folder, by name.
  std::string file(const std::string& name) const { return program_folder_ + "/" + name; }

  // Runs every event due within the next `span` of virtual time.
  void advance(Nanos span);
  // Runs events until the predicate holds or `limit` of virtual time passed;
  // returns whether it holds.
  bool advanceUntil(const std::function<bool()>& done, Nanos limit);

  void listen(const std::string& host, std::uint16_t port, VirtualPeer* peer);
  VirtualPeer* peerAt(const std::string& host, std::uint16_t port) const;

  // The sockets in the order they were created.
  VirtualSocket& socket(std::size_t index) const { return *sockets_.at(index); }

  // Schedules a one-off action at now + delay.
  void post(Nanos delay, std::function<void()> action);

 private:
  friend class VirtualSocket;
  struct Posted {
    Nanos due;
    std::uint64_t seq;
    std::function<void()> action;
  };
  class VirtualTimer;

  // Runs the earliest event due at or before `limit`; false if none.
  bool runNext(Nanos limit);

  Nanos now_{0};
  std::uint64_t seq_ = 0;
  std::vector<Posted> posted_;
  std::vector<VirtualTimer*> timers_;
  std::vector<VirtualSocket*> sockets_;
  std::map<std::pair<std::string, std::uint16_t>, VirtualPeer*> peers_;
  std::string program_folder_;
  char decimal_separator_;
  std::vector<std::string> warnings_;
};

// The runtime with its files in memory, which can fail on order.
class VirtualEnv : public VirtualRuntime {
 public:
  explicit VirtualEnv(std::string program_folder = "/program", char decimal_separator = '.');

  testing::VirtualFiles& files() override { return files_; }
  const testing::VirtualFiles& files() const { return files_; }

 private:
  testing::VirtualFiles files_;
};

}  // namespace rtupoll
