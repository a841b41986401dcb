// An update in place against a fresh run, on a generated collection and a
// second version of it (a few games removed, changed and added, enough
// sequels at the start of the largest letter that later games change
// subfolders): both runs sd2iec style, T64 on, NFO optimised, autoswap, SIDs
// on, from a warm cache.
//   - fresh: vqsd --replace on the second version into an empty folder F;
//   - update: vqsd --replace on the first version into a folder U (not
//     measured), then vqsd --update of U on the second version.
// Each measured run is timed from start to exit; what it wrote is the wchar
// figure of its /proc/<pid>/io at its exit (the bytes it handed to write
// calls, page cache or not), write_bytes shown beside it. After each update
// every entry and every byte of U is compared with F (the record by its
// presence: it holds the times its files got). Prints one table with
// the targets and PASS or MISS beside the figures; the exit status is 0
// whatever the figures are (2 for a wrong command line).
//   bench_update [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
//   (defaults: 1 run, 30000 games, /tmp/vqsd-bench-collection, /tmp/vqsd-bench-update)
// The second version lives in COLLECTION_DIR/v2, made once from hard links to
// the first and kept while the collection is (a marker file records how it
// was made). With K runs each figure is the median of the runs. Both output
// trees are removed after each run and the disks synced before each measured
// run.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/file_system.h"  // sample_revision.h uses its path helpers
#include "bench/bench_util.h"
#include "tools/sample_revision.h"

