// Converts a 1 MiB T64 archive holding 64 files into PC64 files in a folder
// under /tmp (or FOLDER) and prints the time per conversion: reading the
// directory, counting in test mode, writing into a new empty folder each run,
// and writing over the files of the run before.
//   bench_t64 [RUNS [FOLDER]]   (defaults: 200 runs, a new folder in /tmp)
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/file_sink.h"
#include "base/file_system.h"
#include "tape/t64_archive.h"

namespace {

constexpr size_t kArchiveSize = size_t{1024} * 1024;
constexpr int kFiles = 64;

// A T64 archive of exactly kArchiveSize bytes with kFiles program files.
std::vector<uint8_t> BuildArchive() {
  using namespace vq::t64;
  std::vector<uint8_t> bytes(kArchiveSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
  Tt64FileHeader header{};
  std::memcpy(header.Signature, "C64S tape image file", 20);
  header.TapeVer = 0x0101;
  header.MaxEntries = kFiles;
  header.UsedEntries = kFiles;
  std::memset(header.TapeName, ' ', sizeof header.TapeName);
  std::memcpy(header.TapeName, "BENCH TAPE", 10);
  const auto encoded = EncodeFileHeader(header);
  std::copy(encoded.begin(), encoded.end(), bytes.begin());

  const size_t dataStart = kHeaderSize + kSlotSize * kFiles;
  const size_t perFile = (kArchiveSize - dataStart) / kFiles;
  for (int i = 0; i < kFiles; ++i) {
    Tt64DirectoryEntry entry{};
    entry.FileTypeC64S = kC64sNormalFile;
    entry.FileType1541 = 0x82;
    entry.StartAddress = 0x0801;
    entry.Offset = static_cast<uint32_t>(dataStart + perFile * i);
    std::memset(entry.FileName, ' ', sizeof entry.FileName);
    std::snprintf(reinterpret_cast<char*>(entry.FileName), sizeof entry.FileName, "FILE%02d", i);
    entry.FileName[6] = ' ';
    const auto slot = EncodeDirectoryEntry(entry);
    std::copy(slot.begin(), slot.end(), bytes.begin() + kHeaderSize + std::ptrdiff_t{kSlotSize} * i);
  }
  return bytes;
}

// A folder that the files are made in as the job makes them: base's TNewFile
// at a path below it.
class FolderTarget final : public vq::TFileTarget {
 public:
  explicit FolderTarget(const std::string& folder) : folder_(vq::IncludeTrailingDelimiter(folder)) {}
  std::unique_ptr<vq::TFileSink> Create(const std::string& relativePath) override {
    return std::make_unique<Sink>(folder_ + relativePath);
  }

 private:
  class Sink final : public vq::TFileSink {
   public:
    explicit Sink(const std::string& path) : file_(path) {}
    void Write(const void* data, size_t size) override { file_.Write(data, size); }
    void Commit() override { file_.Commit(); }

   private:
    vq::TNewFile file_;
  };
  std::string folder_;
};

struct Figures {
  double median;
  double min;
  double p90;
};

Figures Summarize(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.front(), ms[ms.size() * 9 / 10]};
}

void Print(const char* what, const Figures& f) {
  std::printf("%-38s median %9.4f ms   min %9.4f ms   p90 %9.4f ms\n", what, f.median, f.min,
              f.p90);
}

template <typename Fn>
double TimeMs(Fn&& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::vector<uint8_t> bytes = BuildArchive();

  std::string pattern = std::string(argc > 2 ? argv[2] : "/tmp") + "/bench_t64.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path root = pattern;
  const std::string replaceDir = (root / "replace").string();
  std::filesystem::create_directory(replaceDir);
  FolderTarget replaceTarget(replaceDir);

  std::vector<double> parse, counting, replacing, fresh;
  int32_t written = 0;
  for (int run = 0; run < runs; ++run) {
    parse.push_back(TimeMs([&] { vq::Tt64Archive archive(bytes, "BENCH.T64"); }));
  }
  const vq::Tt64Archive archive(bytes, "BENCH.T64");
  for (int run = 0; run < runs; ++run) {
    counting.push_back(TimeMs([&] { written = archive.ExtractToPxx(replaceTarget, true); }));
  }
  // Each phase starts with nothing left to write back.
  ::sync();
  for (int run = 0; run < runs; ++run) {
    const std::string freshDir = (root / ("fresh" + std::to_string(run))).string();
    std::filesystem::create_directory(freshDir);
    FolderTarget freshTarget(freshDir);
    fresh.push_back(TimeMs([&] { written = archive.ExtractToPxx(freshTarget, false); }));
  }
  ::sync();
  for (int run = 0; run < runs; ++run) {
    replacing.push_back(TimeMs([&] { written = archive.ExtractToPxx(replaceTarget, false); }));
  }
  std::filesystem::remove_all(root);

  std::printf("T64 conversion: %zu-byte archive, %d files written per run, %d runs, in %s\n",
              bytes.size(), written, runs, pattern.c_str());
  Print("read header and directory", Summarize(parse));
  Print("ExtractToPxx, test mode", Summarize(counting));
  Print("ExtractToPxx, into an empty folder", Summarize(fresh));
  Print("ExtractToPxx, replacing earlier files", Summarize(replacing));
  return written == kFiles ? 0 : 1;
}
