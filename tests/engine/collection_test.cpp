// Whole jobs on generated collections, checked against what the generator
// says it wrote (its manifest), not against the job's own code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "base/text.h"
#include "job_test_util.h"
#include "tools/sample_collection.h"

namespace vq::test {
namespace {

namespace fs = std::filesystem;
using tools::TSampleGame;

// One line of the game list.
struct CsvRow {
  std::string Title, Path, Error;
  int32_t Id = 0;
};

// Splits the game list into rows; the fields are quoted, quotes doubled.
std::vector<CsvRow> ReadGameList(const std::string& path, std::string* header) {
  const std::string text = ReadFile(path);
  std::vector<CsvRow> rows;
  size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
    if (end == std::string::npos) break;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    if (first) {
      *header = line;
      first = false;
      continue;
    }
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
      EXPECT_EQ(line[i], '"');
      std::string field;
      for (++i; i < line.size(); ++i) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            ++i;
          } else {
            break;
          }
        } else {
          field += line[i];
        }
      }
      fields.push_back(field);
      i += 2;  // closing quote and comma
    }
    EXPECT_EQ(fields.size(), 4u) << line;
    if (fields.size() != 4) continue;
    rows.push_back({Cp1252ToUtf8(fields[0]), Cp1252ToUtf8(fields[1]), fields[3], std::stoi(fields[2])});
  }
  return rows;
}

std::string UpperExt(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? "" : AsciiUpper(name.substr(dot));
}

bool Counts(const TSampleGame& g) { return g.Valid && !g.Hidden; }

class GeneratedCollection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempFolder;
    tools::TSampleOptions options;
    options.Seed = 2024;
    options.GameCount = 2100;
    collection_ = new tools::TSampleCollection(tools::GenerateSampleCollection(tmp_->Path() + "c", options));
  }
  static void TearDownTestSuite() {
    delete collection_;
    delete tmp_;
  }

  static TestJob Options(const std::string& outName) {
    TestJob o;
    o.SourceDir = collection_->GamesDir;
    o.DestDir = tmp_->Path() + outName;
    o.HvscDir = collection_->HvscDir;
    return o;
  }

  // SIDs, tapes and AUTOSWAP.LST on.
  static TestJob FullOptions(const std::string& outName) {
    TestJob o = Options(outName);
    o.IncludeSIDs = true;
    o.ExtractT64 = true;
    o.AutoSwap = true;
    return o;
  }

  // The error notes the game should get, stated from the manifest.
  static std::string ExpectedError(const TSampleGame& g, bool t64, bool sids) {
    const int badTapes = (t64 && g.BadTape) ? 1 : 0;
    const int extracted = g.ImageCount - badTapes;
    std::string error;
    if (extracted == 0) {
      error = " No Files Extracted.";
    } else if (g.UnhandledCount > 0) {
      error = " Unexpected files ignored.";
    }
    if (badTapes) error += " T64 file extraction error.";
    if (sids && !g.SidPath.empty() && !g.SidInHvsc) error += " Missing SID.";
    return std::string(Trim(error));
  }

  static TempFolder* tmp_;
  static tools::TSampleCollection* collection_;
};

TempFolder* GeneratedCollection::tmp_ = nullptr;
tools::TSampleCollection* GeneratedCollection::collection_ = nullptr;

