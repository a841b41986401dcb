// Peak memory of the job on hostile input. A source folder under /tmp (or
// TEMP_PARENT) holds a hundred generated games beside three zips written
// here by hand, byte by byte:
//   Big_1.zip   VERSION.NFO whose headers state 1 KiB but whose data
//               inflates to 200 MB ("Name: Big" and then blanks);
//   Tape_2.zip  a valid NFO and a T64 tape of about 60 MB;
//   Disk_3.zip  a valid NFO and a D64 entry of 300 MB of zeros.
// vqsd runs on it with --t64 --keep-going at one, two and eight threads and
// in test mode, and on the generated games alone and on each hostile zip
// alone; each run's peak resident memory is printed against the target with
// PASS or MISS, beside its exit status. The exit status is 0 whatever the
// figures are.
//   bench_memory [TEMP_PARENT]   (default: /tmp; the folder is removed after)
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "bench/bench_util.h"
#include "tools/sample_collection.h"
#include "tools/sample_images.h"

namespace {

namespace fs = std::filesystem;
using namespace vq::bench;

constexpr double kMaxPeakMiB = 64;
constexpr uint64_t kMB = uint64_t{1000} * 1000;
constexpr size_t kChunk = size_t{1} << 20;

void Put16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xff));
  out.push_back(static_cast<char>((value >> 8) & 0xff));
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

// A raw deflate stream (no zlib header), as zip entries hold it.
class TDeflater {
 public:
  TDeflater() {
    if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw vq::Error("deflateInit2 failed");
    }
  }
  ~TDeflater() { deflateEnd(&stream_); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Deflates `size` bytes at `data` and appends what comes out to `out`;
  // `last` ends the stream.
  void Feed(const char* data, size_t size, bool last, std::string& out) {
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream_.avail_in = static_cast<uInt>(size);
    char buffer[1 << 16];
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer);
      stream_.avail_out = sizeof buffer;
      if (deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR) throw vq::Error("deflate failed");
      out.append(buffer, sizeof buffer - stream_.avail_out);
    } while (stream_.avail_out == 0);
  }

 private:
  z_stream stream_{};
};

// A zip archive written by hand, so that its headers can state sizes that
// its data does not have. Every entry is deflated; no zip64 (entries and the
// archive stay under 4 GiB).
class TRawZipWriter {
 public:
  explicit TRawZipWriter(const std::string& path) : path_(path), file_(vq::CreateFileForWriting(path)) {}

  // Adds `name` holding `head` followed by `fill` bytes up to `size` bytes in
  // all. Its local and central headers state `statedSize` as the
  // uncompressed size, by default the real one; the CRC is always the real
  // data's.
  void Add(const std::string& name, const std::string& head, uint64_t size, char fill,
           std::optional<uint32_t> statedSize = std::nullopt) {
    TDeflater deflater;
    std::string data;
    uLong crc = crc32(0, nullptr, 0);
    const std::string fillChunk(kChunk, fill);
    uint64_t done = 0;
    while (done < size) {
      const bool inHead = done < head.size();
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, inHead ? head.size() - done : size - done));
      const char* bytes = inHead ? head.data() + done : fillChunk.data();
      crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(n));
      done += n;
      deflater.Feed(bytes, n, done == size, data);
    }
    if (size == 0) deflater.Feed(nullptr, 0, true, data);
    const TEntry entry{name, static_cast<uint32_t>(crc), static_cast<uint32_t>(data.size()),
                       statedSize.value_or(static_cast<uint32_t>(size)), static_cast<uint32_t>(offset_)};
    std::string header;
    Put32(header, 0x04034b50);
    PutCommon(header, entry);
    Put16(header, 0);  // extra field length
    Write(header + name);
    Write(data);
    entries_.push_back(entry);
  }

  // Writes the central directory and closes the file.
  void Finish() {
    const uint64_t start = offset_;
    for (const TEntry& entry : entries_) {
      std::string header;
      Put32(header, 0x02014b50);
      Put16(header, 20);  // made by: version 2.0
      PutCommon(header, entry);
      Put16(header, 0);  // extra field length
      Put16(header, 0);  // comment length
      Put16(header, 0);  // disk number
      Put16(header, 0);  // internal attributes
      Put32(header, 0);  // external attributes
      Put32(header, entry.Offset);
      Write(header + entry.Name);
    }
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint32_t>(entries_.size()));
    Put16(end, static_cast<uint32_t>(entries_.size()));
    Put32(end, static_cast<uint32_t>(offset_ - start));
    Put32(end, static_cast<uint32_t>(start));
    Put16(end, 0);  // comment length
    Write(end);
    file_.Close(path_);
  }

 private:
  struct TEntry {
    std::string Name;
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t StatedSize = 0;
    uint32_t Offset = 0;
  };

  // The fields from "version needed" to the name's length, alike in the
  // local and the central header.
  static void PutCommon(std::string& out, const TEntry& entry) {
    Put16(out, 20);                                 // version needed: 2.0
    Put16(out, 0);                                  // flags
    Put16(out, 8);                                  // deflated
    Put16(out, 12 << 11);                           // 12:00:00
    Put16(out, ((1994 - 1980) << 9) | (6 << 5) | 21);  // 1994-06-21
    Put32(out, entry.Crc);
    Put32(out, entry.CompressedSize);
    Put32(out, entry.StatedSize);
    Put16(out, static_cast<uint32_t>(entry.Name.size()));
  }

  void Write(const std::string& bytes) {
    vq::WriteAll(file_, bytes.data(), bytes.size(), path_);
    offset_ += bytes.size();
  }

  std::string path_;
  vq::FileHandle file_;
  uint64_t offset_ = 0;
  std::vector<TEntry> entries_;
};

