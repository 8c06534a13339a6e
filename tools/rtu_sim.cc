// rtu-sim: simulated field devices for rtupoll's demo, tests and benchmarks.
//
// One Modbus TCP server per port given on the command line, all on 127.0.0.1
// and nowhere else, so that a demo or a test can never reach a real plant.
// One thread: a single ppoll() waits on every listening and client socket,
// libmodbus decodes each request and builds the answer from a register map
// that is refreshed from a monotonic clock just before the answer goes out.
//
// Holding registers 0..9999 of device d (d = 0 for the first port given,
// 1 for the second, ...; --first-device moves the start), values modulo 65536, t = seconds since start:
//   0        counter      1000*d + floor(t)
//   1        slow sine    round(1000 + 1000*sin(2*pi*(t/60 + d/3)))  (0..2000)
//   2        sawtooth     (floor(t) + 33*d) mod 100
//   3..9     fixed        100*(d+1) + address   (103..109, 203..209, ...)
//   10..9999 fixed        10000*d + address
// With --live, for the benchmarks, every fourth register from 2 on (2, 6,
// 10, ...) changes every second, and so does the counter: register a >= 6
// of them reads (10000*d + a + floor(t)) mod 65536, and the sine holds its
// value of t = 0, so that exactly these registers change, once a second.
// Registers 0..2 are rewritten before every answer; a write to any other
// register (functions 6 and 16) is kept.  Reads beyond 9999 get exception 2
// (illegal data address), as libmodbus answers them; a quantity the Modbus
// standard does not allow (a read of 0 or of more than 125 registers) gets
// exception 3 (illegal data value) and an unknown function exception 1, at
// once, and the next request is served as usual.
//
// For the benchmarks it can also write down when each request arrived
// (--log) and hold ports where a device is down: refused, or hanging in the
// handshake (--refusing, --hanging). For the link-fault tests and the demo
// it can act as the devices of a poor field: one that ends every connection
// after a while (--close-after), one that serves a single client at a time
// and resets any other (--single-client).

#include <modbus/modbus.h>
#include <modbus/modbus-tcp.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loopback_peers.h"