TEST_F(GeneratedCollection, TestModeCountsStatusesAndPathsMatchTheManifest) {
  TestJob o = FullOptions("test-1541u");
  o.TestMode = true;
  const auto before = TreeFingerprint(collection_->GamesDir);
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;

  int scanned = 0, valid = 0, sidsFound = 0, sidsMissing = 0, tapeFiles = 0;
  for (const TSampleGame& g : collection_->Games) {
    if (g.Hidden) continue;
    ++scanned;
    if (!g.Valid) continue;
    ++valid;
    if (!g.SidPath.empty()) ++(g.SidInHvsc ? sidsFound : sidsMissing);
    tapeFiles += g.TapeFileCount;
  }
  EXPECT_EQ(r.FScannedArchives, scanned);
  EXPECT_EQ(r.FLoadedArchives, valid);
  EXPECT_EQ(r.FIgnoredZipfiles, scanned - valid);
  EXPECT_EQ(r.FGameCount, valid);
  EXPECT_EQ(r.FSIDCount, sidsFound);
  EXPECT_EQ(r.FSIDErrors, sidsMissing);
  EXPECT_EQ(r.FExtractedTapeFiles, tapeFiles);

  // Nothing but the game list was written; the source is unchanged.
  EXPECT_EQ(ListTree(o.Output() + "/"), std::vector<std::string>{"GameList.csv"});
  EXPECT_EQ(TreeFingerprint(collection_->GamesDir), before);

  std::string header;
  const std::vector<CsvRow> rows = ReadGameList(o.Output() + "/GameList.csv", &header);
  EXPECT_EQ(header, "\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"");
  ASSERT_EQ(static_cast<int>(rows.size()), valid);
  std::map<int32_t, const CsvRow*> byId;
  std::set<std::string> paths;
  for (const CsvRow& row : rows) {
    byId[row.Id] = &row;
    EXPECT_TRUE(paths.insert(row.Path).second) << "two games share " << row.Path;
    // Over 250 games: every game in a letter folder, maybe a subfolder.
    ASSERT_GE(row.Path.size(), 3u);
    EXPECT_TRUE((row.Path[0] >= 'A' && row.Path[0] <= 'Z') || row.Path[0] == '0') << row.Path;
    EXPECT_EQ(row.Path[1], '/');
    EXPECT_EQ(row.Path.back(), '/');
    EXPECT_LE(std::count(row.Path.begin(), row.Path.end(), '/'), 3);
  }
  for (const TSampleGame& g : collection_->Games) {
    if (!Counts(g) || g.UniqueID < 0) continue;
    const auto it = byId.find(g.UniqueID);
    ASSERT_NE(it, byId.end()) << g.Title;
    EXPECT_EQ(it->second->Title, Utf16ToUtf8(DecodeCp1252(Utf8ToCp1252(g.Title)))) << g.ZipPath;
    EXPECT_EQ(it->second->Error, ExpectedError(g, true, true)) << g.ZipPath;
  }
}

TEST_F(GeneratedCollection, Sd2iecJobWritesTheTreeTheManifestImplies) {
  TestJob o = FullOptions("sd");
  o.FileNameStyle = fnsSD2IEC;
  const auto before = TreeFingerprint(collection_->GamesDir);
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(TreeFingerprint(collection_->GamesDir), before);

  std::string header;
  const std::vector<CsvRow> rows = ReadGameList(o.Output() + "/gamelist.csv", &header);
  std::map<int32_t, const CsvRow*> byId;
  for (const CsvRow& row : rows) byId[row.Id] = &row;

  int checked = 0;
  for (const TSampleGame& g : collection_->Games) {
    if (!Counts(g) || g.UniqueID < 0) continue;
    const auto it = byId.find(g.UniqueID);
    ASSERT_NE(it, byId.end()) << g.Title;
    const std::string folder = o.Output() + "/" + it->second->Path;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;

    // sd2iec folder names: lower case, at most 16 characters.
    const std::string name = fs::path(folder).parent_path().filename().string();
    EXPECT_LE(Utf8ToUtf16(name).size(), 16u) << name;
    EXPECT_EQ(Utf16ToUtf8(LowerCase(Utf8ToUtf16(name))), name);

    // The files: images as stored (sub-folders kept), PC64 files for the
    // tapes, VERSION.NFO, AUTOSWAP.LST for several disks, the SID files.
    std::multiset<std::string> expected;
    std::vector<std::string> d64s;
    for (const std::string& entry : g.Entries) {
      if (entry.empty() || entry.back() == '/') continue;
      const std::string ext = UpperExt(entry);
      const std::string bare = fs::path(entry).filename().string();
      if (ext == ".D64") d64s.push_back(bare);
      if (ext == ".D64" || ext == ".D81" || ext == ".CRT" || ext == ".TAP" || ext == ".G64" || ext == ".REU") {
        expected.insert(entry);
      }
    }
    expected.insert("VERSION.NFO");
    if (d64s.size() > 1) expected.insert("AUTOSWAP.LST");
    if (!g.SidPath.empty() && g.SidInHvsc) expected.insert(UpperExt(g.SidFileOnDisk) == ".PRG" ? "GAMESID.PRG" : "GAMESID.SID");
    std::multiset<std::string> actual;
    int pc64 = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      if (!e.is_regular_file()) continue;
      const std::string rel = fs::relative(e.path(), folder).string();
      const std::string ext = UpperExt(rel);
      if (ext.size() == 4 && ext[1] == 'P' && isdigit(static_cast<unsigned char>(ext[2])) &&
          isdigit(static_cast<unsigned char>(ext[3]))) {
        ++pc64;
      } else {
        actual.insert(rel);
      }
    }
    EXPECT_EQ(actual, expected) << folder;
    EXPECT_EQ(pc64, g.TapeFileCount) << folder;

    if (d64s.size() > 1) {
      std::sort(d64s.begin(), d64s.end(), [](const std::string& a, const std::string& b) {
        return LowerCase(Utf8ToUtf16(a)) < LowerCase(Utf8ToUtf16(b));
      });
      std::string list;
      for (const std::string& d : d64s) list += Utf8ToCp1252(d) + "\r\n";
      EXPECT_EQ(ReadFile(folder + "AUTOSWAP.LST"), list) << folder;
    }
    // Line 1 of the reformatted NFO is the folder name; no line is wider than 38.
    const std::string nfo = ReadFile(folder + "VERSION.NFO");
    EXPECT_EQ(nfo.substr(0, nfo.find("\r\n")), Utf8ToCp1252(name));
    size_t start = nfo.find("\r\n") + 2;
    while (start < nfo.size()) {
      const size_t end = nfo.find("\r\n", start);
      ASSERT_NE(end, std::string::npos);
      EXPECT_LE(end - start, 38u) << folder;
      start = end + 2;
    }
    ++checked;
  }
  EXPECT_GT(checked, 1500);
}

