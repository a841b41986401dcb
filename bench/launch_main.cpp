// bench_launch PROGRAM [ARGUMENTS...]
// Runs one program for a benchmark and reports the program's own peak
// memory. The peak that wait4 reports for a child starts from the memory of
// the process that spawned it, and the benchmarks themselves are large, so
// RunProgram starts its programs through this small one. The standard
// streams pass on to the program; when it has ended, "<exit status> <peak
// KiB>" goes to descriptor 3 and this program exits with the same status
// (127 when the program could not be started, without a report).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "bench/bench_util.h"

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) return 127;
  fcntl(vq::bench::kLaunchReportFd, F_SETFD, FD_CLOEXEC);  // the program itself never sees the report
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) return 127;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) return 127;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  dprintf(vq::bench::kLaunchReportFd, "%d %ld\n", code, usage.ru_maxrss);
  return code;
}
