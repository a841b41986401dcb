// vqsd --verify on the output of a generated collection (sd2iec style, T64
// on, NFO optimised, autoswap, SIDs on), made once at the start, from a warm
// cache: with one and with two threads, beside the floor measured in the
// same run: this program reads every regular file under the output folder on
// one thread (read() into a 1 MiB buffer, links not followed) and computes
// its CRC-32 with zlib, timed around its loop. Prints one table with the
// targets and PASS or MISS beside the figures, and the commands it ran; the
// exit status is 0 whatever the figures are (2 for a wrong command line).
//   bench_verify [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
//   (defaults: 1 run, 30000 games, /tmp/vqsd-bench-collection, /dev/shm/vqsd-bench-verify)
// With K runs a time is the median, a peak memory the largest of the runs;
// each run measures the floor, --jobs 1 and --jobs 2 in turn. The output is
// removed at the end. The cpu column is the user and system time of the
// measured program (of this one for the floor); "other cores" is how many
// cores the rest of the machine kept busy meanwhile, on average: above a few
// tenths the machine was shared and the wall times suffer.
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "bench/bench_util.h"

namespace {

namespace fs = std::filesystem;
using namespace vq::bench;

constexpr uint32_t kSeed = 7;            // the collection's, as bench_job makes it
constexpr double kMaxFloorRatio = 0.6;   // --jobs 2 against the floor, wall time
constexpr double kMaxPeakMiB = 64;       // at either thread count
constexpr size_t kReadSize = 1 << 20;    // the floor's read buffer
constexpr const char* kOutputFolder = "vondral sd";

// ---- the machine's load ----

// CPU seconds: of this process and its reaped children, and of the whole
// machine (every core's busy time from /proc/stat).
struct TCpuTimes {
  double Own = 0;
  double Machine = 0;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// The busy time of every core since boot: user, nice, system, irq, softirq
// and steal ticks of the first line of /proc/stat.
double MachineBusySeconds() {
  std::ifstream in("/proc/stat");
  std::string cpu;
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  in >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
  const double ticks = static_cast<double>(user + nice + system + irq + softirq + steal);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TCpuTimes CpuNow() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  TCpuTimes t;
  t.Own = Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) + Seconds(children.ru_stime);
  t.Machine = MachineBusySeconds();
  return t;
}

// ---- the floor ----

// What the floor read.
struct TFloorRun {
  double Seconds = 0;
  long Files = 0;
  unsigned long long Bytes = 0;
  unsigned long Checksum = 0;  // the CRC-32 values summed, so the work cannot be left out
};

// The CRC-32 of the file `path`, read whole through `buffer`; adds its size
// to `bytes`. Throws vq::Error naming the file.
unsigned long FileCrc(const std::string& path, std::vector<unsigned char>& buffer, unsigned long long& bytes) {
  const vq::FileHandle file = vq::OpenForReading(path);
  uLong crc = crc32(0L, Z_NULL, 0);
  ssize_t n = 0;
  while ((n = read(file.Get(), buffer.data(), buffer.size())) > 0) {
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
    bytes += static_cast<unsigned long long>(n);
  }
  if (n < 0) throw vq::SystemError(path, errno);
  return crc;
}

// Every regular file under `root`, links neither followed nor read.
TFloorRun RunFloor(const std::string& root) {
  std::vector<unsigned char> buffer(kReadSize);
  TFloorRun run;
  const auto start = std::chrono::steady_clock::now();
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    run.Checksum += FileCrc(entry.path().string(), buffer, run.Bytes);
    ++run.Files;
  }
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

// ---- the measurements ----

// One configuration's figures over its runs.
struct TFigure {
  explicit TFigure(std::string label) : Label(std::move(label)) {}

