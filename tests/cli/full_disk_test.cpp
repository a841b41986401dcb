// A disk that runs full in the middle of a job: the job ends with the
// system's message, and every file left under its final name is the one an
// uninterrupted run writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "temp_folder.h"
#include "tools/sample_collection.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file under `root`, by its relative path, with its content.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = Read(entry.path());
  }
  return files;
}

TEST(FullDisk, EndsTheJobAndLeavesNoFileDifferentFromAWholeRun) {
  const test::TempFolder tmp("fulldisk");
  tools::TSampleOptions sample;
  sample.Seed = 11;
  sample.GameCount = 60;
  const tools::TSampleCollection collection = tools::GenerateSampleCollection(tmp.Path() + "c", sample);
  const auto source = Files(collection.GamesDir);
  // One job, with the disk full after `limit` bytes (negative: never).
  auto run = [&](const std::string& dest, long long limit, std::string& log, const std::string& extra = "") {
    std::string command = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
    if (limit >= 0) command += "LD_PRELOAD='" VQ_FULL_DISK_PRELOAD "' VQ_FULL_AFTER=" + std::to_string(limit) + " ";
    command += "'" VQ_VQSD "' --source '" + collection.GamesDir + "' --dest '" + dest + "' --hvsc '" +
               collection.HvscDir + "' --style sd2iec --autoswap --t64 " + extra + " > '" + tmp.Path() + "log' 2>&1";
    const int status = std::system(command.c_str());
    log = Read(tmp.Path() + "log");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string log;
  ASSERT_EQ(run(tmp.Path() + "whole", -1, log), 0) << log;
  auto whole = Files(tmp.Path() + "whole/vondral sd");
  // The record holds the times the files got.
  ASSERT_EQ(whole.erase("vqsd-manifest.txt"), 1u);
  long long total = 0;
  for (const auto& [path, data] : whole) total += static_cast<long long>(data.size());
  ASSERT_GT(total, 0);

  for (const long long limit : {0LL, total / 5, total * 2 / 5, total * 3 / 5, total * 4 / 5, total - 1}) {
    const std::string dest = tmp.Path() + "full" + std::to_string(limit);
    EXPECT_EQ(run(dest, limit, log), 1) << "limit " << limit << "\n" << log;
    EXPECT_NE(log.find("No space left on device"), std::string::npos) << log;
    const auto left = Files(dest + "/vondral sd");
    EXPECT_EQ(left.count("gamelist.csv"), 0u) << "limit " << limit;
    for (const auto& [path, data] : left) {
      // The record of the games finished, which an update resumes from.
      if (path == "vqsd-manifest.txt.tmp") continue;
      const auto same = whole.find(path);
      EXPECT_TRUE(same != whole.end() && same->second == data) << path << " at limit " << limit;
    }
    if (limit == total * 3 / 5) {
      // With room again, an update finishes the job as a whole run wrote it.
      EXPECT_EQ(run(dest, -1, log, "--update"), 0) << log;
      EXPECT_NE(log.find("Resumed the job that was cut off."), std::string::npos) << log;
      auto finished = Files(dest + "/vondral sd");
      EXPECT_EQ(finished.erase("vqsd-manifest.txt"), 1u);
      EXPECT_EQ(finished, whole);
    }
  }
  EXPECT_EQ(Files(collection.GamesDir), source);
}

}  // namespace
}  // namespace vq
