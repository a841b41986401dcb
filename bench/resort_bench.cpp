// What an update writes to a FAT32 card to put a copied tree back in the
// job's order, against what a fresh run writes. The cards are FAT32 images
// written through the kernel's vfat driver in user-mode Linux
// (scripts/on-fat-card.sh), all in one boot:
//   1. a fresh run of the generated collection (sd2iec style, T64 on, NFO
//      optimised, autoswap, SIDs on) onto an empty card F; sync; the sectors
//      written to F;
//   2. its output folder copied onto an empty card R with every folder's
//      entries made in the reverse of the order the job made them (the order
//      comes from F's record), as a file manager may copy a tree, files with
//      new times unless --keep-times; one process does the whole copy (this
//      program, --reverse-copy), since each program started costs time there;
//   3. sync; the sectors written to R; vqsd --update of R on the same
//      collection; sync; the sectors written to R again: their difference is
//      what the update wrote;
//   4. vqsd --verify of R, which compares every file with its record and
//      every folder's order with the job's: it must end with status 0;
//   5. a second update of R, which has nothing to re-sort: its sectors and
//      time are what any update costs, the rest of the first one's is the
//      re-sorting's.
// The fresh run is first made on this machine too, into OUTPUT_DIR, for the
// bytes of its files (which size the cards: half again as much, and room for
// the folders) and the bytes it handed to write calls; the card's record
// cannot serve as the update's, since the kernel in user-mode Linux sees the
// zips' times to the second only.
//   bench_resort [--keep-times] [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
//   (defaults: 1 run, 30000 games, /tmp/vqsd-bench-collection, /dev/shm/vqsd-bench-resort)
//   bench_resort --reverse-copy [--keep-times] FROM TO
// The cards lie in a new folder of /tmp, removed at the end; OUTPUT_DIR goes
// once the fresh run's files are counted.
// With K runs (one boot each) each figure is the median of the runs. Prints
// one table with the target and PASS or MISS, each step's time and the
// commands; the exit status is 0 whatever the figures are (2 for a wrong
// command line).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "bench/bench_util.h"
#include "engine/manifest.h"

#ifndef VQ_ON_FAT_CARD
#error "VQ_ON_FAT_CARD names scripts/on-fat-card.sh"
#endif