std::string Nfo(const std::string& name, int id) {
  return "Name: " + name + "\r\nUnique-ID: " + std::to_string(id) + "\r\n";
}

// A valid tape of about 60 MB: PRG files of 64,000 bytes each, their data a
// short repeating pattern.
std::string BigTape() {
  std::vector<std::pair<std::string, std::string>> files;
  std::string program = "\x01\x08";
  for (int i = 0; program.size() < 64000; ++i) program.push_back(static_cast<char>("SYS2061 "[i % 8]));
  while (files.size() * program.size() < 60 * kMB) files.emplace_back("FILE " + std::to_string(files.size()), program);
  return vq::tools::MakeT64Archive("BIG TAPE", files);
}

// The hostile zips, each in a folder of its own under `games`: big/, tape/
// and disk/.
void WriteHostileZips(const std::string& games) {
  for (const char* folder : {"big", "tape", "disk"}) fs::create_directories(games + "/" + folder);
  const std::string disk = vq::tools::MakeD64Image("GAME", {"GAME"});
  {
    TRawZipWriter zip(games + "/big/Big_1.zip");
    zip.Add("VERSION.NFO", "Name: Big\r\n", 200 * kMB, ' ', 1024);
    zip.Add("Big.d64", disk, disk.size(), 0);
    zip.Finish();
  }
  {
    const std::string tape = BigTape();
    TRawZipWriter zip(games + "/tape/Tape_2.zip");
    const std::string nfo = Nfo("Tape", 1);
    zip.Add("VERSION.NFO", nfo, nfo.size(), 0);
    zip.Add("Tape.t64", tape, tape.size(), 0);
    zip.Finish();
  }
  {
    const std::string nfo = Nfo("Disk", 2);
    TRawZipWriter zip(games + "/disk/Disk_3.zip");
    zip.Add("VERSION.NFO", nfo, nfo.size(), 0);
    zip.Add("Disk.d64", "", 300 * kMB, 0);
    zip.Finish();
  }
}

// The source folder: games/normal (generated) beside the hostile zips.
void BuildSource(const std::string& root) {
  vq::tools::TSampleOptions options;
  options.Seed = 7;
  options.GameCount = 100;
  options.WithHvsc = false;
  options.WithRomList = false;
  vq::tools::GenerateSampleCollection(root + "/generated", options);
  fs::create_directories(root + "/games");
  fs::rename(root + "/generated/games", root + "/games/normal");
  WriteHostileZips(root + "/games");
}

// Builds the source, runs every case and prints the table.
void Run(const std::string& parent) {
  const std::string vqsd = ExecutableDir() + "../cli/vqsd";
  const TTempFolder temp(parent, "vqsd-memory-");
  const std::string dest = temp.Path() + "/out";
  std::fprintf(stderr, "writing the source folder in %s ...\n", temp.Path().c_str());
  BuildSource(temp.Path());

  struct TCase {
    std::string Label;
    std::string Source;
    std::vector<std::string> Options;
  };
  const std::string all = temp.Path() + "/games";
  const std::vector<TCase> cases = {
      {"generated games only, --jobs 2", all + "/normal", {"--jobs", "2"}},
      {"Big_1.zip alone, --jobs 2", all + "/big", {"--jobs", "2"}},
      {"Tape_2.zip alone, --jobs 2", all + "/tape", {"--jobs", "2"}},
      {"Disk_3.zip alone, --jobs 2", all + "/disk", {"--jobs", "2"}},
      {"with hostile zips, --jobs 1", all, {"--jobs", "1"}},
      {"with hostile zips, --jobs 2", all, {"--jobs", "2"}},
      {"with hostile zips, --jobs 8", all, {"--jobs", "8"}},
      {"test mode, --jobs 2", all, {"--jobs", "2", "--test"}},
      {"test mode, --jobs 8", all, {"--jobs", "8", "--test"}},
  };
  std::printf("peak resident memory of vqsd --t64 --keep-going (target < %.0f MiB)\n", kMaxPeakMiB);
  std::printf("%-32s %6s %8s %9s %11s  %s\n", "", "exit", "wall s", "peak MiB", "MB written", "target");
  std::vector<std::string> summaries;
  for (const TCase& c : cases) {
    std::vector<std::string> args = {vqsd,        "--source",  c.Source,    "--dest",     dest,
                                     "--no-hvsc", "--t64",     "--keep-going", "--replace"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    RemoveTree(dest);
    sync();
    const RunResult r = RunProgram(args);
    const unsigned long long bytes = TreeBytes(dest);
    RemoveTree(dest);
    const double peak = MiB(r.PeakKiB);
    std::printf("%-32s %6d %8.2f %9.1f %11.1f  < %.0f MiB %s\n", c.Label.c_str(), r.ExitCode, r.Seconds, peak,
                static_cast<double>(bytes) / 1e6, kMaxPeakMiB, Verdict(peak < kMaxPeakMiB));
    std::fflush(stdout);
    summaries.push_back(c.Label + ": " + JobSummary(r));
  }
  for (const std::string& s : summaries) std::printf("%s\n", s.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Run(argc > 1 ? argv[1] : "/tmp");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_memory: %s\n", e.what());
    return 1;
  }
  return 0;
}