namespace rtupoll {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr int kRegisterCount = 10000;
constexpr int kListenBacklog = 16;
// Answer latency is meant for benchmarks on loopback, not for timeouts.
constexpr int kMaxDelayMs = 10000;

struct Options {
  std::vector<int> ports;
  std::optional<double> seconds;
  int delayMs = 0;
  int firstDevice = 0;  // the number d of the first port's device
  bool verbose = false;
  std::string logPath;
  int refusing = 0;  // how many ports to hold that refuse connections
  int hanging = 0;   // how many ports to hold whose connects hang
  std::optional<double> closeAfter;  // seconds a connection lasts
  bool singleClient = false;
  bool live = false;
};

void printUsage(std::FILE* to) {
  std::fprintf(to,
      "usage: rtu-sim [--port PORT]... [PORT]... [--seconds N] [--delay-ms N] [--first-device D] [--verbose]\n"
      "               [--log FILE] [--refusing]... [--hanging]... [--close-after N] [--single-client] [--live]\n"
      "  Serves Modbus TCP holding registers 0..9999 on 127.0.0.1 at each PORT\n"
      "  (0 picks a free port). Prints \"listening on 127.0.0.1:PORT\" per port.\n"
      "  --seconds N    stop by itself after N seconds\n"
      "  --delay-ms N   answer each request N ms after it arrived (0..%d)\n"
      "  --first-device D  number the devices from D instead of 0 (their values\n"
      "                 differ by device), so separate processes act as other devices\n"
      "  --verbose      print one line per request\n"
      "  --log FILE     write one line per request to FILE, as it arrives:\n"
      "                 monotonic_ns port transaction_id function address count\n"
      "  --refusing     also hold a port where connects are refused; prints\n"
      "                 \"refusing on 127.0.0.1:PORT\"\n"
      "  --hanging      also hold a port where connects hang (full accept queue);\n"
      "                 prints \"hanging on 127.0.0.1:PORT\"\n"
      "  --close-after N  close every connection N seconds after accepting it\n"
      "  --single-client  serve one client per port at a time; reset any other at\n"
      "                 once and print \"turned away a client on 127.0.0.1:PORT\"\n"
      "  --live         every fourth register from 2 on changes every second, the\n"
      "                 sine holds still (live values for the benchmarks)\n"
      "  --bind ADDR    only 127.0.0.1 is accepted: the simulator serves loopback only\n",
      kMaxDelayMs);
}

std::optional<long> parseInteger(std::string_view text, long low, long high) {
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(copy.c_str(), &end, 10);
  if (copy.empty() || errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> positiveSeconds(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string copy(*text);
  char* end = nullptr;
  double seconds = std::strtod(copy.c_str(), &end);
  if (copy.empty() || *end != '\0' || !(seconds > 0) || !std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

// Returns the options, or nothing after printing why the command line is refused.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    auto refuse = [&](const char* why) {
      std::fprintf(stderr, "rtu-sim: %s: %.*s\n", why, static_cast<int>(arg.size()), arg.data());
      printUsage(stderr);
      return std::optional<Options>();
    };
    if (arg == "--help" || arg == "-h") {
      printUsage(stdout);
      std::exit(0);
    } else if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
    } else if (arg == "--log") {
      auto text = value();
      if (!text || text->empty()) return refuse("needs a file");
      options.logPath = std::string(*text);
    } else if (arg == "--refusing") {
      ++options.refusing;
    } else if (arg == "--hanging") {
      ++options.hanging;
    } else if (arg == "--port" || arg == "-p") {
      auto text = value();
      auto port = text ? parseInteger(*text, 0, 65535) : std::nullopt;
      if (!port) return refuse("needs a port from 0 to 65535");
      options.ports.push_back(static_cast<int>(*port));
    } else if (arg == "--seconds" || arg == "--close-after") {
      auto seconds = positiveSeconds(value());
      if (!seconds) return refuse("needs a number of seconds above 0");
      (arg == "--seconds" ? options.seconds : options.closeAfter) = seconds;
    } else if (arg == "--single-client") {
      options.singleClient = true;
    } else if (arg == "--live") {
      options.live = true;
    } else if (arg == "--delay-ms") {
      auto text = value();
      auto delay = text ? parseInteger(*text, 0, kMaxDelayMs) : std::nullopt;
      if (!delay) return refuse("needs a delay in milliseconds");
      options.delayMs = static_cast<int>(*delay);
    } else if (arg == "--first-device") {
      auto text = value();
      auto device = text ? parseInteger(*text, 0, 5) : std::nullopt;
      if (!device) return refuse("needs a device number from 0 to 5");
      options.firstDevice = static_cast<int>(*device);
    } else if (arg == "--bind") {
      auto text = value();
      if (!text || *text != kLoopback) {
        std::fprintf(stderr, "rtu-sim: serves on 127.0.0.1 only, refusing to bind to %s\n",
                     text ? std::string(*text).c_str() : "(nothing)");
        return std::nullopt;
      }
    } else if (auto port = parseInteger(arg, 0, 65535)) {
      options.ports.push_back(static_cast<int>(*port));
    } else {
      return refuse("unknown argument");
    }
  }
  if (options.ports.empty() && options.refusing == 0 && options.hanging == 0) {
    std::fprintf(stderr, "rtu-sim: no port given\n");
    printUsage(stderr);
    return std::nullopt;
  }
  return options;
}

struct ModbusDeleter {
  void operator()(modbus_t* ctx) const { modbus_free(ctx); }
};
struct MappingDeleter {
  void operator()(modbus_mapping_t* map) const { modbus_mapping_free(map); }
};

// One simulated device: a listening socket and its register map.
struct Device {
  int index = 0;
  int port = 0;
  int listenFd = -1;
  std::unique_ptr<modbus_t, ModbusDeleter> ctx;
  std::unique_ptr<modbus_mapping_t, MappingDeleter> map;
};

// The exception a device answers a request with when it refuses the
// request's function, quantity or value; nothing when the request is for
// libmodbus to serve. libmodbus refuses these itself only after its
// response timeout and then discards whatever the client sent meanwhile,
// the next request too; a device answers at once and serves what follows.
// The limits are those of the Modbus Application Protocol V1.1b3, 6.1-6.17.
std::optional<uint8_t> refusal(const uint8_t* pdu, int length) {
  constexpr uint8_t kIllegalFunction = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
  constexpr uint8_t kIllegalValue = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
  auto word = [&](int at) { return at + 1 < length ? (pdu[at] << 8) | pdu[at + 1] : -1; };
  auto byte = [&](int at) { return at < length ? int{pdu[at]} : -1; };
  auto within = [](int value, int low, int high) { return value >= low && value <= high; };
  const int quantity = word(3);
  switch (length > 0 ? pdu[0] : 0) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_READ_DISCRETE_INPUTS:
      if (!within(quantity, 1, MODBUS_MAX_READ_BITS)) return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_READ_INPUT_REGISTERS:
      if (!within(quantity, 1, MODBUS_MAX_READ_REGISTERS)) return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_WRITE_SINGLE_COIL:
      if (quantity != 0x0000 && quantity != 0xFF00) return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
      if (!within(quantity, 1, MODBUS_MAX_WRITE_BITS) || byte(5) != (quantity + 7) / 8) return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
      if (!within(quantity, 1, MODBUS_MAX_WRITE_REGISTERS) || byte(5) != 2 * quantity) return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_WRITE_AND_READ_REGISTERS:
      if (!within(quantity, 1, MODBUS_MAX_WR_READ_REGISTERS) || !within(word(7), 1, MODBUS_MAX_WR_WRITE_REGISTERS) ||
          byte(9) != 2 * word(7))
        return kIllegalValue;
      return std::nullopt;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_REPORT_SLAVE_ID:
    case MODBUS_FC_MASK_WRITE_REGISTER:
      return std::nullopt;
    default:
      return kIllegalFunction;
  }
}

