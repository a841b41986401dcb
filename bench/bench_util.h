#pragma once

// Helpers of the benchmarks that run whole programs: a generated collection
// kept between runs, child processes with time-stamped output lines, peak
// memory and folder sizes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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
  // What the child wrote, from its /proc/<pid>/io at its exit (measured
  // runs only; -1 unknown): the bytes it handed to write calls (wchar), and
  // the bytes it sent to storage (write_bytes), which may miss what still
  // sits in the page cache.
  long long WriteChars = -1;
  long long WriteBytes = -1;
  std::vector<std::pair<double, std::string>> Lines;  // stdout lines with their arrival time (s)
};

// Runs `argv` (argv[0] a path), reading its standard output line by line.
// With `measurePeak` the program starts through bench_launch beside the
// benchmark, so that its peak memory is its own (and its write figures are
// known): a child's peak as wait4
// reports it starts from the memory of the process that spawned it, and the
// benchmarks are large. Without it PeakKiB is only an upper bound (and the
// run saves one program start).
RunResult RunProgram(const std::vector<std::string>& argv, bool measurePeak = true);

// The descriptor on which bench_launch writes "<exit status> <peak KiB>
// <wchar> <write_bytes>".
constexpr int kLaunchReportFd = 3;

// Bytes in all files under `root` (links not followed).
unsigned long long TreeBytes(const std::string& root);

// `text` as one word of a POSIX shell (as it is where nothing needs quoting).
std::string ShellQuote(std::string_view text);
// `command` as a line of a POSIX shell, for the commands a benchmark shows.
std::string ShellLine(const std::vector<std::string>& command);

// Removes `path` with everything in it.
void RemoveTree(const std::string& path);

// The folder of the running executable, ending in '/'.
std::string ExecutableDir();

// The running executable's path, for a benchmark that runs part of its work
// in a child process of itself.
std::string ExecutablePath();

// The job's summary line (the first that starts with "Done"); empty when the
// program printed none.
std::string JobSummary(const RunResult& run);
// The archive count of a summary line ("... 199 archives scanned ..."); -1
// when the line has none.
long ScannedArchives(const std::string& summary);

// The median of `values` (the mean of the middle two for an even count); 0
// for none.
double Median(std::vector<double> values);
// KiB as MiB.
double MiB(long kib);
// "PASS" or "MISS".
const char* Verdict(bool met);

// A new empty folder under `parent` ("<parent>/<prefix>XXXXXX"), removed with
// everything in it when the object goes. Throws std::runtime_error when it
// cannot be made.
class TTempFolder {
 public:
  TTempFolder(const std::string& parent, const std::string& prefix);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Reads every file under `root` once, so that every run starts from a warm
// cache.
void WarmCache(const std::string& root);

// The command line shared by the benchmarks that run the whole program:
//   NAME [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
struct TBenchArgs {
  int Runs = 1;
  int Games = 30000;
  std::string Root = "/tmp/vqsd-bench-collection";
  std::string Out;
};
// Parses it, with `out` as the output folder by default; false, the usage
// written to standard error, for a wrong command line.
bool ParseBenchArgs(int argc, char** argv, const std::string& name, const std::string& out, TBenchArgs& args);

// CPU time of this thread in seconds: on a busy machine it shows the work
// done, where the wall clock also counts the waits for a core.
double ThreadCpuSeconds();

}  // namespace vq::bench
