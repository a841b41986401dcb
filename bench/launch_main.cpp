// bench_launch PROGRAM [ARGUMENTS...]
// Runs one program for a benchmark and reports the program's own peak
// memory and what it wrote. The peak that wait4 reports for a child starts
// from the memory of the process that spawned it, and the benchmarks
// themselves are large, so RunProgram starts its programs through this small
// one. The standard streams pass on to the program; when it has ended,
// "<exit status> <peak KiB> <wchar> <write_bytes>" goes to descriptor 3 and
// this program exits with the same status (127 when the program could not be
// started, without a report). The last two figures come from the program's
// /proc/<pid>/io, read while it waits to be reaped: the bytes it handed to
// write calls and the bytes it sent to storage (-1 each when the file cannot
// be read).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "bench/bench_util.h"

extern char** environ;

namespace {

struct TIoFigures {
  long long WriteChars = -1;
  long long WriteBytes = -1;
};

// The I/O counters of the ended but not yet reaped process `pid`: its
// threads' counters are summed in there until it is reaped.
TIoFigures ReadIo(pid_t pid) {
  TIoFigures io;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/io", static_cast<int>(pid));
  FILE* in = std::fopen(path, "r");
  if (in == nullptr) return io;
  char line[128];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    long long value = 0;
    if (std::sscanf(line, "wchar: %lld", &value) == 1) io.WriteChars = value;
    if (std::sscanf(line, "write_bytes: %lld", &value) == 1) io.WriteBytes = value;
  }
  std::fclose(in);
  return io;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 127;
  fcntl(vq::bench::kLaunchReportFd, F_SETFD, FD_CLOEXEC);  // the program itself never sees the report
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) return 127;
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) return 127;
  const TIoFigures io = ReadIo(pid);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) return 127;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  dprintf(vq::bench::kLaunchReportFd, "%d %ld %lld %lld\n", code, usage.ru_maxrss, io.WriteChars, io.WriteBytes);
  return code;
}
