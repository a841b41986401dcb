#include "tools/sample_collection.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "base/regex.h"
#include "base/text.h"
#include "zip/zip_reader.h"
#include "temp_folder.h"

namespace vq::tools {
namespace {

namespace fs = std::filesystem;

// Every regular file under `root`, by path relative to it.
std::map<std::string, std::string> ReadTree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) {
      files[e.path().string().substr(root.size())] = ReadWholeFileAsString(e.path().string());
    }
  }
  return files;
}

// The scan's patterns for the NFO fields.
constexpr unsigned kNfoOptions = Regex::kUtf8 | Regex::kCaseless | Regex::kMultiline | Regex::kNewlineAny;

// One collection of 400 games shared by the tests that only read it.
class SampleCollectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new test::TempFolder("sample");
    TSampleOptions options;
    options.Seed = 64;
    options.GameCount = 400;
    collection_ = new TSampleCollection(GenerateSampleCollection(tmp_->Path() + "out", options));
  }
  static void TearDownTestSuite() {
    delete collection_;
    delete tmp_;
  }

  static const std::vector<TSampleGame>& Games() { return collection_->Games; }

  static test::TempFolder* tmp_;
  static TSampleCollection* collection_;
};

test::TempFolder* SampleCollectionTest::tmp_ = nullptr;
TSampleCollection* SampleCollectionTest::collection_ = nullptr;

TEST_F(SampleCollectionTest, FoldersAndSpecialGames) {
  ASSERT_EQ(Games().size(), 400u);
  EXPECT_EQ(collection_->GamesDir, tmp_->Path() + "out/games/");
  EXPECT_EQ(collection_->HvscDir, tmp_->Path() + "out/hvsc/");
  EXPECT_EQ(collection_->RomListFile, tmp_->Path() + "out/romlist.xml");

  std::map<TSampleFlaw, int> flaws;
  int hidden = 0;
  int noID = 0;
  int bigID = 0;
  int deeper = 0;
  std::set<std::string> paths;
  for (const TSampleGame& g : Games()) {
    ++flaws[g.Flaw];
    EXPECT_EQ(g.Valid, g.Flaw == sfNone) << g.ZipPath;
    EXPECT_TRUE(FileExists(g.ZipPath)) << g.ZipPath;
    EXPECT_TRUE(paths.insert(g.ZipPath).second) << g.ZipPath;
    ASSERT_EQ(g.ZipPath.rfind(collection_->GamesDir, 0), 0u) << g.ZipPath;
    const std::string rel = g.ZipPath.substr(collection_->GamesDir.size());
    const size_t depth = static_cast<size_t>(std::count(rel.begin(), rel.end(), '/'));
    if (g.Hidden) {
      ++hidden;
      EXPECT_EQ(rel.rfind(".hidden/", 0), 0u) << rel;
    }
    if (depth == 2) ++deeper;
    if (g.UniqueIDText.empty() && g.Flaw != sfNotAZip) ++noID;
    if (g.UniqueIDText == "2147483648") {
      ++bigID;
      EXPECT_EQ(g.UniqueID, -1);
    }
  }
  EXPECT_EQ(flaws[sfNotAZip], 1);
  EXPECT_EQ(flaws[sfTruncated], 1);
  EXPECT_EQ(flaws[sfCorruptNfo], 1);
  EXPECT_EQ(flaws[sfNoNfo], 1);
  EXPECT_EQ(flaws[sfNoName], 1);
  EXPECT_EQ(hidden, 1);
  EXPECT_GE(noID, 2);
  EXPECT_EQ(bigID, 1);
  EXPECT_GE(deeper, 4);  // three sub-folders and Misc.zip
  EXPECT_TRUE(FileExists(collection_->GamesDir + "notazip.zip"));
  EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [](const std::string& p) {
    return p.find("/Misc.zip/") != std::string::npos;
  }));
  EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [](const std::string& p) {
    return p.size() > 4 && p.substr(p.size() - 4) == ".ZIP";
  }));
  EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [](const std::string& p) {
    return ExtractFileName(p)[0] == '.' && p.find("/.hidden/") == std::string::npos;
  }));
}

TEST_F(SampleCollectionTest, UniqueIDsAreDistinctAndAboveTheGameCount) {
  std::set<int32_t> ids;
  for (const TSampleGame& g : Games()) {
    if (g.UniqueID < 0) continue;
    EXPECT_GT(g.UniqueID, 400);
    EXPECT_TRUE(ids.insert(g.UniqueID).second) << g.UniqueID;
    int32_t parsed = -1;
    ASSERT_TRUE(TryParseInt32(g.UniqueIDText, parsed)) << g.UniqueIDText;
    EXPECT_EQ(parsed, g.UniqueID);
  }
}

