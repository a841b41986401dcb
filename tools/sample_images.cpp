#include "tools/sample_images.h"

#include <algorithm>

#include "base/text.h"
#include "tools/byte_fields.h"
#include "tools/sample_titles.h"

namespace vq::tools {

namespace {

constexpr size_t kD64Size = 174848;
constexpr int kD64Tracks = 35;

int SectorsPerTrack(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

size_t SectorOffset(int track, int sector) {
  size_t blocks = 0;
  for (int t = 1; t < track; ++t) blocks += static_cast<size_t>(SectorsPerTrack(t));
  return (blocks + static_cast<size_t>(sector)) * 256;
}

// Hands out free sectors and marks them used in the BAM.
class TD64Allocator {
 public:
  explicit TD64Allocator(std::string& image) : image_(image) {}

  void MarkUsed(int track, int sector) {
    const size_t entry = SectorOffset(18, 0) + 4 * static_cast<size_t>(track);
    const uint8_t bit = static_cast<uint8_t>(1u << (sector % 8));
    char& bits = image_[entry + 1 + static_cast<size_t>(sector / 8)];
    if (static_cast<uint8_t>(bits) & bit) {
      bits = static_cast<char>(static_cast<uint8_t>(bits) & ~bit);
      image_[entry] = static_cast<char>(image_[entry] - 1);
    }
  }
  // The next free data sector, from track 17 down, then from track 19 up;
  // false when the disk is full.
  bool Next(int& track, int& sector) {
    while (track_ != 0 && track_ <= kD64Tracks) {
      if (sector_ < SectorsPerTrack(track_)) {
        track = track_;
        sector = sector_++;
        MarkUsed(track, sector);
        return true;
      }
      sector_ = 0;
      track_ = track_ == 1 ? 19 : track_ < 18 ? track_ - 1 : track_ + 1;
    }
    return false;
  }

 private:
  std::string& image_;
  int track_ = 17;
  int sector_ = 0;
};

}  // namespace

void BuildD64(const std::string& diskName, const std::vector<std::string>& files, std::string& out) {
  out.assign(kD64Size, '\0');
  const size_t bam = SectorOffset(18, 0);
  out[bam] = 18;
  out[bam + 1] = 1;
  out[bam + 2] = 0x41;
  for (int t = 1; t <= kD64Tracks; ++t) {
    const int n = SectorsPerTrack(t);
    const size_t e = bam + 4 * static_cast<size_t>(t);
    out[e] = static_cast<char>(n);
    const uint32_t bits = (1u << n) - 1;
    out[e + 1] = static_cast<char>(bits & 0xFF);
    out[e + 2] = static_cast<char>((bits >> 8) & 0xFF);
    out[e + 3] = static_cast<char>((bits >> 16) & 0xFF);
  }
  std::fill(out.begin() + static_cast<long>(bam + 0x90), out.begin() + static_cast<long>(bam + 0xAB), '\xA0');
  PutText(out, bam + 0x90, C64Name(diskName, 16), 16);
  const uint64_t h = HashText(diskName);
  out[bam + 0xA2] = static_cast<char>('0' + h % 10);
  out[bam + 0xA3] = static_cast<char>('A' + (h >> 8) % 26);
  out[bam + 0xA5] = '2';
  out[bam + 0xA6] = 'A';

  TD64Allocator alloc(out);
  alloc.MarkUsed(18, 0);
  const size_t count = std::min<size_t>(files.size(), size_t{18} * 8);
  const int dirSectors = std::max(1, static_cast<int>((count + 7) / 8));
  for (int s = 1; s <= dirSectors; ++s) {
    alloc.MarkUsed(18, s);
    const size_t at = SectorOffset(18, s);
    out[at] = static_cast<char>(s < dirSectors ? 18 : 0);
    out[at + 1] = static_cast<char>(s < dirSectors ? s + 1 : 0xFF);
  }
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = SectorOffset(18, static_cast<int>(i / 8 + 1)) + (i % 8) * 32;
    TRandom rng(HashText(files[i]) ^ h);
    const int blocks = rng.Range(1, 4);
    int track = 0;
    int sector = 0;
    int used = 0;
    size_t previous = 0;
    for (int b = 0; b < blocks && alloc.Next(track, sector); ++b, ++used) {
      const size_t at = SectorOffset(track, sector);
      if (b == 0) {
        out[entry + 3] = static_cast<char>(track);
        out[entry + 4] = static_cast<char>(sector);
      } else {
        out[previous] = static_cast<char>(track);
        out[previous + 1] = static_cast<char>(sector);
      }
      std::string data;
      if (b == 0) data = "\x01\x08";
      AppendProgramBytes(data, rng, 254 - data.size(), b == 0);
      const size_t length = b + 1 == blocks ? static_cast<size_t>(rng.Range(20, 254)) : 254;
      PutText(out, at + 2, data, length);
      out[at] = 0;
      out[at + 1] = static_cast<char>(length + 1);
      previous = at;
    }
    out[entry + 2] = static_cast<char>(0x82);
    std::fill(out.begin() + static_cast<long>(entry + 5), out.begin() + static_cast<long>(entry + 21), '\xA0');
    PutText(out, entry + 5, C64Name(files[i], 16), 16);
    Put16(out, entry + 30, static_cast<unsigned>(used));
  }
}

void BuildT64(const std::string& tapeName, const std::vector<std::pair<std::string, std::string>>& files,
              std::string& out) {
  const size_t slots = std::max<size_t>(8, (files.size() + 7) / 8 * 8);
  out.assign(64 + 32 * slots, '\0');
  PutText(out, 0, "C64S tape image file", 32);
  Put16(out, 32, 0x0101);
  Put16(out, 34, static_cast<unsigned>(slots));
  Put16(out, 36, static_cast<unsigned>(files.size()));
  std::fill(out.begin() + 40, out.begin() + 64, ' ');
  PutText(out, 40, tapeName, 24);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& data = files[i].second;
    const bool hasAddress = data.size() >= 2;
    const unsigned load = hasAddress ? Get16(data, 0) : 0x0801;
    const size_t body = hasAddress ? data.size() - 2 : 0;
    const size_t slot = 64 + 32 * i;
    out[slot] = 1;
    out[slot + 1] = static_cast<char>(0x82);
    Put16(out, slot + 2, load);
    Put16(out, slot + 4, static_cast<unsigned>((load + body) & 0xFFFF));
    Put32(out, slot + 8, static_cast<uint32_t>(out.size()));
    std::fill(out.begin() + static_cast<long>(slot + 16), out.begin() + static_cast<long>(slot + 32), ' ');
    PutText(out, slot + 16, files[i].first, 16);
    if (hasAddress) out.append(data, 2, std::string::npos);
  }
}

