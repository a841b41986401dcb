// The scan of a generated collection through the command-line front end in
// test mode, with a warm cache: zip files per second and peak memory.
//   bench_scan [GAMES [COLLECTION_DIR]]   (defaults: 30000, /tmp/vqsd-bench-collection)
// The scan's time runs from the program's start to its first report of a
// later phase; the program's whole run is printed beside it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"

int main(int argc, char** argv) {
  using namespace vq::bench;
  const int games = argc > 1 ? std::atoi(argv[1]) : 30000;
  const std::string root = argc > 2 ? argv[2] : "/tmp/vqsd-bench-collection";
  const std::string source = EnsureCollection(root, games, 7);
  const std::string vqsd = ExecutableDir() + "../cli/vqsd";
  const std::string dest = root + "-scan-out";

  std::vector<double> scans, wholes;
  long peak = 0;
  int scanned = 0;
  for (int run = 0; run < 4; ++run) {  // the first run warms the cache and is not counted
    RemoveTree(dest);
    const RunResult r = RunProgram({vqsd, "--source", source, "--dest", dest, "--test", "--replace"});
    if (r.ExitCode != 0) {
      std::fprintf(stderr, "vqsd failed with %d\n", r.ExitCode);
      return 1;
    }
    double scanEnd = r.Seconds;
    for (const auto& [t, line] : r.Lines) {
      if (line.rfind("Adjusting folder names.", 0) == 0 || line.rfind("Sorting...", 0) == 0) {
        scanEnd = t;
        break;
      }
    }
    if (!r.Lines.empty()) std::sscanf(r.Lines.back().second.c_str(), "%*[^]]] %d archives", &scanned);
    if (run == 0) continue;
    scans.push_back(scanEnd);
    wholes.push_back(r.Seconds);
    peak = std::max(peak, r.PeakKiB);
  }
  RemoveTree(dest);
  std::sort(scans.begin(), scans.end());
  std::sort(wholes.begin(), wholes.end());
  const double scan = scans[scans.size() / 2];
  std::printf("scan of %d zip files: %.3f s (median of %zu), %.0f zip files per second\n", scanned, scan,
              scans.size(), scanned / scan);
  std::printf("whole test-mode job: %.3f s (median)\n", wholes[wholes.size() / 2]);
  std::printf("peak memory: %.1f MiB\n", static_cast<double>(peak) / 1024.0);
  std::printf("targets: >= 20000 zip files per second, < 64 MiB\n");
  return 0;
}
