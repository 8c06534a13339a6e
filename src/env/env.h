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
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Why a file operation failed.
enum class FileError {
  kNone,
  kMissing,   // no such file, or a folder on its path is missing
  kNotAFile,  // a folder, a FIFO or a device: only regular files are read or written
  kTooLarge,  // beyond the reader's limit
  kDenied,    // the permissions forbid it
  kNoSpace,   // the disk is full; the write could not be completed
  kExists,    // a new file was asked for and the name is taken
  kFailed,    // anything else
};

// What is at a path, following symbolic links.
struct FileStatus {
  bool exists = false;
  bool regular = false;   // a plain file, not a folder, FIFO or device
  bool writable = false;  // the user may write it
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

  // Files. Paths are UTF-8, with '/' between names.
  //
  // Reads a whole regular file of at most `limit` bytes into `bytes`. It
  // never waits: a FIFO or a device is kNotAFile, not something to read.
  virtual FileError readFile(const std::string& path, std::size_t limit, std::string& bytes) = 0;
  // Makes a new file holding exactly `bytes` (kExists when the name is
  // taken), with the permissions of the file `like` if that exists. With
  // `flush` the bytes are on the disk when it returns. A failure leaves no
  // file behind.
  virtual FileError createFile(const std::string& path, std::string_view bytes, const std::string& like,
                                bool flush) = 0;
  // Gives `from` the name `to` in one step, replacing what `to` named.
  virtual FileError renameFile(const std::string& from, const std::string& to) = 0;
  // Rewrites an existing regular file in place with exactly `bytes`.
  virtual FileError overwriteFile(const std::string& path, std::string_view bytes, bool flush) = 0;
  virtual FileError removeFile(const std::string& path) = 0;
  virtual FileStatus fileStatus(const std::string& path) const = 0;
  // The path with every symbolic link along it followed to its end: the
  // file that a write through the path would change. Nothing for a loop of
  // links, or a link that points into a folder that does not exist.
  virtual std::optional<std::string> resolveLinks(const std::string& path) const = 0;
  // The names in the folder, without "." and ".."; none when it cannot be listed.
  virtual std::vector<std::string> listFolder(const std::string& path) const = 0;
  // Tells this run's temporary files from those of other runs.
  virtual std::uint64_t processId() const = 0;

  // The folder that holds the program, without a trailing separator.
  virtual std::string programFolder() const = 0;
  // The decimal separator of the user's number format.
  virtual char decimalSeparator() const = 0;
};

}  // namespace rtupoll