TEST_F(SampleCollectionTest, TitlesAreAMix) {
  std::map<std::u16string, std::set<int32_t>> byName;
  int accented = 0;
  int withThe = 0;
  int withDigit = 0;
  int punctuated = 0;
  for (const TSampleGame& g : Games()) {
    if (g.Flaw == sfNotAZip) continue;
    const std::u16string title = Utf8ToUtf16(g.Title);
    EXPECT_EQ(Trim(title), title) << g.Title;
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(g.Title)), g.Title) << "not Windows-1252: " << g.Title;
    byName[AsciiUpper(title)].insert(g.UniqueID);
    accented += std::any_of(g.Title.begin(), g.Title.end(), [](char c) { return c & 0x80; });
    withThe += g.Title.rfind("The ", 0) == 0;
    withDigit += std::any_of(g.Title.begin(), g.Title.end(), [](char c) { return c >= '0' && c <= '9'; });
    punctuated += g.Title.find_first_of("$'.:&!?") != std::string::npos;
  }
  const bool duplicate = std::any_of(byName.begin(), byName.end(), [](const auto& kv) { return kv.second.size() > 1; });
  EXPECT_TRUE(duplicate);
  EXPECT_GE(accented, 3);
  EXPECT_GE(withThe, 20);
  EXPECT_GE(withDigit, 10);
  EXPECT_GE(punctuated, 20);
}

// Reads every zip with the project's reader and holds the NFO fields against
// the manifest.
TEST_F(SampleCollectionTest, ZipsMatchTheManifest) {
  const Regex name("^Name:\\s*([^\\r\\n]+)$", kNfoOptions);
  const Regex sid("^SID:\\s{2,20}([^\\r\\n]+)\\.sid$", kNfoOptions);
  const Regex id("^Unique-ID:\\s*(\\d+)\\s*?$", kNfoOptions);
  TZipReader reader;
  int checked = 0;
  for (const TSampleGame& g : Games()) {
    SCOPED_TRACE(g.ZipPath);
    reader.SetFileName(g.ZipPath);
    if (g.Flaw == sfNotAZip || g.Flaw == sfTruncated) {
      EXPECT_THROW(reader.Open(), Error);
      continue;
    }
    ASSERT_NO_THROW(reader.Open());
    if (g.Flaw == sfCorruptNfo || g.Flaw == sfNoNfo) {
      EXPECT_THROW(reader.ExtractToString("VERSION.NFO"), Error);
      reader.Close();
      continue;
    }
    std::vector<uint8_t> raw;
    reader.ExtractToMemory("VERSION.NFO", raw);
    const std::string bytes(raw.begin(), raw.end());
    const std::string nfo = reader.ExtractToString("VERSION.NFO");
    EXPECT_EQ(nfo, Cp1252ToUtf8(bytes));
    // Windows-1252 bytes, CR LF line ends.
    EXPECT_NE(bytes.find(Utf8ToCp1252(g.Title)), std::string::npos);
    for (size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1)) {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
    }

    RegexMatch m;
    if (g.Flaw == sfNoName) {
      EXPECT_FALSE(name.Search(nfo, m));
    } else {
      ASSERT_TRUE(name.Search(nfo, m));
      EXPECT_EQ(Trim(std::string(m.Group(nfo, 1))), g.Title);
    }
    if (g.UniqueIDText.empty()) {
      EXPECT_FALSE(id.Search(nfo, m));
    } else {
      ASSERT_TRUE(id.Search(nfo, m));
      EXPECT_EQ(m.Group(nfo, 1), g.UniqueIDText);
    }
    if (g.SidPath.empty()) {
      EXPECT_FALSE(sid.Search(nfo, m));
    } else {
      ASSERT_TRUE(sid.Search(nfo, m));
      EXPECT_EQ(m.Group(nfo, 1), g.SidText);
      std::string slashed = g.SidText;
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      EXPECT_EQ(slashed, g.SidPath);
    }
    if (!g.SidText.empty()) {
      EXPECT_NE(nfo.find(g.SidText), std::string::npos);
    }

    // The members, as the search sees them, and the counts the manifest gives.
    std::vector<std::string> expected;
    for (const std::string& e : g.Entries) {
      if (e.back() != '/') expected.push_back(ExtractFileName(e));
    }
    std::vector<std::string> found;
    int d64 = 0;
    int tapeFiles = 0;
    int badTapes = 0;
    TZipEntry entry;
    for (bool ok = reader.FindFirst("*.*", entry); ok; ok = reader.FindNext(entry)) {
      found.push_back(entry.FileName);
      const std::string ext = AsciiUpper(entry.FileName.substr(std::min(entry.FileName.size(), entry.FileName.rfind('.'))));
      if (ext == ".D64") {
        EXPECT_EQ(entry.Size, 174848u) << entry.StoredPath;
      }
    }
    for (bool ok = reader.FindFirst("*.D64", entry); ok; ok = reader.FindNext(entry)) ++d64;
    for (bool ok = reader.FindFirst("*.t64", entry); ok; ok = reader.FindNext(entry)) {
      std::vector<uint8_t> tape;
      reader.ExtractEntryToMemory(entry, tape);
      if (tape.size() >= 64 && std::string(tape.begin(), tape.begin() + 20) == "C64S tape image file") {
        tapeFiles += tape[36] | tape[37] << 8;
      } else {
        ++badTapes;
      }
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(d64, g.D64Count);
    EXPECT_EQ(tapeFiles, g.TapeFileCount);
    EXPECT_EQ(badTapes > 0, g.BadTape);
    reader.Close();
    ++checked;
  }
  EXPECT_EQ(checked, 396);
}

