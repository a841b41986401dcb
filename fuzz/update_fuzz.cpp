// libFuzzer harness for an update's planning over an untrusted record. Once
// per process it writes a small collection into a sandbox, runs a job on it
// and adds to the output folder what a user adds: a file of their own, a
// folder of their own and a symbolic link to a folder outside. Then each
// input becomes the output folder's record, and an update in test mode plans
// against it. Whether it plans or refuses:
//   - every path the plan names is relative and plain: no leading '/', no
//     empty, "." or ".." part (a folder's path ends in its one '/');
//   - nothing in the sandbox changed: no entry appeared, went or changed
//     its size, time or target, the record itself aside.
// A violation aborts with a message. With VQ_FUZZ_WRITE_RECORD set to a
// file name, the harness writes the record of its first job there: the seed
// the corpus grew from.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

#include "engine/job_options.h"
#include "engine/manifest.h"
#include "engine/work_thread.h"
#include "tools/sample_collection.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "update_fuzz: %s: \"%.*s\"\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// True when `path` is "" (the output folder) or has parts separated by
// single '/', none empty, "." or "..", with at most one '/' at its end.
bool IsPlain(std::string_view path) {
  if (path.empty()) return true;
  if (path.back() == '/') path.remove_suffix(1);
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    const std::string_view part = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

// Every entry under `root`, links not followed: its kind, size, time and
// link target.
using TSnapshot = std::map<std::string, std::string>;
TSnapshot Snapshot(const std::string& root) {
  TSnapshot entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    struct stat st {};
    const std::string path = it->path().string();
    if (lstat(path.c_str(), &st) != 0) Fail("cannot look at", path);
    std::string value = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode)) value += " -> " + fs::read_symlink(it->path()).string();
    entries.emplace(path, std::move(value));
  }
  if (ec) Fail("cannot walk", root);
  return entries;
}

// The sandbox: the collection, the destination with its output folder, and
// a folder beside them that must never be touched. Removed at exit.
class TSandbox {
 public:
  TSandbox() : root_(fs::temp_directory_path() / ("vqsd-update-fuzz-" + std::to_string(getpid()))) {
    fs::remove_all(root_);
    vq::tools::TSampleOptions sample;
    sample.Seed = 18;
    sample.GameCount = 8;
    sample.WithHvsc = false;
    sample.WithRomList = false;
    options_.SourceDir = vq::tools::GenerateSampleCollection((root_ / "collection").string(), sample).GamesDir;
    // Zips of fixed times, so that a record of one process's sandbox names
    // the sources of every other's.
    const timespec fixed[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    for (const auto& entry : fs::recursive_directory_iterator(options_.SourceDir)) {
      if (entry.is_regular_file() && utimensat(AT_FDCWD, entry.path().c_str(), fixed, 0) != 0) {
        Fail("cannot set the time of", entry.path().string());
      }
    }
    options_.DestDir = (root_ / "dest").string();
    options_.FileNameStyle = vq::fns1541U;
    options_.ExtractT64 = true;
    options_.Jobs = 1;
    fs::create_directories(vq::OutputFolder(options_));
    Run(options_);
    const fs::path card = vq::OutputFolder(options_);
    record_ = (card / vq::kManifestName).string();
    if (const char* seed = std::getenv("VQ_FUZZ_WRITE_RECORD")) fs::copy_file(record_, seed, fs::copy_options::overwrite_existing);
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside);
    Write(outside / "precious.txt", "not the job's");
    Write(card / "README-mine.txt", "mine");
    fs::create_directories(card / "My Own Stuff");
    Write(card / "My Own Stuff" / "notes.txt", "mine too");
    fs::create_directory_symlink(outside, card / "Elsewhere");
    options_.Update = true;
    options_.TestMode = true;
    before_ = Snapshot(root_.string());
    before_.erase(record_);
  }
  ~TSandbox() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  TSandbox(const TSandbox&) = delete;
  TSandbox& operator=(const TSandbox&) = delete;

  void Check(const std::string& record) const {
    Write(record_, record);
    vq::TWorkThread job(options_);
    job.Start();
    job.WaitFor();
    for (const std::string& path : job.PlannedPaths()) {
      if (!IsPlain(path)) Fail("planned path not plain", path);
    }
    TSnapshot after = Snapshot(root_.string());
    after.erase(record_);
    if (after != before_) Fail("the sandbox changed", record);
  }

 private:
  static void Run(const vq::TJobOptions& options) {
    vq::TWorkThread job(options);
    job.Start();
    job.WaitFor();
    if (job.Outcome() != vq::TJobOutcome::joFinished) Fail("the first job failed", job.Status());
  }
  static void Write(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("cannot write", path.string());
  }

  fs::path root_;
  vq::TJobOptions options_;
  std::string record_;
  TSnapshot before_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Made on the first input and removed when the process exits.
  static const TSandbox sandbox;
  sandbox.Check(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
