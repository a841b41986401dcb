// The scan phase and the job's frame: counters, fallback IDs, filter,
// hidden folders, bad archives, abort, and the closing summary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "base/text.h"
#include "job_test_util.h"
#include "tools/zip_writer.h"

namespace vq::test {
namespace {

std::vector<std::u16string> Names(const TArchiveList& list) {
  std::vector<std::u16string> out;
  for (const auto& a : list) out.push_back(a.Name);
  return out;
}

const TArcInfo* FindGame(const TArchiveList& list, const std::u16string& name) {
  for (const auto& a : list) {
    if (a.Name == name) return &a;
  }
  return nullptr;
}

TestJob TestModeJob(const TempFolder& tmp) {
  TestJob o;
  o.SourceDir = tmp.Path() + "games";
  o.DestDir = tmp.Path() + "out";
  o.TestMode = true;
  return o;
}

TEST(ArchiveScan, EmptySourceRunsEveryPhaseAndWritesHeaderOnlyGameList) {
  TempFolder tmp;
  mkdir((tmp.Path() + "games").c_str(), 0755);
  mkdir((tmp.Path() + "out").c_str(), 0755);
  TestJob o = TestModeJob(tmp);
  o.TestMode = false;
  o.IncludeSIDs = true;
  o.HvscDir = tmp.Path();
  const JobResult r = RunJob(o);
  EXPECT_EQ(r.Outcome, TJobOutcome::joFinished);
  EXPECT_EQ(r.Final,
            "Done. 0 archives scanned, 0 invalid, 0 excluded by filter. 0 games extracted. 0 SIDs included, 0 not "
            "found.");
  EXPECT_EQ(ReadFile(tmp.Path() + "out/VONDRAL SD/GameList.csv"), "\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"\r\n");
  EXPECT_TRUE(r.TerminateNoticeRan);
  const std::vector<std::string> phases = {"Loading RomLister Game IDs...", "Scanning zip files.", "Sorting...",
                                           "Building output matrix...", "Extracting archives..."};
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), "Scanning zip files."), 1);
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), "Sorting..."), 1);
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), "Building output matrix..."), 1);
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), "Extracting archives..."), 1);
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), phases[0]), 0);
}

TEST(ArchiveScan, DepthFirstOrderStatusesAndFallbackIds) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  WriteGameZip(g + "b.zip", Nfo("Beta"));              // root zips come after the sub-folders
  WriteGameZip(g + "A.ZIP", Nfo("Alpha", 42));          // upper-case extension found
  WriteGameZip(g + "sub/c.zip", Nfo("Gamma"));          // fallback 0: first accepted record
  WriteGameZip(g + "sub/deeper/d.zip", Nfo("Delta"));   // walked before sub's own zips
  WriteGameZip(g + "folder.zip/e.zip", Nfo("Epsilon")); // a folder named like a zip is a folder
  WriteFile(g + "readme.txt", "not a zip");
  const JobResult r = RunJob(TestModeJob(tmp));

  // The scan order before sorting is visible in the fallback IDs: Epsilon
  // (folder.zip/) 0, Delta 1, Gamma 2, then the root zips A (42) and b (4).
  ASSERT_EQ(r.Archives.size(), 5u);
  EXPECT_EQ(FindGame(r.Archives, u"Epsilon")->UniqueID, 0);
  EXPECT_EQ(FindGame(r.Archives, u"Delta")->UniqueID, 1);
  EXPECT_EQ(FindGame(r.Archives, u"Gamma")->UniqueID, 2);
  EXPECT_EQ(FindGame(r.Archives, u"Alpha")->UniqueID, 42);
  EXPECT_EQ(FindGame(r.Archives, u"Beta")->UniqueID, 4);
  EXPECT_EQ(FindGame(r.Archives, u"Delta")->ZipFile, g + "sub/deeper/d.zip");
  EXPECT_EQ(r.FLoadedDirectories, 4);
  EXPECT_EQ(r.FScannedArchives, 5);

  // The status on entering a folder shows the count so far and the folder;
  // the status per archive its number and bare file name.
  const auto has = [&](const std::string& s) {
    return std::find(r.Statuses.begin(), r.Statuses.end(), s) != r.Statuses.end();
  };
  EXPECT_TRUE(has("Scanning zip files. (0 so far.)\r\n" + g));
  EXPECT_TRUE(has("Scanning zip files. (1 so far.)\r\n" + g + "sub/"));
  EXPECT_TRUE(has("Scanning zip files. (3 so far.)\r\nc.zip"));
  EXPECT_TRUE(has("Scanning zip files. (4 so far.)\r\nA.ZIP"));
  EXPECT_EQ(r.Final, "Done [Test mode only; See GameList.csv for results.] 5 archives scanned, 0 invalid, 0 "
                     "excluded by filter. 5 games extracted.");
}

