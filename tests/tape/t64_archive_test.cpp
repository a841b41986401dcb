#include "tape/t64_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "folder_target.h"
#include "temp_folder.h"

namespace vq {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Builds T64 archives in memory: a header, `maxEntries` slots, then data.
class TapeImage {
 public:
  explicit TapeImage(uint16_t maxEntries, const char* signature = "C64S tape image file")
      : bytes_(t64::kHeaderSize + t64::kSlotSize * maxEntries, 0) {
    std::memcpy(bytes_.data(), signature, std::strlen(signature));
    t64::WriteLe16(&bytes_[34], maxEntries);
    SetTapeName("TEST TAPE");
  }

  void SetUsedEntries(uint16_t used) { t64::WriteLe16(&bytes_[36], used); }
  void SetTapeName(const std::string& name) {
    std::memset(&bytes_[t64::kTapeNameOffset], 0x20, t64::kTapeNameSize);
    std::memcpy(&bytes_[t64::kTapeNameOffset], name.data(), name.size());
  }
  // Appends `data` to the archive and returns its offset.
  uint32_t Append(const Bytes& data) {
    const auto offset = static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return offset;
  }
  void SetSlot(int slot, uint8_t typeC64S, uint8_t type1541, uint16_t start, uint32_t offset,
               const std::string& name = "FILE") {
    t64::Tt64DirectoryEntry entry{};
    entry.FileTypeC64S = typeC64S;
    entry.FileType1541 = type1541;
    entry.StartAddress = start;
    entry.Offset = offset;
    std::memset(entry.FileName, 0x20, sizeof entry.FileName);
    std::memcpy(entry.FileName, name.data(), std::min(name.size(), sizeof entry.FileName));
    const auto encoded = t64::EncodeDirectoryEntry(entry);
    std::memcpy(&bytes_[t64::kHeaderSize + t64::kSlotSize * slot], encoded.data(), encoded.size());
  }
  // Appends `data` as a regular file in `slot`.
  void AddFile(int slot, const Bytes& data, uint8_t type1541 = 0x82, uint16_t start = 0x0801,
               const std::string& name = "FILE") {
    SetSlot(slot, t64::kC64sNormalFile, type1541, start, Append(data), name);
  }

  const Bytes& bytes() const { return bytes_; }
  Bytes& bytes() { return bytes_; }

 private:
  Bytes bytes_;
};

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7);
  return data;
}

class T64ArchiveTest : public ::testing::Test {
 protected:

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The expected PC64 header for `name` (already padded to 16 bytes).
  static Bytes Pc64Header(const std::string& name16, bool pFile, uint16_t start) {
    Bytes h(pFile ? 28 : 26, 0);
    std::memcpy(h.data(), "C64File", 7);
    std::memcpy(h.data() + 8, name16.data(), 16);
    if (pFile) {
      h[26] = static_cast<uint8_t>(start & 0xFF);
      h[27] = static_cast<uint8_t>(start >> 8);
    }
    return h;
  }

  test::TempFolder tmp_{"t64_archive_test"};
  // The folder without its trailing separator, as callers often pass it.
  const std::string dir_ = fs::path(tmp_.Path()).parent_path().string();
  // The folder as the target that the PC64 files are made in.
  test::TFolderTarget target_{dir_};
};