TEST_F(SampleCollectionTest, MembersCoverTheImageKinds) {
  std::map<std::string, int> extensions;
  int multiDisk = 0;
  int inSubFolder = 0;
  int readmeOnly = 0;
  int unhandled = 0;
  for (const TSampleGame& g : Games()) {
    if (!g.Valid) continue;
    multiDisk += g.D64Count > 1;
    unhandled += g.UnhandledCount > 0;
    if (g.ImageCount == 0) {
      ++readmeOnly;
      EXPECT_EQ(g.UnhandledCount, 1) << g.ZipPath;
    }
    for (const std::string& e : g.Entries) {
      inSubFolder += e.find('/') != std::string::npos && e.back() != '/';
      const size_t dot = e.rfind('.');
      if (dot != std::string::npos) ++extensions[AsciiUpper(e.substr(dot))];
    }
  }
  for (const char* ext : {".D64", ".T64", ".CRT", ".TAP", ".G64", ".D81", ".TXT", ".NFO"}) {
    EXPECT_GT(extensions[ext], 0) << ext;
  }
  EXPECT_GE(multiDisk, 10);
  EXPECT_GE(inSubFolder, 1);
  EXPECT_EQ(readmeOnly, 1);
  EXPECT_GE(unhandled, 10);
}

TEST_F(SampleCollectionTest, RomListHoldsExactlyTheMarkedGames) {
  const std::string xml = ReadWholeFileAsString(collection_->RomListFile);
  EXPECT_EQ(xml.rfind("<?xml", 0), 0u);
  const Regex tag("<game name=\"(\\d+)\">", Regex::kCaseless);
  std::multiset<int32_t> listed;
  RegexMatch m;
  for (size_t at = 0; tag.Search(xml, at, m); at = static_cast<size_t>(m.Start()) + static_cast<size_t>(m.Length())) {
    int32_t value = 0;
    ASSERT_TRUE(TryParseInt32(m.Group(xml, 1), value));
    listed.insert(value);
  }
  std::multiset<int32_t> marked;
  for (const TSampleGame& g : Games()) {
    if (!g.InRomList) continue;
    EXPECT_TRUE(g.Valid && !g.Hidden && g.UniqueID >= 0) << g.ZipPath;
    marked.insert(g.UniqueID);
  }
  EXPECT_EQ(listed, marked);
  EXPECT_GT(marked.size(), 120u);
  EXPECT_LT(marked.size(), 280u);
}

