// The whole job (sd2iec style, T64 on, NFO optimised, SIDs on) on a
// generated collection from a warm cache: with one, two and eight threads,
// and in test mode with one and two, beside two baselines measured in the
// same run:
//   - the one-core floor: this program, in a child of itself, opens every zip
//     with libzip on one thread and inflates each entry into a file of its
//     own, one folder per zip, with no job logic (timed inside the child);
//   - Info-ZIP unzip -qq -o, run once per zip into one folder per zip.
// Prints one table with the targets and PASS or MISS beside the figures; the
// exit status is 0 whatever the figures are (2 for a wrong command line).
//   bench_job [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
//   (defaults: 1 run, 30000 games, /tmp/vqsd-bench-collection, /tmp/vqsd-bench-out)
// With K runs a time is the median, a peak memory the largest of the runs.
// Each output tree is removed after its run and the disks synced before the
// next one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "bench/bench_util.h"

namespace {

namespace fs = std::filesystem;
using namespace vq::bench;

constexpr double kMaxRatio = 0.6;        // --jobs 2 against --jobs 1 and against the floor
constexpr double kMinTestRate = 20000;   // zips per second in test mode with --jobs 2
constexpr double kMaxPeakMiB = 64;       // at any thread count

// Every *.zip file under `root` in walking order, hidden folders left out as
// the job's scan leaves them out.
std::vector<std::string> ZipFiles(const std::string& root) {
  std::vector<std::string> zips;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && name.starts_with(".")) {
      it.disable_recursion_pending();
    } else if (it->is_regular_file() && name.size() > 4 && name.ends_with(".zip")) {
      zips.push_back(it->path().string());
    }
  }
  return zips;
}

// ---- the one-core floor (runs in a child process) ----

struct ArchiveDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Inflates every file entry of `zipPath` into `folder`/<entry index>. False
// when the zip or one of its entries cannot be read.
bool InflateZip(const std::string& zipPath, const std::string& folder, std::vector<char>& buffer) {
  int error = 0;
  const std::unique_ptr<zip_t, ArchiveDiscard> archive(zip_open(zipPath.c_str(), ZIP_RDONLY, &error));
  if (!archive) return false;
  if (mkdir(folder.c_str(), 0755) != 0) throw vq::SystemError(folder, errno);
  bool whole = true;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive.get(), i, 0);
    if (name == nullptr || (*name != '\0' && name[std::strlen(name) - 1] == '/')) continue;
    const std::unique_ptr<zip_file_t, EntryClose> entry(zip_fopen_index(archive.get(), i, 0));
    if (!entry) {
      whole = false;
      continue;
    }
    const std::string target = folder + "/" + std::to_string(i);
    const vq::FileHandle out = vq::CreateFileForWriting(target);
    zip_int64_t n = 0;
    while ((n = zip_fread(entry.get(), buffer.data(), buffer.size())) > 0) {
      vq::WriteAll(out, buffer.data(), static_cast<size_t>(n), target);
    }
    if (n < 0) whole = false;
  }
  return whole;
}

// The child's side: inflates every zip under `source` into `out`/<zip number>
// and prints "floor <seconds> <zips that failed>".
int RunFloor(const std::string& source, const std::string& out) {
  const std::vector<std::string> zips = ZipFiles(source);
  fs::create_directories(out);
  std::vector<char> buffer(1 << 16);
  int failed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < zips.size(); ++i) {
    if (!InflateZip(zips[i], out + "/" + std::to_string(i), buffer)) ++failed;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("floor %.6f %d\n", seconds, failed);
  return 0;
}

// ---- the parent's side ----

// One configuration's figures over its runs.
struct TFigure {
  std::string Label;
  double Seconds = 0;             // median wall time
  long PeakKiB = 0;               // largest peak resident memory
  unsigned long long Bytes = 0;   // written by the first run
  int ExitCode = 0;               // the first failing exit status, 0 when every run ended well
  std::string Note;               // the first run's summary or remark
};

