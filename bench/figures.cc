// bench-figures: the timing figures, read off rtu-sim's request log (--log).
//
//   bench-figures first  --log LOG --stamp STAMP
//       time from bench-launch's stamp to the first request in the log
//   bench-figures cycles --log LOG --from NS --to NS --first PORT:ADDRESS --last PORT:ADDRESS
//       poll-clock period: the intervals between consecutive first reads of
//       a cycle (the read identified by PORT:ADDRESS); cycle length: from a
//       cycle's first read to its last
//   bench-figures count  --log LOG --from NS --to NS --port PORT...
//       the requests that arrived on those ports within the window
//   bench-figures spread
//       n, median, minimum and maximum of the numbers on standard input

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rtupoll::bench {
namespace {

constexpr double kNanosPerMilli = 1e6;
constexpr double kPollClockMillis = 1000;

struct Request {
  long long arrival_ns;
  unsigned server_port;
  unsigned address;
};

struct Read {
  unsigned port = 0;
  unsigned address = 0;
};

struct Arguments {
  std::string log, stamp;
  long long from = 0, to = 0;
  std::optional<Read> first, last;
  std::vector<unsigned> ports;
};

std::vector<Request> readLog(const std::string& path) {
  std::ifstream log(path);
  std::vector<Request> requests;
  long long arrival;
  unsigned server_port, transaction, function, address, count;
  while (log >> arrival >> server_port >> transaction >> function >> address >> count)
    requests.push_back({arrival, server_port, address});
  return requests;
}

std::optional<Read> parseRead(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return Read{static_cast<unsigned>(std::atoi(text.c_str())), static_cast<unsigned>(std::atoi(text.c_str() + colon + 1))};
}

bool is(const Request& r, const Read& read) { return r.server_port == read.port && r.address == read.address; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int first(const Arguments& a) {
  std::ifstream stamp(a.stamp);
  long long pid = 0, launched = 0;
  const std::vector<Request> requests = readLog(a.log);
  if (!(stamp >> pid >> launched) || requests.empty()) {
    std::fprintf(stderr, "bench-figures: no launch stamp or no request\n");
    return 1;
  }
  std::printf("launch_to_first_ms=%.1f\n", static_cast<double>(requests.front().arrival_ns - launched) / kNanosPerMilli);
  return 0;
}

int cycles(const Arguments& a) {
  std::vector<Request> requests = readLog(a.log);
  std::erase_if(requests, [&](const Request& r) { return r.arrival_ns < a.from || r.arrival_ns > a.to; });
  std::vector<long long> starts;
  for (const Request& r : requests)
    if (is(r, *a.first)) starts.push_back(r.arrival_ns);
  if (starts.size() < 2) {
    std::fprintf(stderr, "bench-figures: fewer than two cycles in the window\n");
    return 1;
  }
  std::vector<double> periods;
  for (std::size_t i = 1; i < starts.size(); ++i)
    periods.push_back(static_cast<double>(starts[i] - starts[i - 1]) / kNanosPerMilli);
  double sum = 0, worst = 0;
  for (const double p : periods) {
    sum += p;
    if (std::abs(p - kPollClockMillis) > std::abs(worst)) worst = p - kPollClockMillis;
  }
  std::printf("period n=%zu mean_ms=%.3f largest_deviation_ms=%+.3f min_ms=%.3f max_ms=%.3f\n", periods.size(),
              sum / static_cast<double>(periods.size()), worst, *std::min_element(periods.begin(), periods.end()),
              *std::max_element(periods.begin(), periods.end()));

  // A cycle's last read belongs to it only if it comes before the next
  // cycle's first read; a cycle held up by a silent device has none.
  std::vector<double> lengths;
  std::size_t incomplete = 0;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const long long next = i + 1 < starts.size() ? starts[i + 1] : a.to;
    const auto last = std::find_if(requests.begin(), requests.end(), [&](const Request& r) {
      return r.arrival_ns > starts[i] && r.arrival_ns < next && is(r, *a.last);
    });
    if (last == requests.end())
      ++incomplete;
    else
      lengths.push_back(static_cast<double>(last->arrival_ns - starts[i]) / kNanosPerMilli);
  }
  if (lengths.empty()) {
    std::printf("cycle n=0 incomplete=%zu\n", incomplete);
    return 1;
  }
  std::vector<double> sorted = lengths;
  std::sort(sorted.begin(), sorted.end());
  std::printf("cycle n=%zu median_ms=%.3f p90_ms=%.3f min_ms=%.3f max_ms=%.3f incomplete=%zu\n", lengths.size(),
              median(lengths), sorted[static_cast<std::size_t>(0.9 * static_cast<double>(sorted.size() - 1))],
              sorted.front(), sorted.back(), incomplete);
  return 0;
}

int count(const Arguments& a) {
  std::size_t n = 0;
  for (const Request& r : readLog(a.log))
    if (r.arrival_ns >= a.from && r.arrival_ns <= a.to && std::find(a.ports.begin(), a.ports.end(), r.server_port) != a.ports.end())
      ++n;
  std::printf("requests n=%zu\n", n);
  return 0;
}

int spread() {
  std::vector<double> values;
  double v;
  while (std::cin >> v) values.push_back(v);
  if (values.empty()) return 1;
  std::printf("n=%zu median=%.1f min=%.1f max=%.1f\n", values.size(), median(values),
              *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
  return 0;
}

}  // namespace
}  // namespace rtupoll::bench

int main(int argc, char** argv) {
  using namespace rtupoll::bench;
  const std::string_view command = argc > 1 ? argv[1] : "";
  Arguments a;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string_view key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--log") a.log = value;
    else if (key == "--stamp") a.stamp = value;
    else if (key == "--from") a.from = std::atoll(value.c_str());
    else if (key == "--to") a.to = std::atoll(value.c_str());
    else if (key == "--first") a.first = parseRead(value);
    else if (key == "--last") a.last = parseRead(value);
    else if (key == "--port") a.ports.push_back(static_cast<unsigned>(std::atoi(value.c_str())));
  }
  if (command == "first" && !a.log.empty() && !a.stamp.empty()) return first(a);
  if (command == "cycles" && !a.log.empty() && a.first && a.last && a.to > a.from) return cycles(a);
  if (command == "count" && !a.log.empty() && !a.ports.empty() && a.to > a.from) return count(a);
  if (command == "spread") return spread();
  std::fputs("usage: bench-figures first|cycles|count|spread ... (see the head of bench/figures.cc)\n", stderr);
  return 2;
}