TEST_F(SampleCollectionTest, HvscHoldsTheMarkedTunes) {
  // The tree's files by lower-cased path: the engine finds tunes ignoring case.
  std::map<std::string, std::string> byLower;
  for (const auto& [path, data] : ReadTree(collection_->HvscDir)) byLower[AsciiLower(path)] = path;

  int backslashed = 0;
  int otherCase = 0;
  int prgOnly = 0;
  int missing = 0;
  int oneBlank = 0;
  for (const TSampleGame& g : Games()) {
    if (g.SidText.empty()) {
      EXPECT_FALSE(g.SidInHvsc);
      continue;
    }
    SCOPED_TRACE(g.SidText);
    oneBlank += g.SidPath.empty();
    std::string wanted = g.SidText;
    std::replace(wanted.begin(), wanted.end(), '\\', '/');
    wanted = AsciiLower(wanted.substr(1));
    const bool asSid = byLower.count(wanted + ".sid") > 0;
    const bool asPrg = byLower.count(wanted + ".prg") > 0;
    EXPECT_EQ(asSid || asPrg, g.SidInHvsc);
    if (!g.SidInHvsc) {
      ++missing;
      EXPECT_TRUE(g.SidFileOnDisk.empty());
      continue;
    }
    ASSERT_TRUE(FileExists(collection_->HvscDir + g.SidFileOnDisk));
    EXPECT_EQ(byLower[wanted + (asSid ? ".sid" : ".prg")], g.SidFileOnDisk);
    const std::string data = ReadWholeFileAsString(collection_->HvscDir + g.SidFileOnDisk);
    if (asSid) {
      EXPECT_EQ(data.substr(0, 4), "PSID");
    } else {
      ++prgOnly;
      EXPECT_EQ(data.substr(0, 2), std::string("\x00\x10", 2));
    }
    backslashed += g.SidText.find('\\') != std::string::npos;
    otherCase += g.SidText.find('/') != std::string::npos &&
                 g.SidText.substr(1) + (asSid ? ".sid" : ".prg") != g.SidFileOnDisk;
  }
  EXPECT_GE(backslashed, 1);
  EXPECT_GE(otherCase, 1);
  EXPECT_GE(prgOnly, 1);
  EXPECT_GE(missing, 1);
  EXPECT_EQ(oneBlank, 1);
}

TEST(SampleCollectionOutputTest, SameSeedGivesSameBytes) {
  const test::TempFolder tmp("determinism");
  const std::string& dir = tmp.Path();
  TSampleOptions options;
  options.Seed = 9;
  options.GameCount = 80;
  // Every zip member carries one fixed stamp, never the clock's time
  // (ZipWriterTest), so two runs give the same bytes.
  const TSampleCollection a = GenerateSampleCollection(dir + "a", options);
  const TSampleCollection b = GenerateSampleCollection(dir + "b", options);
  options.Seed = 10;
  const TSampleCollection c = GenerateSampleCollection(dir + "c", options);

  const std::map<std::string, std::string> treeA = ReadTree(dir + "a/");
  const std::map<std::string, std::string> treeB = ReadTree(dir + "b/");
  const std::map<std::string, std::string> treeC = ReadTree(dir + "c/");
  EXPECT_GT(treeA.size(), 80u);
  EXPECT_TRUE(treeA == treeB);
  EXPECT_FALSE(treeA == treeC);
  ASSERT_EQ(a.Games.size(), b.Games.size());
  for (size_t i = 0; i < a.Games.size(); ++i) {
    EXPECT_EQ(a.Games[i].Title, b.Games[i].Title);
    EXPECT_EQ(a.Games[i].Entries, b.Games[i].Entries);
  }
}

TEST(SampleCollectionOutputTest, SmallCollectionsAndOptions) {
  const test::TempFolder tmp("small");
  const std::string& dir = tmp.Path();
  TSampleOptions options;
  options.Seed = 3;
  options.GameCount = 12;
  options.WithHvsc = false;
  options.WithRomList = false;
  const TSampleCollection small = GenerateSampleCollection(dir + "out/", options);
  ASSERT_EQ(small.Games.size(), 12u);
  EXPECT_TRUE(small.HvscDir.empty());
  EXPECT_TRUE(small.RomListFile.empty());
  EXPECT_FALSE(DirectoryExists(dir + "out/hvsc"));
  EXPECT_FALSE(FileExists(dir + "out/romlist.xml"));
  for (const TSampleGame& g : small.Games) {
    EXPECT_TRUE(g.Valid && !g.Hidden) << g.ZipPath;
    EXPECT_FALSE(g.SidInHvsc);
    EXPECT_FALSE(g.InRomList);
    EXPECT_GT(g.ImageCount, 0) << g.ZipPath;
  }

  options.GameCount = 0;
  const TSampleCollection none = GenerateSampleCollection(dir + "none", options);
  EXPECT_TRUE(none.Games.empty());
  EXPECT_TRUE(DirectoryExists(none.GamesDir));
}

}  // namespace
}  // namespace vq::tools