TEST_F(T64ArchiveTest, HeaderChecksDecideValidity) {
  TapeImage good(2);
  good.SetUsedEntries(1);
  good.AddFile(0, Pattern(10, 1));
  {
    Tt64Archive archive(good.bytes(), "GOOD.T64");
    EXPECT_TRUE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 1);
  }
  {
    // Shorter than the header.
    const Bytes shortBytes(good.bytes().begin(), good.bytes().begin() + 63);
    Tt64Archive archive(shortBytes, "SHORT.T64");
    EXPECT_FALSE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 0);
    EXPECT_EQ(archive.TapeName(), "");
  }
  {
    TapeImage wrong(2, "C65S tape image file");
    wrong.SetUsedEntries(1);
    wrong.AddFile(0, Pattern(10, 1));
    Tt64Archive archive(wrong.bytes(), "WRONG.T64");
    EXPECT_FALSE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 0);
    EXPECT_EQ(archive.ExtractToPxx(target_, false), 0);
  }
  {
    TapeImage lower(2, "c64s tape file");
    lower.SetUsedEntries(1);
    lower.AddFile(0, Pattern(10, 1));
    Tt64Archive archive(lower.bytes(), "LOWER.T64");
    EXPECT_TRUE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 1);
  }
  {
    TapeImage tooMany(2);
    tooMany.SetUsedEntries(3);
    tooMany.AddFile(0, Pattern(10, 1));
    Tt64Archive archive(tooMany.bytes(), "MANY.T64");
    EXPECT_FALSE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 0);
    // The name is read before the directory is judged.
    EXPECT_EQ(archive.TapeName(), "TEST TAPE");
    EXPECT_EQ(archive.ExtractToPxx(target_, false), 0);
  }
  {
    // The directory claims more slots than the file holds.
    TapeImage cut(4);
    cut.SetUsedEntries(1);
    cut.SetSlot(0, 1, 0x82, 0x0801, 64);
    cut.bytes().resize(64 + 32 * 4 - 1);
    Tt64Archive archive(cut.bytes(), "CUT.T64");
    EXPECT_FALSE(archive.Valid());
    EXPECT_EQ(archive.FileCount(), 0);
  }
  EXPECT_TRUE(Listing().empty());
}

TEST_F(T64ArchiveTest, ZeroUsedEntriesIsValidAndEmpty) {
  TapeImage image(4);
  image.SetUsedEntries(0);
  image.SetSlot(0, 1, 0x82, 0x0801, image.Append(Pattern(100, 3)));
  Tt64Archive archive(image.bytes(), "EMPTY.T64");
  EXPECT_TRUE(archive.Valid());
  EXPECT_EQ(archive.FileCount(), 0);
  EXPECT_EQ(archive.ExtractToPxx(target_, false), 0);
  EXPECT_TRUE(Listing().empty());
}

TEST_F(T64ArchiveTest, TapeNameIsDecodedAndTrimmed) {
  TapeImage image(1);
  Bytes name = {'M', 'Y', ' ', 'G', 0xC4, 'M', 'E', ' ', 0x00, 0x20, 0x00, 0x1F};
  std::memset(&image.bytes()[t64::kTapeNameOffset], 0, t64::kTapeNameSize);
  std::memcpy(&image.bytes()[t64::kTapeNameOffset], name.data(), name.size());
  Tt64Archive archive(image.bytes(), "N.T64");
  EXPECT_EQ(archive.TapeName(), "MY G\xC3\x84ME");

  TapeImage blank(1);
  blank.SetTapeName("");
  EXPECT_EQ(Tt64Archive(blank.bytes(), "B.T64").TapeName(), "");
}

TEST_F(T64ArchiveTest, DirectoryListsUsedSlotsSortedByOffset) {
  TapeImage image(8);
  image.SetUsedEntries(5);
  const uint32_t a = image.Append(Pattern(30, 1));
  const uint32_t b = image.Append(Pattern(20, 2));
  const uint32_t c = image.Append(Pattern(10, 3));
  image.SetSlot(0, 1, 0x82, 0x1000, c, "C");
  image.SetSlot(1, 0, 0x82, 0x1000, 0, "FREE");  // free slot before used ones
  image.SetSlot(2, 1, 0x82, 0x2000, a, "A");
  image.SetSlot(3, 3, 0x00, 0x0000, b, "SNAP");  // snapshot: listed
  image.SetSlot(4, 1, 0x82, 0x3000, a + 5, "A2");
  image.SetSlot(5, 1, 0x82, 0x4000, a + 1, "BEYOND");  // past UsedEntries
  Tt64Archive archive(image.bytes(), "D.T64");
  ASSERT_TRUE(archive.Valid());
  ASSERT_EQ(archive.FileCount(), 4);
  const auto& files = archive.Files();
  EXPECT_EQ(files[0].Offset, a);
  EXPECT_EQ(files[1].Offset, a + 5);
  EXPECT_EQ(files[2].Offset, b);
  EXPECT_EQ(files[2].FileTypeC64S, 3);
  EXPECT_EQ(files[3].Offset, c);
  EXPECT_EQ(files[3].StartAddress, 0x1000);

  EXPECT_EQ(archive.GetEntryLength(0), 5u);
  EXPECT_EQ(archive.GetEntryLength(1), 25u);
  EXPECT_EQ(archive.GetEntryLength(2), 20u);
  EXPECT_EQ(archive.GetEntryLength(3), 10u);
  EXPECT_EQ(archive.GetEntryLength(4), 0u);
  EXPECT_EQ(archive.GetEntryLength(-1), 0u);
}