void BuildCrt(const std::string& name, TRandom& rng, std::string& out) {
  const bool big = rng.Percent(30);
  const size_t romSize = big ? 0x4000 : 0x2000;
  out.assign(0x40 + 0x10 + romSize, '\0');
  PutText(out, 0, "C64 CARTRIDGE   ", 16);
  PutBE32(out, 0x10, 0x40);
  PutBE16(out, 0x14, 0x0100);
  PutBE16(out, 0x16, 0);
  out[0x18] = 0;                      // EXROM active
  out[0x19] = static_cast<char>(big ? 0 : 1);  // GAME active only for 16K
  PutText(out, 0x20, C64Name(name, 32), 32);
  PutText(out, 0x40, "CHIP", 4);
  PutBE32(out, 0x44, static_cast<uint32_t>(0x10 + romSize));
  PutBE16(out, 0x48, 0);
  PutBE16(out, 0x4A, 0);
  PutBE16(out, 0x4C, 0x8000);
  PutBE16(out, 0x4E, static_cast<unsigned>(romSize));
  const size_t rom = 0x50;
  static constexpr char kHeader[] = {'\x09', '\x80', '\x09', '\x80', '\xC3', '\xC2', '\xCD', '8', '0'};
  PutText(out, rom, std::string_view(kHeader, sizeof kHeader), sizeof kHeader);
  std::string code;
  AppendProgramBytes(code, rng, static_cast<size_t>(rng.Range(800, 3000)));
  PutText(out, rom + 9, code, romSize - 9);
  std::fill(out.begin() + static_cast<long>(rom + 9 + code.size()), out.end(), '\xFF');
}

