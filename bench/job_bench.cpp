// The whole job (sd2iec style, T64 on, NFO optimised, SIDs on) on a
// generated collection, beside a baseline that extracts the same zips with
// Info-ZIP unzip into one folder per zip, in the same run.
//   bench_job [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]
//   (defaults: 30000, /tmp/vqsd-bench-collection, /tmp/vqsd-bench-out)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"

namespace {

namespace fs = std::filesystem;

// Every *.zip under `root` in walking order.
std::vector<std::string> ZipFiles(const std::string& root) {
  std::vector<std::string> zips;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.size() > 4 && name.substr(name.size() - 4) == ".zip") {
      zips.push_back(entry.path().string());
    }
  }
  return zips;
}

// Reads every file once so both runs start from a warm cache.
void WarmCache(const std::vector<std::string>& files) {
  std::vector<char> buffer(1 << 20);
  for (const std::string& f : files) {
    if (FILE* in = std::fopen(f.c_str(), "rb")) {
      while (std::fread(buffer.data(), 1, buffer.size(), in) > 0) {
      }
      std::fclose(in);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vq::bench;
  const int games = argc > 1 ? std::atoi(argv[1]) : 30000;
  const std::string root = argc > 2 ? argv[2] : "/tmp/vqsd-bench-collection";
  const std::string out = argc > 3 ? argv[3] : "/tmp/vqsd-bench-out";
  const std::string source = EnsureCollection(root, games, 7);
  const std::string vqsd = ExecutableDir() + "../cli/vqsd";

  const std::vector<std::string> zips = ZipFiles(source);
  WarmCache(zips);
  RemoveTree(out);
  sync();

  const RunResult ours = RunProgram({vqsd, "--source", source, "--dest", out + "/ours", "--hvsc", root + "/hvsc",
                                     "--style", "sd2iec", "--t64", "--nfo", "optimize", "--autoswap", "--replace"});
  if (ours.ExitCode != 0) {
    std::fprintf(stderr, "vqsd failed with %d\n", ours.ExitCode);
    return 1;
  }
  const unsigned long long oursBytes = TreeBytes(out + "/ours");
  const std::string summary = ours.Lines.empty() ? "" : ours.Lines.back().second;
  RemoveTree(out + "/ours");
  sync();

  fs::create_directories(out + "/unzip");
  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  for (size_t i = 0; i < zips.size(); ++i) {
    const RunResult r = RunProgram({"/usr/bin/unzip", "-qq", "-o", zips[i], "-d", out + "/unzip/" + std::to_string(i)});
    if (r.ExitCode != 0) ++failures;
  }
  const double unzipSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const unsigned long long unzipBytes = TreeBytes(out + "/unzip");
  RemoveTree(out);

  std::printf("collection: %zu zip files (%d games generated)\n", zips.size(), games);
  std::printf("vqsd job:       %8.2f s, %12llu bytes written, peak memory %.1f MiB\n", ours.Seconds, oursBytes,
              static_cast<double>(ours.PeakKiB) / 1024.0);
  std::printf("unzip baseline: %8.2f s, %12llu bytes written (%d zips failed, the broken ones)\n", unzipSeconds,
              unzipBytes, failures);
  std::printf("ratio vqsd/unzip: %.3f (target <= 0.5), peak memory target < 128 MiB\n", ours.Seconds / unzipSeconds);
  std::printf("job summary: %s\n", summary.c_str());
  return 0;
}
