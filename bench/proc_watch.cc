// bench-watch: the CPU time and memory of running processes over a window
// of time, read from /proc, and optionally the CPU time a process spends in
// each of its connect waits on a port whose connects hang.
//
//   bench-watch --seconds N --process NAME=PID... [--hanging-port PORT --waiter NAME]
//
// Per process it prints the utime+stime delta of /proc/PID/stat (clock
// ticks, all threads, as top counts them), the same from the scheduler's
// nanosecond counters (/proc/PID/task/*/schedstat), and VmHWM and VmRSS at
// the end. With --hanging-port it looks at the waiter's open files every
// 2 ms; a new socket there that is in SYN_SENT towards PORT is the start of a
// connect wait, and the waiter's CPU time over the following 2 s (the
// program's wait) is that wait's cost. (/proc/net/tcp itself is read only
// for a new socket: on a large machine one read walks the whole connection
// table and takes milliseconds of system time.)

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "monotonic.h"

namespace rtupoll::bench {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kConnectWait = 2 * kSecond;
constexpr std::int64_t kSampleInterval = 2'000'000;
constexpr std::int64_t kConfirmWithin = 20'000'000;

struct Process {
  std::string name;
  int pid = 0;
  long long ticks_start = 0;
  std::int64_t sched_start = 0;
};

// utime + stime, fields 14 and 15; the name in field 2 may hold blanks, so
// the count starts after its closing parenthesis.
long long cpuTicks(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

// Time on the CPU of every live thread, in nanoseconds.
std::int64_t schedNanos(int pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::int64_t sum = 0;
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return -1;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
    long long on_cpu = 0;
    if (schedstat >> on_cpu) sum += on_cpu;
  }
  closedir(dir);
  return sum;
}

std::string statusField(int pid, std::string_view key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with(key)) {
      std::istringstream rest(line.substr(key.size()));
      std::string value;
      rest >> value;
      return value;
    }
  return "?";
}

// The socket inodes of the process's open files.
std::set<std::string> socketInodes(int pid) {
  std::set<std::string> inodes;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(fds.c_str());
  if (dir == nullptr) return inodes;
  while (const dirent* entry = readdir(dir)) {
    char target[128];
    const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string_view link(target, static_cast<std::size_t>(n));
    if (link.starts_with("socket:[")) inodes.emplace(link.substr(8, link.size() - 9));
  }
  closedir(dir);
  return inodes;
}

// Inodes of the sockets in SYN_SENT towards 127.0.0.1:port.
std::set<std::string> connectingTo(std::uint16_t port) {
  char remote[32];
  std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
  std::set<std::string> inodes;
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  std::getline(tcp, line);  // the heading
  while (std::getline(tcp, line)) {
    std::istringstream fields(line);
    std::string slot, local, rem, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> rem >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (rem == remote && state == "02") inodes.insert(inode);
  }
  return inodes;
}