namespace {

namespace fs = std::filesystem;
using namespace vq::bench;

constexpr uint32_t kSeed = 7;             // the collection's, as bench_job makes it
constexpr double kMaxBytesRatio = 0.01;   // the update's bytes against the fresh run's
constexpr double kCardRoom = 1.5;         // a card holds this much more than the fresh run's files
constexpr long long kFolderRoom = 8192;   // and this much per folder
constexpr int kBootTimeoutSeconds = 3300;
constexpr size_t kCopySize = 1 << 20;
constexpr long long kSectorBytes = 512;
constexpr const char* kOutputFolder = "vondral sd";

// ---- the reverse copy (runs in user-mode Linux) ----

// Each folder's entries in the order the job made them: "" for the output
// folder, else a folder's path ending in '/'; a folder's entry ends in '/'.
using TFolderOrder = std::map<std::string, std::vector<std::string>>;

// The folder that holds `path` ("a/b/c/" -> "a/b/"; "c" -> "").
std::string ContainerOf(const std::string& path) {
  const size_t end = path.size() >= 2 ? path.find_last_of('/', path.size() - 2) : std::string::npos;
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// Adds `path` and every folder on its way that is not in `order` yet, each
// behind the entries its folder already holds.
void AddPath(TFolderOrder& order, std::unordered_set<std::string>& seen, const std::string& path) {
  for (std::string part = path; !part.empty(); part = ContainerOf(part)) {
    if (!seen.insert(part).second) break;  // its folders are in already
    const std::string folder = ContainerOf(part);
    order[folder].push_back(part.substr(folder.size()));
  }
}

// The job's order of the output folder `from`, read from its record: each
// game's folder and files in the order the record lists them, then the
// job's files at the top and the record itself.
TFolderOrder JobOrder(const std::string& from) {
  const std::string path = from + "/" + vq::kManifestName;
  const std::unique_ptr<vq::TManifest> record = vq::ParseManifest(vq::ReadWholeFileAsString(path), path);
  TFolderOrder order;
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < record->Games.size(); ++i) {
    const vq::TManifestGame game = record->Game(i);
    AddPath(order, seen, game.Path);
    for (const vq::TManifestFile& file : game.Files) AddPath(order, seen, game.Path + file.Name);
  }
  for (const vq::TManifestFile& file : record->OwnFiles) AddPath(order, seen, file.Name);
  AddPath(order, seen, vq::kManifestName);
  return order;
}

// What the copy made.
struct TCopyCounts {
  long Files = 0;
  long Folders = 0;
  unsigned long long Bytes = 0;
};

// Copies the file `from` to `to` (made here) through `buffer`; with
// `keepTime` it gets the source's modification time.
void CopyFile(const std::string& from, const std::string& to, std::vector<char>& buffer, bool keepTime,
              TCopyCounts& counts) {
  const vq::FileHandle in = vq::OpenForReading(from);
  vq::FileHandle out = vq::CreateFileForWriting(to);
  ssize_t n = 0;
  while ((n = read(in.Get(), buffer.data(), buffer.size())) > 0) {
    vq::WriteAll(out, buffer.data(), static_cast<size_t>(n), to);
    counts.Bytes += static_cast<unsigned long long>(n);
  }
  if (n < 0) throw vq::SystemError(from, errno);
  struct stat source {};
  if (keepTime && (fstat(in.Get(), &source) != 0 || futimens(out.Get(), &source.st_atim) != 0)) {
    throw vq::SystemError(to, errno);
  }
  out.Close(to);
  ++counts.Files;
}

void MakeFolder(const std::string& path, TCopyCounts& counts) {
  if (mkdir(path.c_str(), 0755) != 0) throw vq::SystemError(path, errno);
  ++counts.Folders;
}

// Makes the entries of `folder` under `to`, last first, then fills its
// folders the same way.
void CopyReversed(const TFolderOrder& order, const std::string& folder, const std::string& from,
                  const std::string& to, std::vector<char>& buffer, bool keepTimes, TCopyCounts& counts) {
  const auto entries = order.find(folder);
  if (entries == order.end()) return;
  for (auto name = entries->second.rbegin(); name != entries->second.rend(); ++name) {
    const std::string path = folder + *name;
    if (path.ends_with('/')) {
      MakeFolder(to + path, counts);
    } else {
      CopyFile(from + path, to + path, buffer, keepTimes, counts);
    }
  }
  for (const std::string& name : entries->second) {
    if (name.ends_with('/')) CopyReversed(order, folder + name, from, to, buffer, keepTimes, counts);
  }
}

// Entries under `root`, itself aside.
long CountEntries(const std::string& root) {
  long count = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) ++count;
  return count;
}

// The output folder `from` copied in reverse order to `to`; prints what it
// made, and how many entries of `from` the record does not name (not copied).
int RunReverseCopy(const std::string& from, const std::string& to, bool keepTimes) {
  const TFolderOrder order = JobOrder(from);
  std::vector<char> buffer(kCopySize);
  TCopyCounts counts;
  MakeFolder(to, counts);
  CopyReversed(order, "", from + "/", to + "/", buffer, keepTimes, counts);
  const long made = counts.Files + counts.Folders - 1;
  const long there = CountEntries(from);
  std::printf("copied in reverse order: %ld files, %ld folders, %llu bytes; %ld entries of the source not named by "
              "its record\n",
              counts.Files, counts.Folders - 1, counts.Bytes, there - made);
  return there == made ? 0 : 1;
}

// ---- the steps in user-mode Linux ----

// One command of the boot and what it did.
struct TStep {
  TStep(std::string name, std::vector<std::string> command) : Name(std::move(name)), Command(std::move(command)) {}

  std::string Name;
  std::vector<std::string> Command;
  int Status = -1;      // -1: it never ended
  double Seconds = 0;
  std::string Output;   // its standard output and error
};

// A bash script at `path` that runs the steps one after the other, keeping
// beside itself each one's output and its status, start and end. "sectors
// ubdX" prints the sectors written to that card without starting a program.
void WriteStepScript(const std::string& path, const std::vector<TStep>& steps) {
  std::ofstream out(path);
  out << "sectors() { read -r _ _ _ _ _ _ s _ </sys/block/$1/stat && echo \"$s\"; }\n"
         "step() {\n"
         "  n=$1; shift; t=$EPOCHREALTIME\n"
         "  \"$@\" </dev/null >\"$0.$n.out\" 2>&1; s=$?\n"
         "  echo \"$s $t $EPOCHREALTIME\" >\"$0.$n.status\"\n"
         "}\n";
  for (size_t i = 0; i < steps.size(); ++i) out << "step " << i << " " << ShellLine(steps[i].Command) << "\n";
  if (!out) throw vq::Error("cannot write " + path);
}

