// bench-launch STAMP_FILE PROGRAM [ARG]...: writes "pid monotonic_ns" to
// STAMP_FILE and then becomes PROGRAM (same process id), so that the time
// from the launch to the program's first request can be read off the
// server's log on the same clock.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "monotonic.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: bench-launch STAMP_FILE PROGRAM [ARG]...\n", stderr);
    return 2;
  }
  // Written under another name and renamed, so a reader never sees half a line.
  const std::string stamp = argv[1];
  const std::string temporary = stamp + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) {
    std::perror(temporary.c_str());
    return 1;
  }
  std::fprintf(file, "%d %lld\n", static_cast<int>(getpid()),
               static_cast<long long>(rtupoll::bench::monotonicNanos()));
  if (std::fclose(file) != 0 || std::rename(temporary.c_str(), stamp.c_str()) != 0) {
    std::perror(stamp.c_str());
    return 1;
  }
  execvp(argv[2], argv + 2);
  std::perror(argv[2]);
  return 127;
}