// Runs `once` `runs` times, each into an empty `out` after a sync, and
// removes `out` after each run.
TFigure Measure(const std::string& label, int runs, const std::string& out, const std::function<RunResult()>& once) {
  TFigure figure;
  figure.Label = label;
  std::vector<double> seconds;
  std::fprintf(stderr, "running: %s\n", label.c_str());
  for (int run = 0; run < runs; ++run) {
    RemoveTree(out);
    sync();
    const RunResult r = once();
    seconds.push_back(r.Seconds);
    figure.PeakKiB = std::max(figure.PeakKiB, r.PeakKiB);
    if (figure.ExitCode == 0) figure.ExitCode = r.ExitCode;
    if (run == 0) {
      figure.Bytes = TreeBytes(out);
      const std::string summary = JobSummary(r);
      figure.Note = summary.empty() && !r.Lines.empty() ? r.Lines.back().second : summary;
    }
    RemoveTree(out);
  }
  figure.Seconds = Median(seconds);
  return figure;
}

// The command line of one vqsd run on the collection.
std::vector<std::string> JobArgs(const std::string& vqsd, const std::string& source, const std::string& root,
                                 const std::string& dest, int jobs, bool test) {
  std::vector<std::string> args = {vqsd, "--source", source, "--dest", dest, "--hvsc", root + "/hvsc"};
  args.insert(args.end(), {"--style", "sd2iec", "--t64", "--nfo", "optimize", "--autoswap", "--replace"});
  args.insert(args.end(), {"--jobs", std::to_string(jobs)});
  if (test) args.emplace_back("--test");
  return args;
}

// The floor run in a child of this program: its time is the one the child
// measured around its loop, its memory the child's peak.
RunResult FloorRun(const std::string& source, const std::string& out) {
  RunResult r = RunProgram({ExecutablePath(), "--floor", source, out});
  double seconds = 0;
  int failed = 0;
  if (r.ExitCode == 0 && !r.Lines.empty() &&
      std::sscanf(r.Lines.back().second.c_str(), "floor %lf %d", &seconds, &failed) == 2) {
    r.Seconds = seconds;
    r.Lines = {{seconds, std::to_string(failed) + " zips not read whole (the broken ones)"}};
  } else if (r.ExitCode == 0) {
    r.ExitCode = 1;
  }
  return r;
}

// unzip once per zip: the total wall time. Started directly (a second
// program start per zip would weigh on its time), so no peak memory.
RunResult UnzipRun(const std::vector<std::string>& zips, const std::string& out) {
  fs::create_directories(out);
  RunResult total;
  total.ExitCode = 0;
  int failed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < zips.size(); ++i) {
    const RunResult r =
        RunProgram({"/usr/bin/unzip", "-qq", "-o", zips[i], "-d", out + "/" + std::to_string(i)}, false);
    if (r.ExitCode != 0) ++failed;
  }
  total.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  total.Lines = {{total.Seconds, std::to_string(failed) + " zips failed (the broken ones)"}};
  return total;
}

std::string PeakCheck(const TFigure& f) {
  char text[64];
  std::snprintf(text, sizeof text, "peak < %.0f MiB %s", kMaxPeakMiB, Verdict(MiB(f.PeakKiB) < kMaxPeakMiB));
  return text;
}

std::string RatioCheck(const char* against, double ratio) {
  char text[64];
  std::snprintf(text, sizeof text, "vs %s <= %.1f %s", against, kMaxRatio, Verdict(ratio <= kMaxRatio));
  return text;
}