void sleepUntil(std::int64_t when) {
  const timespec at{static_cast<time_t>(when / kSecond), static_cast<long>(when % kSecond)};
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

struct Wait {
  std::int64_t start;
  std::int64_t cpu_start;
  std::int64_t cpu = -1;  // until the wait is over
};

int run(std::vector<Process>& processes, double seconds, int hanging_port, const std::string& waiter_name) {
  const long ticks_per_second = sysconf(_SC_CLK_TCK);
  const Process* waiter = nullptr;
  for (Process& p : processes) {
    p.ticks_start = cpuTicks(p.pid);
    p.sched_start = schedNanos(p.pid);
    if (p.ticks_start < 0) {
      std::fprintf(stderr, "bench-watch: no process %d\n", p.pid);
      return 1;
    }
    if (p.name == waiter_name) waiter = &p;
  }
  const std::int64_t start = monotonicNanos();
  const std::int64_t end = start + static_cast<std::int64_t>(seconds * kSecond);

  std::vector<Wait> waits;
  if (hanging_port > 0 && waiter != nullptr) {
    std::set<std::string> seen = socketInodes(waiter->pid);
    std::map<std::string, Wait> fresh;  // new sockets not yet seen connecting
    for (std::int64_t now = start; now < end; now = monotonicNanos()) {
      for (Wait& w : waits)
        if (w.cpu < 0 && now >= w.start + kConnectWait) w.cpu = schedNanos(waiter->pid) - w.cpu_start;
      for (const std::string& inode : socketInodes(waiter->pid))
        if (seen.insert(inode).second) fresh[inode] = {now, schedNanos(waiter->pid)};
      // A socket seen between its creation and its connect is not in
      // SYN_SENT yet: it is looked at again on the next samples.
      if (!fresh.empty()) {
        const std::set<std::string> hanging = connectingTo(static_cast<std::uint16_t>(hanging_port));
        for (auto it = fresh.begin(); it != fresh.end();) {
          const Wait& w = it->second;
          if (hanging.contains(it->first) && w.start + kConnectWait <= end) waits.push_back(w);
          const bool done = hanging.contains(it->first) || now - w.start > kConfirmWithin;
          it = done ? fresh.erase(it) : std::next(it);
        }
      }
      sleepUntil(std::max(now + kSampleInterval, monotonicNanos()));
    }
  }
  sleepUntil(end);
  const std::int64_t stop = monotonicNanos();
  for (Wait& w : waits)
    if (w.cpu < 0) w.cpu = schedNanos(waiter->pid) - w.cpu_start;

  const double window = static_cast<double>(stop - start) / kSecond;
  std::printf("window start_ns=%lld end_ns=%lld seconds=%.3f\n", static_cast<long long>(start),
              static_cast<long long>(stop), window);
  for (const Process& p : processes) {
    const long long ticks = cpuTicks(p.pid) - p.ticks_start;
    const double cpu_ms = 1000.0 * static_cast<double>(ticks) / static_cast<double>(ticks_per_second);
    const double sched_ms = static_cast<double>(schedNanos(p.pid) - p.sched_start) / 1e6;
    std::printf("process name=%s pid=%d cpu_ms=%.0f cpu_pct=%.3f sched_cpu_ms=%.1f sched_cpu_pct=%.3f "
                "vmhwm_kb=%s vmrss_kb=%s\n",
                p.name.c_str(), p.pid, cpu_ms, cpu_ms / (10.0 * window), sched_ms, sched_ms / (10.0 * window),
                statusField(p.pid, "VmHWM:").c_str(), statusField(p.pid, "VmRSS:").c_str());
  }
  for (std::size_t i = 0; i < waits.size(); ++i)
    std::printf("wait index=%zu start_ns=%lld cpu_ms=%.2f\n", i, static_cast<long long>(waits[i].start),
                static_cast<double>(waits[i].cpu) / 1e6);
  return 0;
}

}  // namespace
}  // namespace rtupoll::bench

int main(int argc, char** argv) {
  using namespace rtupoll::bench;
  std::vector<Process> processes;
  double seconds = 0;
  int hanging_port = 0;
  std::string waiter;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    const std::string value = argv[i + 1];
    if (arg == "--seconds") {
      seconds = std::atof(value.c_str());
    } else if (arg == "--process" && value.find('=') != std::string::npos) {
      processes.push_back({value.substr(0, value.find('=')), std::atoi(value.c_str() + value.find('=') + 1)});
    } else if (arg == "--hanging-port") {
      hanging_port = std::atoi(value.c_str());
    } else if (arg == "--waiter") {
      waiter = value;
    } else {
      seconds = 0;
      break;
    }
  }
  if (!(seconds > 0) || processes.empty() || argc % 2 == 0) {
    std::fputs("usage: bench-watch --seconds N --process NAME=PID... [--hanging-port PORT --waiter NAME]\n", stderr);
    return 2;
  }
  return run(processes, seconds, hanging_port, waiter);
}