TEST(ArchiveScan, NfoFieldRules) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  WriteGameZip(g + "1.zip", "Name:\r\n\r\n   Next Line Title  \r\nUnique-ID: 00042\r\n");
  WriteGameZip(g + "2.zip", "name:   lower label\r\nUNIQUE-ID:   99999999999\r\n");
  WriteGameZip(g + "3.zip", "Name: Sid Single Blank\r\nSID: /MUSICIANS/X/a.sid\r\nUnique-ID: 7\r\n");
  WriteGameZip(g + "4.zip", "Name: Sid Two Blanks\r\nsid:  /MUSICIANS/X/Tune.SID\r\nUnique-ID: 8 \r\n");
  WriteGameZip(g + "5.zip", std::string("Name: Caf\xE9 \x80uro\r\nUnique-ID: 9\r\n"));
  TestJob o = TestModeJob(tmp);
  o.IncludeSIDs = true;
  o.HvscDir = tmp.Path() + "hvsc";
  mkdir(o.HvscDir.c_str(), 0755);
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Archives.size(), 5u);
  EXPECT_EQ(FindGame(r.Archives, u"Next Line Title")->UniqueID, 42);
  // Above 2147483647: the fallback position (the second accepted record).
  EXPECT_EQ(FindGame(r.Archives, u"lower label")->UniqueID, 1);
  EXPECT_EQ(FindGame(r.Archives, u"Sid Single Blank")->SIDFile, u"");
  EXPECT_EQ(FindGame(r.Archives, u"Sid Two Blanks")->SIDFile, u"/MUSICIANS/X/Tune");
  EXPECT_EQ(FindGame(r.Archives, u"Sid Two Blanks")->UniqueID, 8);
  // Windows-1252 bytes are decoded: é and the euro sign.
  EXPECT_NE(FindGame(r.Archives, u"Caf\u00E9 \u20ACuro"), nullptr);
  EXPECT_EQ(r.FSIDErrors, 1);
}

TEST(ArchiveScan, SidPathIgnoredWhenSidsAreOff) {
  TempFolder tmp;
  WriteGameZip(tmp.Path() + "games/1.zip", "Name: X\r\nSID:   /A/b.sid\r\n");
  const JobResult r = RunJob(TestModeJob(tmp));
  ASSERT_EQ(r.Archives.size(), 1u);
  EXPECT_TRUE(r.Archives[0].SIDFile.empty());
}