  std::string Label;
  std::vector<double> Seconds;
  std::vector<double> Cpu;
  std::vector<double> Others;      // cores the rest of the machine kept busy
  long PeakKiB = 0;                // largest; 0 unknown
  int ExitCode = 0;                // the first failing exit status; 0 when every run ended well
  unsigned long long Bytes = 0;    // read by the floor
  std::string Note;                // the first run's summary
};

// Times `once` (which returns its exit status, peak memory and note, and
// may set its own time) and adds its figures to `figure`.
void Measure(TFigure& figure, const std::function<RunResult()>& once) {
  std::fprintf(stderr, "running: %s\n", figure.Label.c_str());
  const TCpuTimes before = CpuNow();
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = once();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const TCpuTimes after = CpuNow();
  const double own = after.Own - before.Own;
  figure.Seconds.push_back(r.Seconds);
  figure.Cpu.push_back(own);
  figure.Others.push_back(wall > 0 ? std::max(0.0, (after.Machine - before.Machine - own) / wall) : 0);
  figure.PeakKiB = std::max(figure.PeakKiB, r.PeakKiB);
  if (figure.ExitCode == 0) figure.ExitCode = r.ExitCode;
  if (figure.Note.empty() && !r.Lines.empty()) figure.Note = r.Lines.front().second;
}

// The floor as a run: its time the loop's, its note what it read.
RunResult FloorResult(const std::string& folder, TFigure& figure) {
  const TFloorRun floor = RunFloor(folder);
  RunResult r;
  r.ExitCode = 0;
  r.Seconds = floor.Seconds;
  figure.Bytes = floor.Bytes;
  char note[160];
  std::snprintf(note, sizeof note, "%ld files, %.1f MB read (CRC-32 sum %lu)", floor.Files,
                static_cast<double>(floor.Bytes) / 1e6, floor.Checksum);
  r.Lines = {{floor.Seconds, note}};
  return r;
}

// The run that makes the output of the collection.
std::vector<std::string> JobArgs(const std::string& vqsd, const std::string& source, const std::string& root,
                                 const std::string& dest) {
  return {vqsd,      "--source", source,  "--dest", dest,       "--hvsc",     root + "/hvsc", "--style",
          "sd2iec",  "--t64",    "--nfo", "optimize", "--autoswap", "-q",         "--replace"};
}

std::vector<std::string> VerifyArgs(const std::string& vqsd, const std::string& dest, int jobs) {
  return {vqsd, "--dest", dest, "--style", "sd2iec", "--verify", "--jobs", std::to_string(jobs), "-q"};
}

// ---- the report ----

std::string PeakCheck(const TFigure& f) {
  char text[64];
  std::snprintf(text, sizeof text, "peak < %.0f MiB %s", kMaxPeakMiB, Verdict(MiB(f.PeakKiB) < kMaxPeakMiB));
  return text;
}

// One row of the table; `floor` gives the ratio and the bytes of the rate.
void PrintRow(const TFigure& f, const TFigure& floor, const std::string& checks) {
  const double seconds = Median(f.Seconds);
  const double floorSeconds = Median(floor.Seconds);
  char peak[16] = "-";
  if (f.PeakKiB > 0) std::snprintf(peak, sizeof peak, "%.1f", MiB(f.PeakKiB));
  const std::string verdict = f.ExitCode != 0 ? "FAILED: exit status " + std::to_string(f.ExitCode) : checks;
  std::printf("%-28s %8.2f %8.2f %8.0f %9s %8.3f %8.2f  %s\n", f.Label.c_str(), seconds, Median(f.Cpu),
              seconds > 0 ? static_cast<double>(floor.Bytes) / 1e6 / seconds : 0, peak,
              floorSeconds > 0 ? seconds / floorSeconds : 0, Median(f.Others), verdict.c_str());
}

void PrintTable(const TFigure& floor, const TFigure& jobs1, const TFigure& jobs2, int runs) {
  std::printf("output: %s; %d run%s per figure (medians), %ld cores\n", floor.Note.c_str(), runs,
              runs == 1 ? "" : "s", sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-28s %8s %8s %8s %9s %8s %8s  %s\n", "", "wall s", "cpu s", "MB/s", "peak MiB", "/floor",
              "others", "targets");
  PrintRow(floor, floor, "(baseline)");
  PrintRow(jobs1, floor, PeakCheck(jobs1));
  char ratio[64];
  const double share = Median(jobs2.Seconds) / Median(floor.Seconds);
  std::snprintf(ratio, sizeof ratio, "vs floor <= %.1f %s, ", kMaxFloorRatio, Verdict(share <= kMaxFloorRatio));
  PrintRow(jobs2, floor, ratio + PeakCheck(jobs2));
  std::printf("(others: cores the rest of the machine kept busy during the measurement, on average)\n");
  std::printf("verify summary (--jobs 1): %s\n", jobs1.Note.c_str());
  std::printf("verify summary (--jobs 2): %s\n", jobs2.Note.c_str());
}

// Makes the output, measures every configuration and prints the table; 2
// for a wrong command line.
int Run(int argc, char** argv) {
  TBenchArgs args;
  if (!ParseBenchArgs(argc, argv, "bench_verify", "/dev/shm/vqsd-bench-verify", args)) return 2;
  const std::string source = EnsureCollection(args.Root, args.Games, kSeed);
  const std::string vqsd = fs::path(ExecutableDir() + "../cli/vqsd").lexically_normal().string();
  const std::string folder = args.Out + "/" + kOutputFolder;
  const std::vector<std::string> make = JobArgs(vqsd, source, args.Root, args.Out);
  std::fprintf(stderr, "making the output: %s\n", ShellLine(make).c_str());
  const RunResult made = RunProgram(make, false);
  if (made.ExitCode != 0) throw vq::Error("the run that makes the output ended with " + std::to_string(made.ExitCode));
  WarmCache(folder);
  std::fprintf(stderr, "warming up: %s\n", ShellLine(VerifyArgs(vqsd, args.Out, 2)).c_str());
  RunProgram(VerifyArgs(vqsd, args.Out, 2), false);

  TFigure floor("floor: zlib crc32, 1 thread"), jobs1("vqsd --verify --jobs 1"), jobs2("vqsd --verify --jobs 2");
  for (int run = 0; run < args.Runs; ++run) {
    Measure(floor, [&] { return FloorResult(folder, floor); });
    Measure(jobs1, [&] { return RunProgram(VerifyArgs(vqsd, args.Out, 1)); });
    Measure(jobs2, [&] { return RunProgram(VerifyArgs(vqsd, args.Out, 2)); });
  }
  RemoveTree(args.Out);
  PrintTable(floor, jobs1, jobs2, args.Runs);
  std::printf("commands:\n  %s\n", ShellLine(make).c_str());
  for (const int jobs : {1, 2}) std::printf("  %s\n", ShellLine(VerifyArgs(vqsd, args.Out, jobs)).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_verify: %s\n", e.what());
    return 1;
  }
}