// Reads back what each step of the script at `path` did.
void ReadSteps(const std::string& path, std::vector<TStep>& steps) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const std::string base = path + "." + std::to_string(i);
    std::ifstream status(base + ".status");
    double start = 0, end = 0;
    if (status >> steps[i].Status >> start >> end) steps[i].Seconds = end - start;
    std::ostringstream text;
    text << std::ifstream(base + ".out").rdbuf();
    steps[i].Output = text.str();
  }
}

const TStep& StepNamed(const std::vector<TStep>& steps, const std::string& name) {
  for (const TStep& step : steps) {
    if (step.Name == name) return step;
  }
  throw vq::Error("no step " + name);
}

// The number a "sectors" step printed; -1 when it failed.
long long SectorsOf(const std::vector<TStep>& steps, const std::string& name) {
  const TStep& step = StepNamed(steps, name);
  return step.Status == 0 ? std::atoll(step.Output.c_str()) : -1;
}

// ---- the parent's side ----

// Where things are and how the job runs.
struct TSetup {
  std::string Vqsd;
  std::string Source;
  std::string Hvsc;
  bool KeepTimes = false;
};

// The job's command line on `source` into `dest`, ending in `mode`.
std::vector<std::string> JobArgs(const TSetup& setup, const std::string& dest, const char* mode) {
  return {setup.Vqsd, "--source", setup.Source, "--dest", dest, "--hvsc", setup.Hvsc, "--style", "sd2iec",
          "--t64",    "--nfo",    "optimize",   "--autoswap", "-q", mode};
}

// The boot's steps: fresh run onto `fresh`, reverse copy onto `card`, its
// update and its verify (its report in the file `report`), then a second
// update, which finds nothing to re-sort: what an update writes and takes
// anyway. Syncs and sector counts between.
std::vector<TStep> Steps(const TSetup& setup, const std::string& fresh, const std::string& card,
                         const std::string& report) {
  std::vector<std::string> copy = {ExecutablePath(), "--reverse-copy"};
  if (setup.KeepTimes) copy.emplace_back("--keep-times");
  copy.insert(copy.end(), {fresh + kOutputFolder, card + kOutputFolder});
  return {{"fresh run", JobArgs(setup, fresh, "--replace")},
          {"sync after the fresh run", {"sync"}},
          {"sectors of the fresh card", {"sectors", "ubdb"}},
          {"reverse copy", copy},
          {"sync after the copy", {"sync"}},
          {"sectors before", {"sectors", "ubda"}},
          {"update", JobArgs(setup, card, "--update")},
          {"sync after the update", {"sync"}},
          {"sectors after", {"sectors", "ubda"}},
          {"verify", {setup.Vqsd, "--dest", card, "--style", "sd2iec", "--verify", "--json", report, "-q"}},
          {"sectors before the second update", {"sectors", "ubda"}},
          {"second update", JobArgs(setup, card, "--update")},
          {"sync after the second update", {"sync"}},
          {"sectors after the second update", {"sectors", "ubda"}}};
}

// Makes an empty FAT32 image of `megabytes` MiB at `image`.
void MakeCard(const std::string& image, long long megabytes) {
  const RunResult r = RunProgram({VQ_ON_FAT_CARD, "--mkfs", std::to_string(megabytes), image}, false);
  if (r.ExitCode != 0) throw vq::Error("cannot make the card " + image);
}

// The command that boots user-mode Linux with the cards of `work` mounted
// and runs `script` there.
std::vector<std::string> BootCommand(const std::string& work, const std::string& script) {
  return {VQ_ON_FAT_CARD,         "--timeout",      std::to_string(kBootTimeoutSeconds),
          work + "/resorted.img", work + "/resorted/", work + "/fresh.img",
          work + "/fresh/",       "--",             "bash",
          script};
}

// The figures of one boot.
struct TRound {
  std::vector<TStep> Steps;
  int BootStatus = -1;
  long long FreshSectors = -1;  // written to the fresh card by the fresh run
  long long CopySectors = -1;   // written to the other card by the copy
  long long UpdateSectors = -1; // written to it by the update
  long long SecondSectors = -1; // written to it by the second update
  std::string OutOfOrder;       // the verify's list of folders out of order, as its report gives it
};

// The list of folders out of order in the verify's report `path`, clipped.
std::string OutOfOrderList(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string report = text.str();
  const size_t start = report.find("\"out_of_order\"");
  if (start == std::string::npos) return "(no report)";
  const size_t end = report.find(']', start);
  const std::string list = report.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
  return list.size() > 600 ? list.substr(0, 600) + "..." : list;
}