// "a / b" to three places, or "-" without `b`.
std::string Ratio(double a, const TFigure* b) {
  if (b == nullptr || b->Seconds <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", a / b->Seconds);
  return text;
}

// One row of the table: `jobs1` and `floor` are the figures its ratios are
// taken against (null: none).
void PrintRow(const TFigure& f, size_t zipCount, const TFigure* jobs1, const TFigure* floor,
              const std::string& checks) {
  const double rate = f.Seconds > 0 ? static_cast<double>(zipCount) / f.Seconds : 0;
  char peak[16] = "-";
  if (f.PeakKiB > 0) std::snprintf(peak, sizeof peak, "%.1f", MiB(f.PeakKiB));
  const std::string verdict = f.ExitCode != 0 ? "FAILED: exit status " + std::to_string(f.ExitCode) : checks;
  std::printf("%-30s %9.2f %9.0f %9s %11.1f %8s %8s  %s\n", f.Label.c_str(), f.Seconds, rate, peak,
              static_cast<double>(f.Bytes) / 1e6, Ratio(f.Seconds, jobs1).c_str(), Ratio(f.Seconds, floor).c_str(),
              verdict.c_str());
}

// Measures every configuration and prints the table; 2 for a wrong command line.
int Run(int argc, char** argv) {
  TBenchArgs args;
  if (!ParseBenchArgs(argc, argv, "bench_job", "/tmp/vqsd-bench-out", args)) return 2;
  const int runs = args.Runs;
  const int games = args.Games;
  const std::string& root = args.Root;
  const std::string& out = args.Out;
  const std::string source = EnsureCollection(root, games, 7);
  const std::string vqsd = ExecutableDir() + "../cli/vqsd";

  const std::vector<std::string> zips = ZipFiles(source);
  WarmCache(root);

  const auto job = [&](int jobs, bool test) {
    const std::string label = std::string(test ? "vqsd --test --jobs " : "vqsd --jobs ") + std::to_string(jobs);
    return Measure(label, runs, out,
                   [&] { return RunProgram(JobArgs(vqsd, source, root, out + "/vqsd", jobs, test)); });
  };
  const TFigure floor = Measure("floor: libzip, one thread", runs, out, [&] { return FloorRun(source, out); });
  const TFigure jobs1 = job(1, false);
  const TFigure jobs2 = job(2, false);
  const TFigure jobs8 = job(8, false);
  const TFigure unzip = Measure("unzip -qq -o, once per zip", runs, out, [&] { return UnzipRun(zips, out); });
  const TFigure test1 = job(1, true);
  const TFigure test2 = job(2, true);
  RemoveTree(out);

  std::printf("collection: %zu zip files (%d games generated), %d run%s per figure, %ld cores\n", zips.size(), games,
              runs, runs == 1 ? "" : "s", sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-30s %9s %9s %9s %11s %8s %8s  %s\n", "", "wall s", "zips/s", "peak MiB", "MB written", "/jobs 1",
              "/floor", "targets");
  const size_t n = zips.size();
  PrintRow(jobs1, n, &jobs1, &floor, PeakCheck(jobs1));
  PrintRow(jobs2, n, &jobs1, &floor,
           RatioCheck("jobs 1", jobs2.Seconds / jobs1.Seconds) + ", " +
               RatioCheck("floor", jobs2.Seconds / floor.Seconds) + ", " + PeakCheck(jobs2));
  PrintRow(jobs8, n, &jobs1, &floor, PeakCheck(jobs8));
  PrintRow(floor, n, &jobs1, &floor, "(baseline)");
  PrintRow(unzip, n, &jobs1, &floor, "(baseline)");
  // Test mode against test mode at one thread.
  PrintRow(test1, n, &test1, nullptr, PeakCheck(test1));
  char rateCheck[64];
  const double testRate = static_cast<double>(n) / test2.Seconds;
  std::snprintf(rateCheck, sizeof rateCheck, ">= %.0f zips/s %s, ", kMinTestRate, Verdict(testRate >= kMinTestRate));
  PrintRow(test2, n, &test1, nullptr, rateCheck + PeakCheck(test2));
  std::printf("job summary (--jobs 1): %s\n", jobs1.Note.c_str());
  std::printf("job summary (--jobs 2): %s\n", jobs2.Note.c_str());
  std::printf("test summary (--jobs 2): %s\n", test2.Note.c_str());
  std::printf("floor: %s; unzip: %s\n", floor.Note.c_str(), unzip.Note.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::strcmp(argv[1], "--floor") == 0) return RunFloor(argv[2], argv[3]);
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_job: %s\n", e.what());
    return 1;
  }
}