struct PendingAnswer {
  Clock::time_point due;
  std::vector<uint8_t> request;
};

struct Client {
  int fd = -1;
  Device* device = nullptr;
  std::deque<PendingAnswer> pending;
  bool closed = false;
  std::optional<Clock::time_point> closeAt;  // --close-after
};

void fillFixedRegisters(Device& device) {
  uint16_t* regs = device.map->tab_registers;
  for (int address = 3; address < 10; ++address)
    regs[address] = static_cast<uint16_t>(100 * (device.index + 1) + address);
  for (int address = 10; address < kRegisterCount; ++address)
    regs[address] = static_cast<uint16_t>(10000 * device.index + address);
}

void refreshChangingRegisters(Device& device, double elapsedSeconds, bool live) {
  uint16_t* regs = device.map->tab_registers;
  const auto wholeSeconds = static_cast<long long>(elapsedSeconds);
  const double phase = (live ? 0.0 : elapsedSeconds / 60.0) + device.index / 3.0;
  if (live)
    for (int address = 6; address < kRegisterCount; address += 4)
      regs[address] = static_cast<uint16_t>(10000LL * device.index + address + wholeSeconds);
  regs[0] = static_cast<uint16_t>(1000LL * device.index + wholeSeconds);
  regs[1] = static_cast<uint16_t>(std::lround(1000.0 + 1000.0 * std::sin(2.0 * std::numbers::pi * phase)));
  regs[2] = static_cast<uint16_t>((wholeSeconds + 33LL * device.index) % 100);
}

