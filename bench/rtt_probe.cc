// bench-rtt: the floor under the poll cycle. A bare libmodbus client, with
// none of the program's machinery, measures the round trip of a 10-register
// read on loopback, back to back and paced as the program paces its reads,
// and then runs the program's cycle shape itself: the five reads of the
// benchmark's set-up (ports 0, 1, 2, 0, 1 from addresses 0, 0, 0, 1, 2), each
// sent 10 ms after the previous answer came.
// rtu-sim logs those reads like the program's, so the same analysis gives
// the floor's cycle length from the server side.
//
//   bench-rtt --port PORT [--port PORT]... [--round-trips N] [--cycles N]

#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "monotonic.h"

namespace rtupoll::bench {
namespace {

constexpr int kReadsPerCycle = 5;
constexpr int kCycleAddresses[kReadsPerCycle] = {0, 0, 0, 1, 2};
constexpr int kRegistersPerRead = 10;
// The back-to-back reads ask from another address than any read of the
// cycle, so that the server's log tells them apart from the cycles.
constexpr int kRoundTripAddress = 100;
constexpr std::int64_t kGapNanos = 10'000'000;            // the program's step timer
constexpr std::int64_t kCycleSpacingNanos = 200'000'000;  // cycles need not wait a second here

struct Options {
  std::vector<int> ports;
  int round_trips = 2000;
  int cycles = 100;
};

struct ModbusCloser {
  void operator()(modbus_t* ctx) const {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};
using Link = std::unique_ptr<modbus_t, ModbusCloser>;

// One read of 10 registers from `address`; false if the link failed.
bool roundTrip(const Link& link, int address) {
  std::uint16_t values[kRegistersPerRead];
  return modbus_read_registers(link.get(), address, kRegistersPerRead, values) == kRegistersPerRead;
}

void sleepNanos(std::int64_t nanos) {
  const timespec span{static_cast<time_t>(nanos / 1'000'000'000), static_cast<long>(nanos % 1'000'000'000)};
  clock_nanosleep(CLOCK_MONOTONIC, 0, &span, nullptr);
}

// The sorted copy's minimum, median, 99th percentile and maximum, in microseconds.
void printSpread(const char* what, std::vector<std::int64_t> nanos) {
  std::sort(nanos.begin(), nanos.end());
  auto at = [&](double q) { return nanos[static_cast<std::size_t>(q * static_cast<double>(nanos.size() - 1))] / 1e3; };
  std::printf("%s n=%zu min_us=%.1f median_us=%.1f p99_us=%.1f max_us=%.1f\n", what, nanos.size(), at(0), at(0.5),
              at(0.99), at(1));
}

int run(const Options& options) {
  std::vector<Link> links;
  for (const int port : options.ports) {
    Link link(modbus_new_tcp("127.0.0.1", port));
    if (!link || modbus_connect(link.get()) != 0) {
      std::fprintf(stderr, "bench-rtt: cannot connect to 127.0.0.1:%d: %s\n", port, modbus_strerror(errno));
      return 1;
    }
    modbus_set_slave(link.get(), 1);
    links.push_back(std::move(link));
  }
  for (int i = 0; i < 100; ++i)  // warm-up: connections, caches, the server's buffers
    if (!roundTrip(links[0], kRoundTripAddress)) return 1;

  std::vector<std::int64_t> back_to_back;
  for (int i = 0; i < options.round_trips; ++i) {
    const std::int64_t start = monotonicNanos();
    if (!roundTrip(links[0], kRoundTripAddress)) return 1;
    back_to_back.push_back(monotonicNanos() - start);
  }
  printSpread("rtt_back_to_back", back_to_back);

  std::vector<std::int64_t> paced;
  std::vector<std::int64_t> cycles;
  for (int c = 0; c < options.cycles; ++c) {
    const std::int64_t cycle_start = monotonicNanos();
    for (int r = 0; r < kReadsPerCycle; ++r) {
      if (r > 0) sleepNanos(kGapNanos);
      const std::int64_t start = monotonicNanos();
      if (!roundTrip(links[static_cast<std::size_t>(r) % links.size()], kCycleAddresses[r])) return 1;
      paced.push_back(monotonicNanos() - start);
      if (r == kReadsPerCycle - 1) cycles.push_back(start - cycle_start);
    }
    sleepNanos(kCycleSpacingNanos);
  }
  printSpread("rtt_paced_10ms", paced);
  printSpread("cycle_first_to_fifth_send", cycles);
  return 0;
}

}  // namespace
}  // namespace rtupoll::bench

int main(int argc, char** argv) {
  rtupoll::bench::Options options;
  bool understood = argc % 2 == 1;
  for (int i = 1; understood && i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (arg == "--port" && value > 0 && value < 65536)
      options.ports.push_back(value);
    else if (arg == "--round-trips" && value > 0)
      options.round_trips = value;
    else if (arg == "--cycles" && value > 0)
      options.cycles = value;
    else
      understood = false;
  }
  if (!understood || options.ports.empty()) {
    std::fputs("usage: bench-rtt --port PORT [--port PORT]... [--round-trips N] [--cycles N]\n", stderr);
    return 2;
  }
  return rtupoll::bench::run(options);
}
