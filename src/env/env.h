#pragma once

// Everything the core needs from the outside world: timers, TCP sockets,
// a monotonic clock, a way to keep the event loop running from inside a
// handler, files, and where the program lives. The product runs on QtEnv;
// the tests run on VirtualEnv, whose clock only moves when a test says so
// and whose files live in memory, with faults to order.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "env/files.h"

namespace rtupoll {

using Nanos = std::chrono::nanoseconds;

// A periodic timer. No tick comes before its time: the first is due one
// interval after start(), each next one an interval later. A timer faster
// than kBurstBelow (env/timer_bursts.h) delivers its ticks in bursts:
// every ticksPerWake(interval) intervals, the ticks due by then, one after
// another, each a call of its own; any other timer ticks at its time. A
// timer's tick is never delivered while that timer's previous tick is still
// running (other timers' ticks and socket events are). A tick that runs
// longer than its timer's burst (it waits for events) ends the burst: the
// ticks left in it are dropped, as ticks missed meanwhile, and the next
// burst comes a whole burst after it returned. A stop or a restart inside a
// tick drops the rest of the burst too.
class TimerDriver {
 public:
  virtual ~TimerDriver() = default;
  virtual void start(std::chrono::milliseconds interval) = 0;
  virtual void stop() = 0;
};

// What a socket's link is doing, as seen from the client.
enum class LinkState {
  kClosed,      // never opened, or closed by us
  kResolving,   // looking up the host name
  kConnecting,  // TCP handshake under way
  kConnected,
  kClosing,     // we asked to close, not finished yet
  kPeerClosed,  // the peer ended the connection; stays so until abort()
  kFailed,      // the attempt or the link failed; stays so until abort()
};

// A TCP client socket.
class SocketDriver {
 public:
  virtual ~SocketDriver() = default;
  // Starts an attempt and returns at once; the outcome shows in state().
  virtual void connectToHost(const std::string& host, std::uint16_t port) = 0;
  // Drops the link (or the attempt) at once; state() becomes kClosed.
  virtual void abort() = 0;
  virtual LinkState state() const = 0;
  // Queues the bytes for sending; false when the socket cannot take them.
  virtual bool write(std::span<const std::uint8_t> bytes) = 0;
  virtual std::size_t bytesAvailable() const = 0;
  // Takes up to out.size() received bytes; returns how many.
  virtual std::size_t read(std::span<std::uint8_t> out) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  virtual std::unique_ptr<TimerDriver> createTimer(std::function<void()> on_tick) = 0;
  // on_data_arrival runs whenever new received bytes are waiting.
  virtual std::unique_ptr<SocketDriver> createSocket(std::function<void()> on_data_arrival) = 0;

  // Time since an arbitrary fixed point; never jumps back.
  virtual Nanos monotonicNow() const = 0;
  // Handles pending events, blocking until at least one has been handled or
  // the deadline (on the monotonicNow() scale) has passed. Never spins.
  virtual void waitForEvents(Nanos deadline) = 0;

  // The program's files, behind an interface of their own (env/files.h).
  virtual Files& files() = 0;

  // The folder that holds the program, without a trailing separator.
  virtual std::string programFolder() const = 0;
  // The decimal separator of the user's number format.
  virtual char decimalSeparator() const = 0;
  // One line, without its line end, for whoever watches the program's
  // standard error: a failure the operator must hear of even with no window.
  virtual void warn(const std::string& line) = 0;
};

}  // namespace rtupoll