TEST_F(T64ArchiveTest, WritesPc64LayoutWithNumberingAcrossLetters) {
  TapeImage image(6);
  image.SetUsedEntries(6);
  const Bytes prg = Pattern(300, 1), seq = Pattern(40, 2), del = Pattern(7, 3),
              usr = Pattern(9, 4), rel = Pattern(11, 5), prg2 = Pattern(12, 6);
  image.AddFile(0, prg, 0x82, 0x0801, "ABCD");
  image.AddFile(1, seq, 0x81, 0xC000, "A B");
  image.AddFile(2, del, 0x80, 0x1234, "DEL");
  image.AddFile(3, usr, 0x83, 0x1234, "USR");
  image.AddFile(4, rel, 0x84, 0xBEEF, "REL");
  image.AddFile(5, prg2, 0x01, 0x0400, "XXXXXXXXXXXXXXXX");
  Tt64Archive archive(image.bytes(), "C:\\games/sub\\My Game.t64");
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 6);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"My Game.D02", "My Game.P00", "My Game.P04",
                                                 "My Game.P05", "My Game.S01", "My Game.U03"}));

  auto expect = [&](const std::string& file, const std::string& name16, bool pFile,
                    uint16_t start, const Bytes& data) {
    Bytes want = Pc64Header(name16, pFile, start);
    want.insert(want.end(), data.begin(), data.end());
    EXPECT_EQ(ReadWholeFile(Path(file)), want) << file;
  };
  // Trailing spaces become zero bytes, inner ones stay.
  expect("My Game.P00", std::string("ABCD") + std::string(12, '\0'), true, 0x0801, prg);
  expect("My Game.S01", std::string("A B") + std::string(13, '\0'), false, 0, seq);
  expect("My Game.D02", std::string("DEL") + std::string(13, '\0'), false, 0, del);
  expect("My Game.U03", std::string("USR") + std::string(13, '\0'), false, 0, usr);
  // REL and any other type byte give P files with the load address.
  expect("My Game.P04", std::string("REL") + std::string(13, '\0'), true, 0xBEEF, rel);
  expect("My Game.P05", std::string(16, 'X'), true, 0x0400, prg2);
}

TEST_F(T64ArchiveTest, EqualOffsetsGiveHeaderOnlyFile) {
  TapeImage image(2);
  image.SetUsedEntries(2);
  const Bytes data = Pattern(50, 9);
  const uint32_t offset = image.Append(data);
  image.SetSlot(0, 1, 0x82, 0x0801, offset, "FIRST");
  image.SetSlot(1, 1, 0x81, 0x0801, offset, "SECOND");
  Tt64Archive archive(image.bytes(), "SAME.T64");
  EXPECT_EQ(archive.GetEntryLength(0), 0u);
  EXPECT_EQ(archive.GetEntryLength(1), 50u);
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 2);
  EXPECT_EQ(fs::file_size(Path("SAME.P00")), 28u);
  Bytes want = Pc64Header(std::string("SECOND") + std::string(10, '\0'), false, 0);
  want.insert(want.end(), data.begin(), data.end());
  EXPECT_EQ(ReadWholeFile(Path("SAME.S01")), want);
}