TEST_F(GeneratedCollection, FilterKeepsOnlyListedGames) {
  TestJob o = Options("filtered");
  o.TestMode = true;
  o.FilterIDs = true;
  o.FilterFile = collection_->RomListFile;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(r.FScannedArchives, r.FIgnoredZipfiles + r.FFilteredCount + r.FLoadedArchives);
  std::set<int32_t> listed, kept;
  for (const TSampleGame& g : collection_->Games) {
    if (g.InRomList) listed.insert(g.UniqueID);
  }
  for (const TArcInfo& a : r.Archives) {
    kept.insert(a.UniqueID);
    EXPECT_TRUE(listed.count(a.UniqueID)) << Utf16ToUtf8(a.Name);
  }
  for (const TSampleGame& g : collection_->Games) {
    if (Counts(g) && g.InRomList && g.UniqueID >= 0) {
      EXPECT_TRUE(kept.count(g.UniqueID)) << g.Title;
    }
  }
  EXPECT_GT(r.FFilteredCount, 0);
}

TEST_F(GeneratedCollection, RawNfoAndTapesAsStoredWithoutSids) {
  TestJob o = Options("raw");
  o.FileNameStyle = fnsNone;
  o.NFOStyle = nsNoOptimize;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(r.Final.find("SIDs"), std::string::npos);
  std::string header;
  const std::vector<CsvRow> rows = ReadGameList(o.Output() + "/GameList.csv", &header);
  std::map<int32_t, const CsvRow*> byId;
  for (const CsvRow& row : rows) byId[row.Id] = &row;
  int tapes = 0;
  for (const TSampleGame& g : collection_->Games) {
    if (!Counts(g) || g.UniqueID < 0) continue;
    const std::string folder = o.Output() + "/" + byId.at(g.UniqueID)->Path;
    EXPECT_TRUE(fs::exists(folder + "VERSION.NFO")) << folder;
    EXPECT_FALSE(fs::exists(folder + "GAMESID.SID"));
    for (const std::string& entry : g.Entries) {
      if (UpperExt(entry) == ".T64") {
        EXPECT_TRUE(fs::exists(folder + entry)) << folder + entry;
        ++tapes;
      }
    }
    EXPECT_EQ(byId.at(g.UniqueID)->Error, ExpectedError(g, false, false)) << g.ZipPath;
  }
  EXPECT_GT(tapes, 0);
}

}  // namespace
}  // namespace vq::test