TEST(ArchiveScan, BadArchivesAreCountedInvalidAndNeverStopTheScan) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  WriteFile(g + "a-notazip.zip", "this is plain text, not a zip archive");
  WriteGameZip(g + "b-good.zip", Nfo("Good One", 1));
  WriteGameZip(g + "c-noname.zip", "Title: no name line here\r\nUnique-ID: 3\r\n");
  tools::WriteZipFile(g + "d-nonfo.zip", {{"game.d64", std::string(1000, 'x'), true}});
  WriteGameZip(g + "e-truncated.zip", Nfo("Truncated", 5), {{"x.d64", std::string(5000, 'y')}});
  {
    std::string bytes = ReadFile(g + "e-truncated.zip");
    WriteFile(g + "e-truncated.zip", bytes.substr(0, bytes.size() / 2));
  }
  WriteGameZip(g + "f-binary.zip", std::string("\x00\x01\xFF\xFE Name: \x00\r\n", 13) + std::string(300000, '\x07'));
  WriteFile(g + "g-empty.zip", "");
  WriteGameZip(g + "h-nfo-in-folder.zip", "", {{"sub/VERSION.NFO", Nfo("Hidden Deep", 9)}});
  const auto before = TreeFingerprint(g);

  const JobResult r = RunJob(TestModeJob(tmp));
  EXPECT_EQ(r.Outcome, TJobOutcome::joFinished);
  EXPECT_EQ(r.FScannedArchives, 8);
  EXPECT_EQ(r.FLoadedArchives, 1);
  EXPECT_EQ(r.FIgnoredZipfiles, 7);
  EXPECT_EQ(r.FScannedArchives, r.FIgnoredZipfiles + r.FFilteredCount + r.FLoadedArchives);
  EXPECT_EQ(Names(r.Archives), std::vector<std::u16string>{u"Good One"});
  // Each refused zip is named, with a reason that does not repeat its path.
  ASSERT_EQ(r.InvalidZips.size(), 7u);
  EXPECT_EQ(r.InvalidZips[0].Path, g + "a-notazip.zip");
  EXPECT_EQ(r.InvalidZips[1].Reason, "VERSION.NFO has no \"Name:\" line");
  EXPECT_EQ(r.InvalidZips[2].Reason, "VERSION.NFO: entry not found");
  for (const TInvalidZip& zip : r.InvalidZips) EXPECT_EQ(zip.Reason.find(zip.Path), std::string::npos) << zip.Reason;
  EXPECT_EQ(TreeFingerprint(g), before);  // the source tree is never written
}

TEST(ArchiveScan, HiddenFoldersAreSkippedHiddenZipsRead) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  WriteGameZip(g + ".hidden/a.zip", Nfo("In Hidden Folder", 1));
  WriteGameZip(g + ".dotted.zip", Nfo("Hidden Zip", 2));
  const JobResult r = RunJob(TestModeJob(tmp));
  EXPECT_EQ(Names(r.Archives), std::vector<std::u16string>{u"Hidden Zip"});
  EXPECT_EQ(r.FLoadedDirectories, 1);
}

TEST(ArchiveScan, SymbolicLinksToFoldersAreNotWalked) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  WriteGameZip(tmp.Path() + "elsewhere/x.zip", Nfo("Outside", 1));
  WriteGameZip(g + "real/y.zip", Nfo("Inside", 2));
  ASSERT_EQ(symlink((tmp.Path() + "elsewhere").c_str(), (g + "link").c_str()), 0);
  ASSERT_EQ(symlink((g + "real").c_str(), (g + "real/loop").c_str()), 0);
  ASSERT_EQ(symlink((tmp.Path() + "elsewhere/x.zip").c_str(), (g + "linked.zip").c_str()), 0);
  const JobResult r = RunJob(TestModeJob(tmp));
  // The link to a zip file counts as a file; links to folders are never followed.
  EXPECT_EQ(r.FScannedArchives, 2);
  EXPECT_NE(FindGame(r.Archives, u"Inside"), nullptr);
  EXPECT_NE(FindGame(r.Archives, u"Outside"), nullptr);
  EXPECT_EQ(r.FLoadedDirectories, 2);
}

TEST(ArchiveScan, MissingSourceFolderGivesAnEmptyJob) {
  TempFolder tmp;
  TestJob o = TestModeJob(tmp);
  mkdir(o.Output().c_str(), 0755);
  const JobResult r = RunJob(o);
  EXPECT_EQ(r.Outcome, TJobOutcome::joFinished);
  EXPECT_EQ(r.FScannedArchives, 0);
  EXPECT_EQ(r.FLoadedDirectories, 1);
}

TEST(ArchiveScan, AbortDuringScanSkipsLaterPhasesButReportsSummary) {
  TempFolder tmp;
  for (int i = 0; i < 6; ++i) WriteGameZip(tmp.Path() + "games/" + std::to_string(i) + ".zip", Nfo("G" + std::to_string(i), i));
  TestJob o = TestModeJob(tmp);
  mkdir(o.Output().c_str(), 0755);
  o.OnStatus = [](const std::string& s, TWorkThread& job) {
    if (s == "Scanning zip files. (3 so far.)\r\n2.zip") job.Terminate();
  };
  const JobResult r = RunJob(o);
  EXPECT_EQ(r.Outcome, TJobOutcome::joAborted);
  EXPECT_EQ(r.Final, "Aborted. 3 archives scanned, 0 invalid, 0 excluded by filter. 0 games extracted. The output folder is "
            "unfinished: it has no game list.");
  EXPECT_EQ(std::count(r.Statuses.begin(), r.Statuses.end(), "Sorting..."), 0);
  EXPECT_FALSE(std::any_of(r.Statuses.begin(), r.Statuses.end(),
                           [](const std::string& s) { return s.rfind("Adjusting", 0) == 0; }));
  EXPECT_EQ(ReadFile(o.Output() + "/GameList.csv"), "");  // no game list after an abort
  EXPECT_TRUE(r.TerminateNoticeRan);
}

class ScanFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ = tmp_.Path() + "games/";
    WriteGameZip(g_ + "a.zip", Nfo("Kept Five", 5));
    WriteGameZip(g_ + "b.zip", Nfo("Dropped Six", 6));
    WriteGameZip(g_ + "c.zip", Nfo("No Id"));  // fallback 1: only one record was accepted before
    WriteGameZip(g_ + "d.zip", Nfo("No Id Either"));
    mkdir((tmp_.Path() + "out").c_str(), 0755);
  }
  JobResult Run(const std::string& filterText) {
    WriteFile(tmp_.Path() + "filter.xml", filterText);
    TestJob o = TestModeJob(tmp_);
    o.FilterIDs = true;
    o.FilterFile = tmp_.Path() + "filter.xml";
    return RunJob(o);
  }
  TempFolder tmp_;
  std::string g_;
};

TEST_F(ScanFilter, KeepsListedIdsAndTestsFallbackIdsOfAcceptedRecordsOnly) {
  const JobResult r = Run("<romlist><game name=\"5\"></game><game name=\"1\"></game></romlist>");
  EXPECT_EQ(r.Outcome, TJobOutcome::joFinished);
  // a: 5 kept; b: 6 dropped; c: fallback 1 (one record so far) kept; d: fallback 2 dropped.
  EXPECT_EQ(Names(r.Archives), (std::vector<std::u16string>{u"Kept Five", u"No Id"}));
  EXPECT_EQ(r.FFilteredCount, 2);
  EXPECT_EQ(r.FScannedArchives, r.FIgnoredZipfiles + r.FFilteredCount + r.FLoadedArchives);
  EXPECT_EQ(r.Statuses.front(), "Loading RomLister Game IDs...");
  EXPECT_EQ(r.Final, "Done [Test mode only; See GameList.csv for results.] 4 archives scanned, 0 invalid, 2 "
                     "excluded by filter. 2 games extracted.");
}

TEST_F(ScanFilter, UnusableFilterEndsTheJobWithoutSummary) {
  const std::string noIds =
      "ERROR: filter RomList contains no Game IDs. Did you export with Game IDs? Disable filter option or correct "
      "the problem.";
  JobResult r = Run("");
  EXPECT_EQ(r.Outcome, TJobOutcome::joFailed);
  EXPECT_EQ(r.Statuses, (std::vector<std::string>{"Loading RomLister Game IDs...", noIds}));
  EXPECT_EQ(ReadFile(tmp_.Path() + "out/VONDRAL SD/GameList.csv"), "");

  r = Run("<game name=\"99999999999\">");
  EXPECT_EQ(r.Final, "Fatal error loading RomList. '99999999999' is not a valid integer value");
  EXPECT_EQ(r.Outcome, TJobOutcome::joFailed);

  TestJob o = TestModeJob(tmp_);
  o.FilterIDs = true;
  o.FilterFile = tmp_.Path() + "missing.xml";
  r = RunJob(o);
  EXPECT_EQ(r.Final, "Fatal error loading RomList. " + tmp_.Path() + "missing.xml does not exist");
  EXPECT_EQ(r.FScannedArchives, 0);
}

TEST_F(ScanFilter, Utf16ExportWorksLikeUtf8) {
  const std::string text = "<game name=\"6\">";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) {
    utf16 += c;
    utf16 += '\0';
  }
  const JobResult r = Run(utf16);
  EXPECT_EQ(Names(r.Archives), std::vector<std::u16string>{u"Dropped Six"});
}

}  // namespace
}  // namespace vq::test