// Opens the listening socket; a port of 0 becomes the port the system chose.
bool openDevice(Device& device, int requestedPort) {
  device.ctx.reset(modbus_new_tcp(kLoopback, requestedPort));
  device.map.reset(modbus_mapping_new_start_address(0, 0, 0, 0, 0, kRegisterCount, 0, 0));
  if (!device.ctx || !device.map) {
    std::fprintf(stderr, "rtu-sim: %s\n", modbus_strerror(errno));
    return false;
  }
  device.listenFd = modbus_tcp_listen(device.ctx.get(), kListenBacklog);
  if (device.listenFd < 0) {
    std::fprintf(stderr, "rtu-sim: cannot listen on %s:%d: %s\n", kLoopback, requestedPort,
                 modbus_strerror(errno));
    return false;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(device.listenFd, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
      bound.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
    std::fprintf(stderr, "rtu-sim: listening socket is not on %s\n", kLoopback);
    return false;
  }
  device.port = ntohs(bound.sin_port);
  fillFixedRegisters(device);
  return true;
}

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

// SIGINT and SIGTERM stay blocked except inside ppoll(), so a stop request is
// seen by the loop without a race between checking the flag and waiting.
sigset_t installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSet, waitMask;
  sigemptyset(&stopSet);
  sigaddset(&stopSet, SIGINT);
  sigaddset(&stopSet, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSet, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  return waitMask;
}

class Simulator {
 public:
  explicit Simulator(const Options& options) : options_(options) {}

  ~Simulator() {
    for (Client& client : clients_) close(client.fd);
    if (log_ != nullptr) std::fclose(log_);
    for (Device& device : devices_)
      if (device.listenFd >= 0) close(device.listenFd);
  }

  bool open() {
    devices_.resize(options_.ports.size());
    for (size_t i = 0; i < devices_.size(); ++i) {
      devices_[i].index = options_.firstDevice + static_cast<int>(i);
      if (!openDevice(devices_[i], options_.ports[i])) return false;
    }
    if (!options_.logPath.empty()) {
      log_ = std::fopen(options_.logPath.c_str(), "w");
      if (log_ == nullptr) {
        std::perror(options_.logPath.c_str());
        return false;
      }
      std::setvbuf(log_, nullptr, _IOLBF, 0);  // a reader sees whole lines as they come
    }
    for (int i = 0; i < options_.refusing; ++i) refusing_.push_back(std::make_unique<RefusingPort>());
    for (int i = 0; i < options_.hanging; ++i) hanging_.push_back(std::make_unique<HangingListener>());
    for (const Device& device : devices_) std::printf("listening on %s:%d\n", kLoopback, device.port);
    for (const auto& port : refusing_) std::printf("refusing on %s:%u\n", kLoopback, port->port());
    for (const auto& port : hanging_) std::printf("hanging on %s:%u\n", kLoopback, port->port());
    std::fflush(stdout);
    return true;
  }

  // Serves until a stop signal or the end of --seconds; returns the exit status.
  int run(const sigset_t& waitMask) {
    const auto stopAt = options_.seconds
        ? std::optional(start_ + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(*options_.seconds)))
        : std::nullopt;
    while (stopSignal == 0 && (!stopAt || Clock::now() < *stopAt)) {
      std::vector<pollfd> fds;
      for (const Device& device : devices_) fds.push_back({device.listenFd, POLLIN, 0});
      for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});
      const auto wake = nextWake(stopAt);
      timespec timeout = wake ? timeUntil(*wake) : timespec{};
      int ready = ppoll(fds.data(), fds.size(), wake ? &timeout : nullptr, &waitMask);
      if (ready < 0 && errno != EINTR) {
        std::perror("rtu-sim: ppoll");
        return 1;
      }
      if (ready > 0) {
        // Clients first: accepting appends to clients_, which fds does not cover yet.
        for (size_t i = 0; i < clients_.size(); ++i)
          if (fds[devices_.size() + i].revents != 0) receive(clients_[i]);
        for (size_t i = 0; i < devices_.size(); ++i)
          if (fds[i].revents & POLLIN) accept(devices_[i]);
      }
      answerDueRequests();
      closeExpiredClients();
      dropClosedClients();
    }
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
  }

 private:
  std::optional<Clock::time_point> nextWake(std::optional<Clock::time_point> stopAt) const {
    std::optional<Clock::time_point> wake = stopAt;
    auto earlier = [&wake](Clock::time_point when) {
      if (!wake || when < *wake) wake = when;
    };
    for (const Client& client : clients_) {
      if (!client.pending.empty()) earlier(client.pending.front().due);
      if (client.closeAt) earlier(*client.closeAt);
    }
    return wake;
  }

  static timespec timeUntil(Clock::time_point when) {
    const auto left = std::max<Clock::duration>(when - Clock::now(), Clock::duration::zero());
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(left);
    auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left - secs);
    return timespec{static_cast<time_t>(secs.count()), static_cast<long>(nanos.count())};
  }

  void accept(Device& device) {
    int listenFd = device.listenFd;
    int fd = modbus_tcp_accept(device.ctx.get(), &listenFd);
    if (fd < 0) return;
    if (options_.singleClient && servesClient(device)) {
      turnAway(fd, device);
      return;
    }
    std::optional<Clock::time_point> closeAt;
    if (options_.closeAfter)
      closeAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(*options_.closeAfter));
    clients_.push_back(Client{fd, &device, {}, false, closeAt});
    if (options_.verbose) std::printf("%s:%d client connected\n", kLoopback, device.port);
  }

  bool servesClient(const Device& device) const {
    return std::any_of(clients_.begin(), clients_.end(),
                       [&device](const Client& client) { return client.device == &device && !client.closed; });
  }

  // As a device with room for one connection does: a reset, not a close,
  // so the client learns at once that it was not served.
  static void turnAway(int fd, const Device& device) {
    const linger abortive{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(fd);
    std::printf("turned away a client on %s:%d\n", kLoopback, device.port);
    std::fflush(stdout);
  }

  // An orderly close (FIN) once a connection has lasted --close-after.
  void closeExpiredClients() {
    const auto now = Clock::now();
    for (Client& client : clients_) {
      if (client.closed || !client.closeAt || now < *client.closeAt) continue;
      client.closed = true;
      if (options_.verbose) std::printf("%s:%d client closed\n", kLoopback, client.device->port);
    }
  }

  // Takes one request off the socket; libmodbus reads exactly one frame, so
  // requests that arrive together are served one per wake-up.
  void receive(Client& client) {
    uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_t* ctx = client.device->ctx.get();
    modbus_set_socket(ctx, client.fd);
    int length = modbus_receive(ctx, request);
    if (length < 0) {
      client.closed = true;
      if (options_.verbose) std::printf("%s:%d client gone\n", kLoopback, client.device->port);
      return;
    }
    if (length == 0) return;  // a frame libmodbus chose to ignore: nothing to answer
    // One reading of the clock, right after the wake-up, for the log and
    // for the answer's due time; the log line goes before any printing.
    const Clock::time_point arrived = Clock::now();
    if (const auto fields = requestFields(*client.device, request, length)) {
      if (log_ != nullptr) stampRequest(*client.device, *fields, arrived);
      if (options_.verbose) printRequest(*client.device, *fields);
    }
    client.pending.push_back(
        {arrived + std::chrono::milliseconds(options_.delayMs), std::vector<uint8_t>(request, request + length)});
  }

  // The fields of a request whose PDU holds a function code and two words
  // (address and count for the reads and the writes of several registers).
  struct RequestFields {
    unsigned transactionId, function, address, count;
  };
  static std::optional<RequestFields> requestFields(const Device& device, const uint8_t* request, int length) {
    const int header = modbus_get_header_length(device.ctx.get());
    if (length < header + 5) return std::nullopt;
    const uint8_t* pdu = request + header;
    return RequestFields{static_cast<unsigned>((request[0] << 8) | request[1]), pdu[0],
                         static_cast<unsigned>((pdu[1] << 8) | pdu[2]), static_cast<unsigned>((pdu[3] << 8) | pdu[4])};
  }

  static void printRequest(const Device& device, const RequestFields& f) {
    std::printf("%s:%d request tid=%u function=%u address=%u count=%u\n", kLoopback, device.port, f.transactionId,
                f.function, f.address, f.count);
    std::fflush(stdout);
  }

  // Stamped when the request was read, right after the wake-up: on an idle
  // machine that lies within tens of microseconds of its arrival.
  void stampRequest(const Device& device, const RequestFields& f, Clock::time_point arrived) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(arrived.time_since_epoch());
    std::fprintf(log_, "%lld %d %u %u %u %u\n", static_cast<long long>(ns.count()), device.port, f.transactionId,
                 f.function, f.address, f.count);
  }

  void answerDueRequests() {
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    for (Client& client : clients_) {
      while (!client.closed && !client.pending.empty() && client.pending.front().due <= now) {
        const PendingAnswer& answer = client.pending.front();
        Device& device = *client.device;
        refreshChangingRegisters(device, elapsed, options_.live);
        modbus_t* ctx = device.ctx.get();
        modbus_set_socket(ctx, client.fd);
        const int header = modbus_get_header_length(ctx);
        const int size = static_cast<int>(answer.request.size());
        const std::optional<uint8_t> refused = refusal(answer.request.data() + header, size - header);
        const int sent = refused ? modbus_reply_exception(ctx, answer.request.data(), *refused)
                                 : modbus_reply(ctx, answer.request.data(), size, device.map.get());
        if (sent < 0) client.closed = true;
        client.pending.pop_front();
      }
    }
  }

  void dropClosedClients() {
    for (Client& client : clients_)
      if (client.closed) close(client.fd);
    std::erase_if(clients_, [](const Client& client) { return client.closed; });
  }

  const Options& options_;
  const Clock::time_point start_ = Clock::now();
  std::vector<Device> devices_;
  std::vector<Client> clients_;
  std::vector<std::unique_ptr<RefusingPort>> refusing_;
  std::vector<std::unique_ptr<HangingListener>> hanging_;
  std::FILE* log_ = nullptr;
};

}  // namespace
}  // namespace rtupoll

int main(int argc, char** argv) {
  auto options = rtupoll::parseOptions(argc, argv);
  if (!options) return 2;
  sigset_t waitMask = rtupoll::installStopSignals();
  rtupoll::Simulator simulator(*options);
  try {
    if (!simulator.open()) return 1;
  } catch (const std::exception& e) {  // a down-device port could not be set up
    std::fprintf(stderr, "rtu-sim: %s\n", e.what());
    return 1;
  }
  return simulator.run(waitMask);
}