void BuildTap(TRandom& rng, std::string& out) {
  out.assign(20, '\0');
  PutText(out, 0, "C64-TAPE-RAW", 12);
  out[12] = 1;
  out.append(static_cast<size_t>(rng.Range(2000, 6000)), '\x2F');
  static constexpr char kPulses[] = {'\x2F', '\x42', '\x2F', '\x56'};
  const size_t data = static_cast<size_t>(rng.Range(1500, 6000));
  for (size_t i = 0; i < data; ++i) out += kPulses[rng.Below(4)];
  out.append(500, '\x2F');
  Put32(out, 16, static_cast<uint32_t>(out.size() - 20));
}

void BuildG64(TRandom& rng, std::string& out) {
  constexpr size_t kTracks = 84;
  constexpr size_t kTrackSize = 7928;
  const size_t header = 12 + 8 * kTracks;
  out.assign(header + 2 + kTrackSize, '\0');
  PutText(out, 0, "GCR-1541", 8);
  out[8] = 0;
  out[9] = static_cast<char>(kTracks);
  Put16(out, 10, kTrackSize);
  Put32(out, 12, static_cast<uint32_t>(header));   // track 1 only
  Put32(out, 12 + 4 * kTracks, 3);                 // speed zone of track 1
  const size_t length = 7692;
  Put16(out, header, length);
  for (size_t i = 0; i < length; ++i) {
    const size_t in = i % 361;
    out[header + 2 + i] = in < 5 ? '\xFF' : in < 15 ? '\x55' : static_cast<char>(0x52 + rng.Below(8) * 4);
  }
}

void BuildSmallImage(const char* magic, const std::string& name, TRandom& rng, size_t size, std::string& out) {
  out.assign(size, '\0');
  PutText(out, 0, magic, std::string_view(magic).size());
  std::fill(out.begin() + 4, out.begin() + 20, '\xA0');
  PutText(out, 4, C64Name(name, 16), 16);
  std::string code;
  AppendProgramBytes(code, rng, std::min<size_t>(size - 256, 2048));
  PutText(out, 256, code, size - 256);
}

std::string BuildPsid(const std::string& title, const char* author, const std::string& released,
                      uint64_t seed, bool asPrg) {
  TRandom rng(seed);
  std::string code("\x00\x10", 2);
  code += "\x4C\x20\x10\x4C\x40\x10";
  AppendProgramBytes(code, rng, static_cast<size_t>(rng.Range(300, 1800)));
  if (asPrg) return code;
  std::string out(0x7C, '\0');
  PutText(out, 0, "PSID", 4);
  PutBE16(out, 4, 2);
  PutBE16(out, 6, 0x7C);
  PutBE16(out, 0x0A, 0x1000);
  PutBE16(out, 0x0C, 0x1003);
  PutBE16(out, 0x0E, static_cast<unsigned>(rng.Range(1, 6)));
  PutBE16(out, 0x10, 1);
  PutText(out, 0x16, Utf8ToCp1252(title), 31);
  PutText(out, 0x36, author, 31);
  PutText(out, 0x56, Utf8ToCp1252(released), 31);
  PutBE16(out, 0x76, 0x14);
  return out + code;
}

uint64_t HashText(std::string_view text) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (const char c : text) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
  return h;
}

void AppendProgramBytes(std::string& out, TRandom& rng, size_t count, bool stub) {
  static constexpr uint8_t kStub[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
  static constexpr uint8_t kOps[] = {0xA9, 0x8D, 0xAD, 0x20, 0x4C, 0x60, 0xA2, 0xA0, 0xE8, 0xC8,
                                     0xD0, 0xF0, 0x00, 0x01, 0x02, 0x10, 0x20, 0xD0, 0xD0, 0x18,
                                     0x69, 0x85, 0xA5, 0xFF, 0x00, 0x00, 0x04, 0x08};
  for (size_t i = 0; i < count; ++i) {
    out += static_cast<char>(stub && i < sizeof kStub ? kStub[i] : kOps[rng.Below(sizeof kOps)]);
  }
}

std::string MakeD64Image(const std::string& diskName, const std::vector<std::string>& files) {
  std::string out;
  BuildD64(diskName, files, out);
  return out;
}

std::string MakeT64Archive(const std::string& tapeName,
                           const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out;
  BuildT64(tapeName, files, out);
  return out;
}

}  // namespace vq::tools