namespace {

namespace fs = std::filesystem;
using namespace vq::bench;

constexpr uint32_t kSeed = 7;            // the collection's, as bench_job makes it
constexpr int kCrowded = 40;             // sequels at the start of the largest letter
constexpr double kMaxTimeRatio = 0.10;   // update against fresh run, wall time
constexpr double kMaxBytesRatio = 0.05;  // update against fresh run, bytes written

// What the second version holds beside the first, as its marker records it.
struct TRevisionCounts {
  int Added = 0;
  int Duplicates = 0;
  int Changed = 0;
  int Removed = 0;
};

// The second version of the collection under `root` (its games folder is
// returned), made once and kept. Its changes are drawn from the list of the
// first version's games, which only a generation yields: the collection is
// written once more over itself, to the same bytes.
std::string EnsureRevision(const std::string& root, int games, TRevisionCounts& counts) {
  const std::string dir = root + "/v2";
  const std::string marker = dir + "/.generated";
  const std::string wanted = std::to_string(kSeed) + " " + std::to_string(games) + " " + std::to_string(kCrowded);
  {
    std::ifstream in(marker);
    std::string have;
    std::getline(in, have);
    if (have == wanted && in >> counts.Added >> counts.Duplicates >> counts.Changed >> counts.Removed) {
      return dir + "/games/";
    }
  }
  std::fprintf(stderr, "making the second version in %s ...\n", dir.c_str());
  RemoveTree(dir);
  vq::tools::TSampleOptions sample;
  sample.Seed = kSeed;
  sample.GameCount = games;
  const vq::tools::TSampleCollection first = vq::tools::GenerateSampleCollection(root, sample);
  vq::tools::TRevisionOptions options;
  options.Crowded = kCrowded;
  const vq::tools::TRevision second = vq::tools::ReviseSampleCollection(first, dir, options);
  counts = {second.Added, second.Duplicates, second.Changed, second.Removed};
  std::ofstream(marker) << wanted << "\n"
                        << counts.Added << " " << counts.Duplicates << " " << counts.Changed << " " << counts.Removed
                        << "\n";
  return dir + "/games/";
}

// Every entry under `root` relative to it, folders ending in '/', sorted.
std::vector<std::string> Entries(const std::string& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    entries.push_back(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// True when the files `a` and `b` hold the same bytes.
bool SameBytes(const fs::path& a, const fs::path& b, std::vector<char>& left, std::vector<char>& right) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  while (x && y) {
    x.read(left.data(), static_cast<std::streamsize>(left.size()));
    y.read(right.data(), static_cast<std::streamsize>(right.size()));
    if (x.gcount() != y.gcount() || std::memcmp(left.data(), right.data(), static_cast<size_t>(x.gcount())) != 0) {
      return false;
    }
  }
  return !x && !y;
}

// The first entry whose presence or bytes differ between the trees `a` and
// `b`, the record's bytes aside; "" when they hold the same. `files` counts
// the files compared.
std::string TreeDifference(const std::string& a, const std::string& b, long& files) {
  const std::vector<std::string> left = Entries(a), right = Entries(b);
  if (left != right) {
    const auto [x, y] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    return "entry \"" + (x != left.end() ? *x : *y) + "\" is in one tree only";
  }
  std::vector<char> bufferA(1 << 20), bufferB(1 << 20);
  files = 0;
  for (const std::string& path : left) {
    if (path.ends_with('/')) continue;
    ++files;
    // The record holds the times its files got in each tree: only its
    // presence counts.
    if (path.ends_with("/vqsd-manifest.txt")) continue;
    if (!SameBytes(fs::path(a) / path, fs::path(b) / path, bufferA, bufferB)) return "bytes of \"" + path + "\"";
  }
  return "";
}

// The command line of one vqsd run.
std::vector<std::string> JobArgs(const std::string& vqsd, const std::string& source, const std::string& root,
                                 const std::string& dest, const char* mode) {
  return {vqsd,     "--source", source,   "--dest", dest, "--hvsc",     root + "/hvsc",
          "--style", "sd2iec",   "--t64", "--nfo",  "optimize", "--autoswap", mode};
}

// The part of a run's output from "Update:" to the end of its line; empty
// when there is none.
std::string UpdateSummary(const RunResult& run) {
  for (const auto& [time, line] : run.Lines) {
    const size_t at = line.find("Update: ");
    if (at != std::string::npos) return line.substr(at);
  }
  return "";
}

// The figures of one run of the benchmark.
struct TRound {
  RunResult Fresh;
  RunResult Base;
  RunResult Update;
  std::string Difference;  // "" when U equals F after the update
  long Files = 0;          // files compared
};

// One round: the fresh run into `out`/fresh, the first version into
// `out`/updated and its update; the trees compared, then removed.
TRound RunRound(const std::string& vqsd, const std::string& root, const std::string& first,
                const std::string& second, const std::string& out) {
  const std::string fresh = out + "/fresh", updated = out + "/updated";
  TRound round;
  RemoveTree(fresh);
  RemoveTree(updated);
  sync();
  std::fprintf(stderr, "running: fresh run of the second version\n");
  round.Fresh = RunProgram(JobArgs(vqsd, second, root, fresh, "--replace"));
  std::fprintf(stderr, "running: first version (not measured)\n");
  round.Base = RunProgram(JobArgs(vqsd, first, root, updated, "--replace"));
  sync();
  std::fprintf(stderr, "running: update to the second version\n");
  round.Update = RunProgram(JobArgs(vqsd, second, root, updated, "--update"));
  std::fprintf(stderr, "comparing the trees\n");
  round.Difference = TreeDifference(updated, fresh, round.Files);
  RemoveTree(fresh);
  RemoveTree(updated);
  return round;
}

// The median of one figure over the rounds.
double MedianOf(const std::vector<TRound>& rounds, double (*figure)(const TRound&)) {
  std::vector<double> values;
  values.reserve(rounds.size());
  for (const TRound& r : rounds) values.push_back(figure(r));
  return Median(values);
}

// The first failing exit status of a run over the rounds (0: none).
int FirstFailure(const std::vector<TRound>& rounds, const RunResult TRound::*run) {
  for (const TRound& r : rounds) {
    if ((r.*run).ExitCode != 0) return (r.*run).ExitCode;
  }
  return 0;
}

// One row: the fresh and update figures, their ratio and its target; MB
// figures are divided by 1e6 for the printing.
void PrintRow(const char* label, double fresh, double update, double scale, double target, bool known) {
  const double ratio = fresh > 0 ? update / fresh : 0;
  char check[48] = "(for information)";
  if (target > 0) {
    std::snprintf(check, sizeof check, "<= %.2f %s", target, known ? Verdict(ratio <= target) : "MISS (no figure)");
  }
  std::printf("%-30s %12.2f %12.2f %12.4f  %s\n", label, fresh / scale, update / scale, ratio, check);
}

// Measures the rounds and prints the table; 2 for a wrong command line.
int Run(int argc, char** argv) {
  TBenchArgs args;
  if (!ParseBenchArgs(argc, argv, "bench_update", "/tmp/vqsd-bench-update", args)) return 2;
  const int runs = args.Runs;
  const int games = args.Games;
  const std::string& root = args.Root;
  const std::string& out = args.Out;
  const std::string first = EnsureCollection(root, games, kSeed);
  TRevisionCounts counts;
  const std::string second = EnsureRevision(root, games, counts);
  const std::string vqsd = ExecutableDir() + "../cli/vqsd";
  fs::create_directories(out);
  WarmCache(root);

  std::vector<TRound> rounds;
  rounds.reserve(static_cast<size_t>(runs));
  for (int run = 0; run < runs; ++run) rounds.push_back(RunRound(vqsd, root, first, second, out));
  RemoveTree(out);

  const int failed = FirstFailure(rounds, &TRound::Fresh) != 0  ? FirstFailure(rounds, &TRound::Fresh)
                     : FirstFailure(rounds, &TRound::Base) != 0 ? FirstFailure(rounds, &TRound::Base)
                                                                : FirstFailure(rounds, &TRound::Update);
  const bool wcharKnown = std::all_of(rounds.begin(), rounds.end(), [](const TRound& r) {
    return r.Fresh.WriteChars >= 0 && r.Update.WriteChars >= 0;
  });
  std::printf("collection: %d games generated; second version: %d sequels (%d of them at the start of the largest "
              "letter), %d same titles with new IDs, %d changed, %d removed; %d run%s per figure (medians), %ld "
              "cores\n",
              games, counts.Added, kCrowded, counts.Duplicates, counts.Changed, counts.Removed, runs,
              runs == 1 ? "" : "s", sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("bytes written: wchar of the program's /proc/<pid>/io at its exit (bytes handed to write calls, "
              "page cache included); write_bytes (sent to storage by then) for information\n");
  std::printf("%-30s %12s %12s %12s  %s\n", "", "fresh", "update", "update/fresh", "target");
  PrintRow("wall s", MedianOf(rounds, [](const TRound& r) { return r.Fresh.Seconds; }),
           MedianOf(rounds, [](const TRound& r) { return r.Update.Seconds; }), 1, kMaxTimeRatio, true);
  PrintRow("MB written (wchar)", MedianOf(rounds, [](const TRound& r) { return static_cast<double>(r.Fresh.WriteChars); }),
           MedianOf(rounds, [](const TRound& r) { return static_cast<double>(r.Update.WriteChars); }), 1e6, kMaxBytesRatio,
           wcharKnown);
  PrintRow("MB to storage (write_bytes)",
           MedianOf(rounds, [](const TRound& r) { return static_cast<double>(r.Fresh.WriteBytes); }),
           MedianOf(rounds, [](const TRound& r) { return static_cast<double>(r.Update.WriteBytes); }), 1e6, 0, true);
  PrintRow("peak MiB", MedianOf(rounds, [](const TRound& r) { return MiB(r.Fresh.PeakKiB); }),
           MedianOf(rounds, [](const TRound& r) { return MiB(r.Update.PeakKiB); }), 1, 0, true);
  if (failed != 0) std::printf("FAILED: a vqsd run ended with exit status %d\n", failed);
  const TRound& last = rounds.back();
  std::printf("update summary: %s\n", UpdateSummary(last.Update).c_str());
  std::printf("fresh summary: %s\n", JobSummary(last.Fresh).c_str());
  for (size_t i = 0; i < rounds.size(); ++i) {
    const TRound& r = rounds[i];
    const std::string verdict = r.Difference.empty() ? "OK" : "DIFFERENT (" + r.Difference + ")";
    std::printf("run %zu: updated folder against fresh folder, %ld files compared: %s\n", i + 1, r.Files,
                verdict.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_update: %s\n", e.what());
    return 1;
  }
}