TEST_F(T64ArchiveTest, SnapshotSlotEndsThePreviousFile) {
  TapeImage image(3);
  image.SetUsedEntries(3);
  const Bytes first = Pattern(40, 1), snapshot = Pattern(25, 2), last = Pattern(15, 3);
  image.AddFile(0, first, 0x82, 0x0801, "ONE");
  image.SetSlot(1, 3, 0x82, 0x0000, image.Append(snapshot), "SNAP");
  image.AddFile(2, last, 0x82, 0x0801, "TWO");
  Tt64Archive archive(image.bytes(), "SNAP.T64");
  EXPECT_EQ(archive.FileCount(), 3);
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 2);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"SNAP.P00", "SNAP.P01"}));
  EXPECT_EQ(fs::file_size(Path("SNAP.P00")), 28u + first.size());
  EXPECT_EQ(fs::file_size(Path("SNAP.P01")), 28u + last.size());
}

TEST_F(T64ArchiveTest, SkipsEntriesOutsideTheArchiveOrWithoutType) {
  TapeImage image(6);
  image.SetUsedEntries(6);
  const Bytes good = Pattern(20, 1);
  image.AddFile(0, good, 0x82, 0x0801, "GOOD");
  image.SetSlot(1, 1, 0x00, 0x0801, 64, "NOTYPE");  // type byte 0
  image.SetSlot(2, 2, 0x82, 0x0801, 64, "OTHER");   // not a regular file
  // PAST and HUGE start outside the archive.
  const uint32_t end = static_cast<uint32_t>(image.bytes().size());
  image.SetSlot(3, 1, 0x82, 0x0801, end + 1, "PAST");
  image.SetSlot(4, 1, 0x82, 0x0801, 0xFFFFFFFFu, "HUGE");
  // Starts at the very end, but runs up to PAST, one byte outside.
  image.SetSlot(5, 1, 0x82, 0x0801, end, "EMPTY");
  Tt64Archive archive(image.bytes(), "SKIP.T64");
  EXPECT_EQ(archive.FileCount(), 6);
  EXPECT_EQ(archive.GetEntryLength(3), 1u);  // EMPTY, up to PAST
  EXPECT_EQ(archive.GetEntryLength(5), 0u);  // HUGE, past the end
  EXPECT_EQ(archive.ExtractToPxx(target_, true), 1);
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 1);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"SKIP.P00"}));
  EXPECT_EQ(fs::file_size(Path("SKIP.P00")), 28u + good.size());

  // A last entry that starts exactly at the end holds zero bytes and is kept.
  TapeImage tail(2);
  tail.SetUsedEntries(2);
  tail.AddFile(0, good);
  tail.SetSlot(1, 1, 0x81, 0, static_cast<uint32_t>(tail.bytes().size()), "TAIL");
  Tt64Archive tailArchive(tail.bytes(), "TAIL.T64");
  ASSERT_EQ(tailArchive.ExtractToPxx(target_, false), 2);
  EXPECT_EQ(fs::file_size(Path("TAIL.S01")), 26u);
}