// One boot on two new cards of `megabytes` MiB in a new folder of /tmp.
TRound RunRound(const TSetup& setup, long long megabytes) {
  const TTempFolder work("/tmp", "vqsd-resort-");
  const std::string card = work.Path() + "/resorted/", fresh = work.Path() + "/fresh/";
  std::fprintf(stderr, "making two cards of %lld MiB in %s\n", megabytes, work.Path().c_str());
  MakeCard(work.Path() + "/resorted.img", megabytes);
  MakeCard(work.Path() + "/fresh.img", megabytes);
  TRound round;
  round.Steps = Steps(setup, fresh, card, work.Path() + "/verify.json");
  const std::string script = work.Path() + "/steps.sh";
  WriteStepScript(script, round.Steps);
  std::fprintf(stderr, "booting user-mode Linux: %s\n", ShellLine(BootCommand(work.Path(), script)).c_str());
  round.BootStatus = RunProgram(BootCommand(work.Path(), script), false).ExitCode;
  ReadSteps(script, round.Steps);
  round.FreshSectors = SectorsOf(round.Steps, "sectors of the fresh card");
  const long long before = SectorsOf(round.Steps, "sectors before"), after = SectorsOf(round.Steps, "sectors after");
  round.CopySectors = before;
  if (before >= 0 && after >= 0) round.UpdateSectors = after - before;
  const long long again = SectorsOf(round.Steps, "sectors before the second update");
  const long long last = SectorsOf(round.Steps, "sectors after the second update");
  if (again >= 0 && last >= 0) round.SecondSectors = last - again;
  round.OutOfOrder = OutOfOrderList(work.Path() + "/verify.json");
  return round;
}

// The fresh run on this machine into `out`: the bytes of its files and what
// it handed to write calls.
struct THostRun {
  RunResult Run;
  unsigned long long TreeBytes = 0;
  long Folders = 0;
};

THostRun HostRun(const TSetup& setup, const std::string& out) {
  THostRun host;
  RemoveTree(out);
  sync();
  std::fprintf(stderr, "running: %s\n", ShellLine(JobArgs(setup, out, "--replace")).c_str());
  host.Run = RunProgram(JobArgs(setup, out, "--replace"));
  if (host.Run.ExitCode != 0) throw vq::Error("the fresh run ended with " + std::to_string(host.Run.ExitCode));
  host.TreeBytes = TreeBytes(out);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out)) {
    if (entry.is_directory() && !entry.is_symlink()) ++host.Folders;
  }
  RemoveTree(out);
  return host;
}

// The median of one figure over the rounds (-1 when a round lacks it).
double MedianOf(const std::vector<TRound>& rounds, long long TRound::*figure) {
  std::vector<double> values;
  values.reserve(rounds.size());
  for (const TRound& r : rounds) {
    if (r.*figure < 0) return -1;
    values.push_back(static_cast<double>(r.*figure));
  }
  return Median(values);
}

// One row of the bytes table: `bytes` against the update's, and the target
// where `target`.
void PrintBytesRow(const char* label, double bytes, double update, bool target) {
  const bool known = bytes > 0 && update >= 0;
  const double ratio = known ? update / bytes : 0;
  char check[48] = "";
  if (target) {
    std::snprintf(check, sizeof check, "< %.0f %% %s", kMaxBytesRatio * 100,
                  known ? Verdict(ratio < kMaxBytesRatio) : "MISS (no figure)");
  }
  std::printf("%-44s %12.1f %12.4f %%  %s\n", label, bytes / 1e6, ratio * 100, check);
}

// Every step's status and time (medians), and the output of those that
// report something.
void PrintSteps(const std::vector<TRound>& rounds) {
  std::printf("%-44s %12s %8s\n", "step in user-mode Linux (last run)", "seconds", "status");
  const std::vector<TStep>& last = rounds.back().Steps;
  for (size_t i = 0; i < last.size(); ++i) {
    std::vector<double> seconds;
    seconds.reserve(rounds.size());
    for (const TRound& r : rounds) seconds.push_back(r.Steps[i].Seconds);
    std::printf("%-44s %12.1f %8d\n", last[i].Name.c_str(), Median(seconds), last[i].Status);
  }
  for (const char* name : {"fresh run", "reverse copy", "update", "verify", "second update"}) {
    std::string output = StepNamed(last, name).Output;
    while (!output.empty() && output.back() == '\n') output.pop_back();
    std::printf("%s says:\n  %s\n", name, output.c_str());
  }
}

