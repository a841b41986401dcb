#pragma once

// Helpers of the benchmarks that run whole programs: a generated collection
// kept between runs, child processes with time-stamped output lines, peak
// memory and folder sizes.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vq::bench {

// A generated collection of `games` games under `root`, made once and kept
// (a marker file records seed and count). Returns the games folder.
std::string EnsureCollection(const std::string& root, int games, uint32_t seed);

// One child run.
struct RunResult {
  int ExitCode = -1;
  double Seconds = 0;                 // wall time from start to exit
  long PeakKiB = 0;                   // the child's peak resident memory
  std::vector<std::pair<double, std::string>> Lines;  // stdout lines with their arrival time (s)
};

// Runs `argv` (argv[0] a path), reading its standard output line by line.
RunResult RunProgram(const std::vector<std::string>& argv);

// Bytes in all files under `root` (links not followed).
unsigned long long TreeBytes(const std::string& root);

// Removes `path` with everything in it.
void RemoveTree(const std::string& path);

// The folder of the running executable, ending in '/'.
std::string ExecutableDir();

// CPU time of this thread in seconds: on a busy machine it shows the work
// done, where the wall clock also counts the waits for a core.
double ThreadCpuSeconds();

}  // namespace vq::bench