TEST_F(T64ArchiveTest, TestModeCountsWithoutWriting) {
  TapeImage image(2);
  image.SetUsedEntries(2);
  image.AddFile(0, Pattern(10, 1));
  image.AddFile(1, Pattern(10, 2), 0x81);
  Tt64Archive archive(image.bytes(), "T.T64");
  EXPECT_EQ(archive.ExtractToPxx(target_, true), 2);
  EXPECT_TRUE(target_.Created.empty());
  EXPECT_TRUE(Listing().empty());
  // Test mode never asks the target for a file, so a missing folder is no
  // error there; a real run gets the target's error for the first file.
  const std::string missing = Path("missing/folder");
  test::TFolderTarget nowhere(missing);
  EXPECT_EQ(archive.ExtractToPxx(nowhere, true), 2);
  EXPECT_TRUE(nowhere.Created.empty());
  try {
    archive.ExtractToPxx(nowhere, false);
    FAIL() << "no error for a missing folder";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), missing + "/T.P00: " + std::strerror(ENOENT));
    EXPECT_EQ(e.Code(), ENOENT);
  }
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(T64ArchiveTest, OutputNamesFollowTheArchiveName) {
  TapeImage image(1);
  image.SetUsedEntries(1);
  image.AddFile(0, Pattern(3, 1));
  EXPECT_EQ(Tt64Archive(image.bytes(), "NODOT").ExtractToPxx(target_, false), 1);
  EXPECT_EQ(Tt64Archive(image.bytes(), "dir.x/my.game.t64").ExtractToPxx(target_, false), 1);
  EXPECT_EQ(Tt64Archive(image.bytes(), "A:GAME.T64").ExtractToPxx(target_, false), 1);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"GAME.P00", "NODOT.P00", "my.game.P00"}));
}

TEST_F(T64ArchiveTest, NumbersGrowToThreeDigits) {
  TapeImage image(101);
  image.SetUsedEntries(101);
  for (int i = 0; i < 101; ++i) image.AddFile(i, Pattern(1, static_cast<uint8_t>(i)));
  Tt64Archive archive(image.bytes(), "MANY.T64");
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 101);
  EXPECT_TRUE(fs::exists(Path("MANY.P99")));
  EXPECT_TRUE(fs::exists(Path("MANY.P100")));
  EXPECT_EQ(Listing().size(), 101u);
}

TEST_F(T64ArchiveTest, RepeatedExtractionReplacesFiles) {
  TapeImage image(1);
  image.SetUsedEntries(1);
  const Bytes data = Pattern(10, 1);
  image.AddFile(0, data);
  Tt64Archive archive(image.bytes(), "R.T64");
  const Bytes longer(5000, 0xAA);
  WriteWholeFile(Path("R.P00"), longer.data(), longer.size());
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 1);
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 1);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"R.P00"}));
  EXPECT_EQ(fs::file_size(Path("R.P00")), 28u + data.size());
}

TEST_F(T64ArchiveTest, CopiesDataLargerThanOneBlock) {
  TapeImage image(2);
  image.SetUsedEntries(2);
  const Bytes big = Pattern(2 * 1024 * 1024 + 777, 5);
  image.AddFile(0, big, 0x81, 0, "BIG");
  image.AddFile(1, Pattern(3, 1), 0x82, 0x0801, "SMALL");
  Tt64Archive archive(image.bytes(), "BIG.T64");
  ASSERT_EQ(archive.ExtractToPxx(target_, false), 2);
  const Bytes written = ReadWholeFile(Path("BIG.S00"));
  ASSERT_EQ(written.size(), 26u + big.size());
  EXPECT_TRUE(std::equal(big.begin(), big.end(), written.begin() + 26));
}

TEST_F(T64ArchiveTest, CreationFailureNamesPathAndCauseAndKeepsEarlierFiles) {
  TapeImage image(2);
  image.SetUsedEntries(2);
  image.AddFile(0, Pattern(10, 1));
  image.AddFile(1, Pattern(10, 2));
  fs::create_directory(Path("B.P01"));
  Tt64Archive archive(image.bytes(), "B.T64");
  try {
    archive.ExtractToPxx(target_, false);
    FAIL() << "no error for a blocked file";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), Path("B.P01") + ": Is a directory");
  }
  EXPECT_EQ(fs::file_size(Path("B.P00")), 38u);
}

