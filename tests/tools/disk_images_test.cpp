#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/sample_collection.h"

namespace vq::tools {
namespace {

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | static_cast<uint32_t>(Le16(b, at + 2)) << 16; }

int SectorsOf(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

// Byte offset of a track and sector in a 35-track D64 image.
size_t Offset(int track, int sector) {
  size_t blocks = 0;
  for (int t = 1; t < track; ++t) blocks += static_cast<size_t>(SectorsOf(t));
  return (blocks + static_cast<size_t>(sector)) * 256;
}

// A directory name: the bytes before the 0xA0 padding.
std::string PetName(const std::string& image, size_t at, size_t width) {
  std::string name = image.substr(at, width);
  const size_t pad = name.find('\xA0');
  return pad == std::string::npos ? name : name.substr(0, pad);
}

struct TDirEntry {
  std::string Name;
  int Type = 0;
  int Blocks = 0;
  int Track = 0;
  int Sector = 0;
};

// Reads the directory chain from track 18 sector 1.
std::vector<TDirEntry> ReadDirectory(const std::string& image) {
  std::vector<TDirEntry> entries;
  int track = 18;
  int sector = 1;
  for (int guard = 0; track != 0 && guard < 19; ++guard) {
    const size_t at = Offset(track, sector);
    for (size_t e = 0; e < 8; ++e) {
      const size_t entry = at + e * 32;
      if (image[entry + 2] == 0) continue;
      entries.push_back({PetName(image, entry + 5, 16), static_cast<uint8_t>(image[entry + 2]),
                         Le16(image, entry + 30), static_cast<uint8_t>(image[entry + 3]),
                         static_cast<uint8_t>(image[entry + 4])});
    }
    track = static_cast<uint8_t>(image[at]);
    sector = static_cast<uint8_t>(image[at + 1]);
  }
  return entries;
}

bool SectorFree(const std::string& image, int track, int sector) {
  const size_t bits = Offset(18, 0) + 4 * static_cast<size_t>(track) + 1;
  return (static_cast<uint8_t>(image[bits + static_cast<size_t>(sector / 8)]) >> (sector % 8)) & 1;
}

TEST(D64ImageTest, HasRealSizeBamAndDirectory) {
  const std::string image = MakeD64Image("Quartz Tunnel", {"QUARTZ TUNNEL", "INTRO", "HISCORE"});
  ASSERT_EQ(image.size(), 174848u);
  const size_t bam = Offset(18, 0);
  EXPECT_EQ(bam, 0x16500u);
  EXPECT_EQ(image[bam], 18);
  EXPECT_EQ(image[bam + 1], 1);
  EXPECT_EQ(image[bam + 2], 0x41);
  EXPECT_EQ(PetName(image, bam + 0x90, 16), "QUARTZ TUNNEL");
  EXPECT_EQ(image.substr(bam + 0xA5, 2), "2A");

  const std::vector<TDirEntry> dir = ReadDirectory(image);
  ASSERT_EQ(dir.size(), 3u);
  EXPECT_EQ(dir[0].Name, "QUARTZ TUNNEL");
  EXPECT_EQ(dir[1].Name, "INTRO");
  EXPECT_EQ(dir[2].Name, "HISCORE");
  for (const TDirEntry& e : dir) EXPECT_EQ(e.Type, 0x82) << e.Name;
  // The first program starts with its load address $0801.
  EXPECT_EQ(Le16(image, Offset(dir[0].Track, dir[0].Sector) + 2), 0x0801);
}

TEST(D64ImageTest, FileChainsMatchSizesAndBam) {
  std::vector<std::string> files;
  files.reserve(20);
  for (int i = 0; i < 20; ++i) files.push_back("FILE " + std::to_string(i));
  const std::string image = MakeD64Image("Many Files", files);
  const std::vector<TDirEntry> dir = ReadDirectory(image);
  ASSERT_EQ(dir.size(), 20u);  // spans three directory sectors
  EXPECT_FALSE(SectorFree(image, 18, 0));
  EXPECT_FALSE(SectorFree(image, 18, 3));
  EXPECT_TRUE(SectorFree(image, 18, 4));

  std::set<std::pair<int, int>> used;
  int total = 0;
  for (const TDirEntry& e : dir) {
    int blocks = 0;
    int track = e.Track;
    int sector = e.Sector;
    while (track != 0 && blocks < 700) {
      ASSERT_GE(track, 1);
      ASSERT_LE(track, 35);
      ASSERT_LT(sector, SectorsOf(track));
      EXPECT_TRUE(used.insert({track, sector}).second) << "sector shared: " << track << "/" << sector;
      EXPECT_FALSE(SectorFree(image, track, sector)) << track << "/" << sector;
      const size_t at = Offset(track, sector);
      track = static_cast<uint8_t>(image[at]);
      sector = static_cast<uint8_t>(image[at + 1]);
      ++blocks;
    }
    EXPECT_EQ(blocks, e.Blocks) << e.Name;
    total += blocks;
  }
  // The free counts of the BAM add up to the 664 data blocks less the files.
  int freeBlocks = 0;
  for (int t = 1; t <= 35; ++t) {
    if (t != 18) freeBlocks += static_cast<uint8_t>(image[Offset(18, 0) + 4 * static_cast<size_t>(t)]);
  }
  EXPECT_EQ(freeBlocks, 664 - total);
}

TEST(D64ImageTest, SameInputGivesSameImage) {
  EXPECT_EQ(MakeD64Image("A", {"X", "Y"}), MakeD64Image("A", {"X", "Y"}));
  EXPECT_NE(MakeD64Image("A", {"X", "Y"}), MakeD64Image("A", {"X", "Z"}));
}

TEST(T64ArchiveTest, HeaderDirectoryAndData) {
  const std::string first = std::string("\x01\x08", 2) + "first program bytes";
  const std::string second = std::string("\x00\xC0", 2) + std::string(300, '\x42');
  const std::string tape = MakeT64Archive("QUARTZ TUNNEL", {{"QUARTZ", first}, {"LEVEL 2", second}});

  EXPECT_EQ(tape.substr(0, 20), "C64S tape image file");
  EXPECT_EQ(tape.substr(20, 12), std::string(12, '\0'));
  EXPECT_EQ(Le16(tape, 34), 8);  // MaxEntries
  EXPECT_EQ(Le16(tape, 36), 2);  // UsedEntries
  EXPECT_EQ(tape.substr(40, 24), "QUARTZ TUNNEL" + std::string(11, ' '));

  const size_t dataStart = 64 + 8 * 32;
  ASSERT_EQ(tape.size(), dataStart + (first.size() - 2) + (second.size() - 2));
  // Slot 1.
  EXPECT_EQ(tape[64], 1);
  EXPECT_EQ(static_cast<uint8_t>(tape[65]), 0x82);
  EXPECT_EQ(Le16(tape, 66), 0x0801);
  EXPECT_EQ(Le16(tape, 68), 0x0801 + first.size() - 2);
  EXPECT_EQ(Le32(tape, 72), dataStart);
  EXPECT_EQ(tape.substr(80, 16), "QUARTZ" + std::string(10, ' '));
  EXPECT_EQ(tape.substr(Le32(tape, 72), first.size() - 2), first.substr(2));
  // Slot 2.
  EXPECT_EQ(Le16(tape, 96 + 2), 0xC000);
  EXPECT_EQ(Le32(tape, 96 + 8), dataStart + first.size() - 2);
  EXPECT_EQ(tape.substr(96 + 16, 16), "LEVEL 2" + std::string(9, ' '));
  EXPECT_EQ(tape.substr(Le32(tape, 96 + 8)), second.substr(2));
  // Free slots are zero.
  EXPECT_EQ(tape.substr(128, size_t{6} * 32), std::string(size_t{6} * 32, '\0'));
}

TEST(T64ArchiveTest, DirectoryGrowsInStepsOfEight) {
  std::vector<std::pair<std::string, std::string>> files;
  files.reserve(9);
  for (int i = 0; i < 9; ++i) files.push_back({"F" + std::to_string(i), std::string("\x01\x08xy", 4)});
  const std::string tape = MakeT64Archive("T", files);
  EXPECT_EQ(Le16(tape, 34), 16);
  EXPECT_EQ(Le16(tape, 36), 9);
  EXPECT_EQ(Le32(tape, 64 + 8 * 32 + 8), 64 + 16 * 32 + 8 * 2);
  EXPECT_EQ(tape.size(), 64u + 16 * 32 + 9 * 2);

  const std::string empty = MakeT64Archive("EMPTY", {});
  EXPECT_EQ(Le16(empty, 34), 8);
  EXPECT_EQ(Le16(empty, 36), 0);
  EXPECT_EQ(empty.size(), 64u + 8 * 32);
}

}  // namespace
}  // namespace vq::tools