void PrintReport(const THostRun& host, const std::vector<TRound>& rounds, const TSetup& setup) {
  const double update = MedianOf(rounds, &TRound::UpdateSectors) * kSectorBytes;
  std::printf("fresh output: %.1f MB in files, %ld folders; %zu run%s (one boot each, medians); copy with %s\n",
              static_cast<double>(host.TreeBytes) / 1e6, host.Folders, rounds.size(), rounds.size() == 1 ? "" : "s",
              setup.KeepTimes ? "the files' times kept" : "new times");
  std::printf("%-44s %12s %14s  %s\n", "written", "MB", "update/this", "target");
  PrintBytesRow("fresh run: bytes of its files", static_cast<double>(host.TreeBytes), update, true);
  PrintBytesRow("fresh run onto the empty card (sectors)", MedianOf(rounds, &TRound::FreshSectors) * kSectorBytes,
                update, true);
  PrintBytesRow("reverse copy onto the empty card (sectors)", MedianOf(rounds, &TRound::CopySectors) * kSectorBytes,
                update, false);
  PrintBytesRow("fresh run on this machine (wchar)", static_cast<double>(host.Run.WriteChars), update, false);
  std::printf("%-44s %12.1f\n", "update re-sorting the copy (sectors)", update / 1e6);
  std::printf("%-44s %12.1f\n", "second update, nothing to re-sort (sectors)",
              MedianOf(rounds, &TRound::SecondSectors) * kSectorBytes / 1e6);
  PrintSteps(rounds);
  for (const TRound& r : rounds) {
    if (r.BootStatus != 0) std::printf("FAILED: a boot ended with status %d\n", r.BootStatus);
  }
  const TStep& verify = StepNamed(rounds.back().Steps, "verify");
  if (verify.Status == 0) {
    std::printf("verify after the update: exit 0, PASS\n");
  } else {
    std::printf("verify after the update: exit %d, MISS; %s\n", verify.Status, rounds.back().OutOfOrder.c_str());
  }
}

void PrintCommands(const TSetup& setup, const std::string& out) {
  std::printf("commands (CARD: the mounted card, FRESH: the fresh one, REPORT: a file beside them):\n  %s\n",
              ShellLine(JobArgs(setup, out, "--replace")).c_str());
  const std::vector<TStep> steps = Steps(setup, "FRESH/", "CARD/", "REPORT");
  for (const TStep& step : steps) std::printf("  %s\n", ShellLine(step.Command).c_str());
}

// Measures the rounds and prints the report; 2 for a wrong command line.
int Run(int argc, char** argv, bool keepTimes) {
  TBenchArgs args;
  if (!ParseBenchArgs(argc, argv, "bench_resort [--keep-times]", "/dev/shm/vqsd-bench-resort", args)) return 2;
  const RunResult check = RunProgram({VQ_ON_FAT_CARD, "--check"}, false);
  if (check.ExitCode != 0) throw vq::Error("user-mode Linux cannot run here (see above)");
  TSetup setup;
  setup.Source = EnsureCollection(args.Root, args.Games, kSeed);
  setup.Hvsc = args.Root + "/hvsc";
  setup.Vqsd = fs::path(ExecutableDir() + "../cli/vqsd").lexically_normal().string();
  setup.KeepTimes = keepTimes;
  WarmCache(args.Root);
  const THostRun host = HostRun(setup, args.Out);
  const long long room =
      static_cast<long long>(kCardRoom * static_cast<double>(host.TreeBytes)) + kFolderRoom * host.Folders;
  std::vector<TRound> rounds;
  rounds.reserve(static_cast<size_t>(args.Runs));
  for (int run = 0; run < args.Runs; ++run) rounds.push_back(RunRound(setup, room / (1 << 20) + 64));
  PrintReport(host, rounds, setup);
  PrintCommands(setup, args.Out);
  return 0;
}

// The command line without "--keep-times", which it tells.
bool TakeKeepTimes(int& argc, char** argv) {
  const auto end =
      std::remove_if(argv + 1, argv + argc, [](const char* a) { return std::strcmp(a, "--keep-times") == 0; });
  const bool found = end != argv + argc;
  argc = static_cast<int>(end - argv);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bool keepTimes = TakeKeepTimes(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--reverse-copy") == 0) return RunReverseCopy(argv[2], argv[3], keepTimes);
    return Run(argc, argv, keepTimes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_resort: %s\n", e.what());
    return 1;
  }
}