TEST_F(T64ArchiveTest, FileConstructorLoadsAndOwnsTheBytes) {
  TapeImage image(1);
  image.SetUsedEntries(1);
  const Bytes data = Pattern(64, 4);
  image.AddFile(0, data, 0x82, 0x0801, "OWN");
  const std::string source = Path("OWN.T64");
  WriteWholeFile(source, image.bytes().data(), image.bytes().size());

  Tt64Archive loaded(source);
  Tt64Archive moved(std::move(loaded));
  EXPECT_TRUE(moved.Valid());
  EXPECT_EQ(moved.TapeName(), "TEST TAPE");
  const std::string out = Path("out");
  fs::create_directory(out);
  test::TFolderTarget outTarget(out);
  ASSERT_EQ(moved.ExtractToPxx(outTarget, false), 1);
  Bytes want = Pc64Header(std::string("OWN") + std::string(13, '\0'), true, 0x0801);
  want.insert(want.end(), data.begin(), data.end());
  EXPECT_EQ(ReadWholeFile(out + "/OWN.P00"), want);

  for (const std::string& bad : {Path("none.T64"), out}) {
    try {
      Tt64Archive archive(bad);
      FAIL() << "no error for " << bad;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "File does not exist");
    }
  }
}

// Claims names as the job does: a name taken before gets "_2", "_3", ...
// before its extension.
struct NameClaims {
  std::string Claim(const std::string& name) {
    std::string claimed = name;
    const size_t dot = name.find_last_of('.');
    for (int n = 2; !taken.insert(claimed).second; ++n) {
      claimed = name.substr(0, dot) + "_" + std::to_string(n) + name.substr(dot);
      renamed = true;
    }
    claims.push_back(claimed);
    return claimed;
  }
  std::set<std::string> taken;
  std::vector<std::string> claims;
  bool renamed = false;
};

// Test mode names the files exactly as a real run does, so that a caller
// that claims names reports the same renames in both.
TEST_F(T64ArchiveTest, TestModeClaimsTheNamesOfARealRun) {
  struct Tape {
    std::string name;
    std::vector<uint8_t> types;  // the 1541 type of each file
  };
  const struct {
    const char* what;
    std::vector<Tape> tapes;
    std::vector<std::string> claims;
    bool renamed;
  } cases[] = {
      {"one tape, letters numbered across", {{"GAME.T64", {0x82, 0x81}}}, {"GAME.P00", "GAME.S01"}, false},
      {"two tapes of one name",
       {{"GAME.T64", {0x82}}, {"sub/GAME.T64", {0x82, 0x82}}},
       {"GAME.P00", "GAME_2.P00", "GAME.P01"},
       true},
      {"a tape named like a PC64 file", {{"X.T64", {0x82}}, {"X.P00", {0x82}}}, {"X.P00", "X_2.P00"}, true},
      {"a skipped file takes no name", {{"S.T64", {0x82, 0x00, 0x81}}}, {"S.P00", "S.S01"}, false},
  };
  for (const auto& c : cases) {
    std::vector<TapeImage> images;
    for (const Tape& tape : c.tapes) {
      TapeImage& image = images.emplace_back(static_cast<uint16_t>(tape.types.size()));
      image.SetUsedEntries(static_cast<uint16_t>(tape.types.size()));
      for (size_t i = 0; i < tape.types.size(); ++i) {
        image.AddFile(static_cast<int>(i), Pattern(4, static_cast<uint8_t>(i)), tape.types[i]);
      }
    }
    for (const bool testMode : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (testMode ? ", test mode" : ", real run"));
      NameClaims names;
      test::TMemoryTarget target;
      int32_t written = 0;
      for (size_t t = 0; t < c.tapes.size(); ++t) {
        written += Tt64Archive(images[t].bytes(), c.tapes[t].name)
                       .ExtractToPxx(target, testMode, [&names](const std::string& name) { return names.Claim(name); });
      }
      EXPECT_EQ(names.claims, c.claims);
      EXPECT_EQ(names.renamed, c.renamed);
      EXPECT_EQ(written, static_cast<int32_t>(c.claims.size()));
      EXPECT_EQ(target.Created, testMode ? std::vector<std::string>{} : c.claims);
      EXPECT_EQ(target.Files.size(), testMode ? 0u : c.claims.size());
    }
  }
}

}  // namespace
}  // namespace vq
