// The extraction phase and the game list, on small hand-made collections
// whose expected output is stated here byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "job_test_util.h"
#include "tools/zip_writer.h"

namespace vq::test {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"\r\n";

// The PC64 file expected for a PRG: magic, name with trailing blanks as
// zero bytes, REL length 0, load address, data.
std::string Pc64(const std::string& name, uint16_t load, const std::string& data) {
  std::string p = std::string("C64File") + '\0';
  std::string n = name;
  n.resize(16, '\0');
  p += n;
  p += std::string(2, '\0');
  p += static_cast<char>(load & 0xFF);
  p += static_cast<char>(load >> 8);
  return p + data;
}

class Extraction : public ::testing::Test {
 protected:
  std::string Games() const { return tmp_.Path() + "games/"; }
  std::string Out() const { return tmp_.Path() + "out/VONDRAL SD/"; }
  std::string SdOut() const { return tmp_.Path() + "out/vondral sd/"; }  // the sd2iec style's
  TestJob Options() const {
    TestJob o;
    o.SourceDir = Games();
    o.DestDir = tmp_.Path() + "out";
    return o;
  }
  TempFolder tmp_;
};

TEST_F(Extraction, OneGameWithDisksStrayFileAndOptimizedNfo) {
  WriteGameZip(Games() + "bb.zip", Nfo("Bubble Bobble: Deluxe", 123),
               {{"Bubble (Disk 2).D64", "disk two"}, {"Bubble (Disk 1).d64", "disk one"}, {"readme.txt", "hi"},
                {"extra/Cart.crt", "cart"}});
  const auto before = TreeFingerprint(Games());
  const JobResult r = RunJob(Options());
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(r.Final,
            "Done. 1 archives scanned, 0 invalid, 0 excluded by filter. 1 games extracted. {Warning: unknown file "
            "extensions encountered: .TXT}");
  // Fewer than 250 games: the game folder sits in the output folder; the
  // stored sub-folder of the cartridge is kept.
  EXPECT_EQ(ListTree(Out()), (std::vector<std::string>{"Bubble Bobble Deluxe/", "Bubble Bobble Deluxe/Bubble (Disk 1).d64",
                                                        "Bubble Bobble Deluxe/Bubble (Disk 2).D64",
                                                        "Bubble Bobble Deluxe/VERSION.NFO", "Bubble Bobble Deluxe/extra/",
                                                        "Bubble Bobble Deluxe/extra/Cart.crt", "GameList.csv", "vqsd-manifest.txt"}));
  EXPECT_EQ(ReadFile(Out() + "Bubble Bobble Deluxe/Bubble (Disk 1).d64"), "disk one");
  EXPECT_EQ(ReadFile(Out() + "Bubble Bobble Deluxe/VERSION.NFO"),
            "Bubble Bobble Deluxe\r\nName: Bubble Bobble: Deluxe\r\nPublished: 1986 Test Soft\r\nUnique-ID: "
            "123\r\n=====================================\r\n");
  EXPECT_EQ(ReadFile(Out() + "GameList.csv"),
            kHeader + "\"Bubble Bobble: Deluxe\",\"Bubble Bobble Deluxe/\",\"123\",\"Unexpected files ignored.\"\r\n");
  ASSERT_EQ(r.Archives.size(), 1u);
  EXPECT_EQ(r.Archives[0].ExtractedFileCount, 3);
  EXPECT_EQ(r.Archives[0].UnhandledFileCount, 1);
  EXPECT_EQ(TreeFingerprint(Games()), before);
}

TEST_F(Extraction, AutoSwapListIsSortedIgnoringCaseAndOnlyForSeveralDisks) {
  WriteGameZip(Games() + "multi.zip", Nfo("Multi", 1), {{"b.d64", "b"}, {"A.D64", "a"}, {"c.D64", "c"}});
  WriteGameZip(Games() + "mixed.zip", Nfo("Mixed", 2), {{"one.d64", "x"}, {"tape.t64", TapeArchive({{"X", 0x801, "x"}})}});
  TestJob o = Options();
  o.AutoSwap = true;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ReadFile(Out() + "Multi/AUTOSWAP.LST"), "A.D64\r\nb.d64\r\nc.D64\r\n");
  EXPECT_FALSE(fs::exists(Out() + "Mixed/AUTOSWAP.LST"));
  EXPECT_EQ(ReadFile(Out() + "Mixed/tape.t64"), TapeArchive({{"X", 0x801, "x"}}));  // stored as is without --t64
}

TEST_F(Extraction, AutoSwapOrderReadsLikeAListAndOddExtensionsAreQuoted) {
  WriteGameZip(Games() + "g.zip", Nfo("Order", 1),
               {{"Game1.d64", "1"}, {"game2.D64", "2"}, {"Game_A.d64", "a"}, {"x.t\x7f", "?"}, {"y.T\x7f", "?"}});
  TestJob o = Options();
  o.AutoSwap = true;
  const JobResult r = RunJob(o);
  EXPECT_EQ(ReadFile(Out() + "Order/AUTOSWAP.LST"), "Game_A.d64\r\nGame1.d64\r\ngame2.D64\r\n");
  // A control character is quoted; the two spellings are one item.
  EXPECT_EQ(r.Final, "Done. 1 archives scanned, 0 invalid, 0 excluded by filter. 1 games extracted. {Warning: "
                     "unknown file extensions encountered: \".T\x7f\"}");
}

TEST_F(Extraction, TapeArchivesBecomePc64FilesAlsoFromSubFolders) {
  const std::string tape = TapeArchive({{"LOADER", 0x0801, "abc"}, {"MAIN PART", 0x2000, "defgh"}});
  WriteGameZip(Games() + "tape.zip", Nfo("Tape Game", 10), {{"tapes/Game.T64", tape}});
  WriteGameZip(Games() + "bad.zip", Nfo("Bad Tape", 11), {{"broken.t64", "not a tape at all"}});
  TestJob o = Options();
  o.ExtractT64 = true;
  o.FileNameStyle = fnsSD2IEC;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ReadFile(SdOut() + "tape game/Game.P00"), Pc64("LOADER", 0x0801, "abc"));
  EXPECT_EQ(ReadFile(SdOut() + "tape game/Game.P01"), Pc64("MAIN PART", 0x2000, "defgh"));
  EXPECT_FALSE(fs::exists(SdOut() + "tape game/tapes"));  // the T64 itself is not written
  EXPECT_FALSE(fs::exists(SdOut() + "bad tape/broken.t64"));
  EXPECT_EQ(r.FExtractedTapeArchives, 1);
  EXPECT_EQ(r.FExtractedTapeFiles, 2);
  EXPECT_EQ(r.FTapeArchivesNotExtracted, 1);
  // sd2iec: lower-case file name; errors in the order they arise.
  EXPECT_EQ(ReadFile(SdOut() + "gamelist.csv"),
            kHeader + "\"Bad Tape\",\"bad tape/\",\"11\",\"No Files Extracted. T64 file extraction error.\"\r\n" +
                "\"Tape Game\",\"tape game/\",\"10\",\"\"\r\n");
}

TEST_F(Extraction, NfoStylesRawAndExclude) {
  const std::string nfo = "Name:   Raw Game\r\nUnique-ID: 5\r\nComment: " + std::string(60, 'x') + "\r\n";
  WriteGameZip(Games() + "g.zip", nfo, {{"g.d64", "d"}});
  TestJob o = Options();
  o.NFOStyle = nsNoOptimize;
  RunJob(o);
  EXPECT_EQ(ReadFile(Out() + "Raw Game/VERSION.NFO"), nfo);

  fs::remove_all(Out());
  o.NFOStyle = nsExclude;
  RunJob(o);
  EXPECT_TRUE(fs::exists(Out() + "Raw Game/g.d64"));
  EXPECT_FALSE(fs::exists(Out() + "Raw Game/VERSION.NFO"));
}

TEST_F(Extraction, SidCopiesPerStyleWithCaseAndSeparatorTolerance) {
  const std::string hvsc = tmp_.Path() + "hvsc/";
  WriteFile(hvsc + "MUSICIANS/H/Hubbard_Rob/Commando.sid", "PSID commando");
  WriteFile(hvsc + "MUSICIANS/H/Hubbard_Rob/Commando.prg", "PRG commando");
  WriteFile(hvsc + "MUSICIANS/G/Galway_Martin/Arkanoid.prg", "PRG only");
  WriteGameZip(Games() + "1.zip", Nfo("Commando", 1, "/MUSICIANS/H/Hubbard_Rob/Commando"), {{"c.d64", "d"}});
  WriteGameZip(Games() + "2.zip", Nfo("Arkanoid", 2, "\\musicians\\g\\galway_martin\\Arkanoid"), {{"a.d64", "d"}});
  WriteGameZip(Games() + "3.zip", Nfo("Missing", 3, "/MUSICIANS/X/Nobody/Nothing"), {{"m.d64", "d"}});
  WriteGameZip(Games() + "4.zip", Nfo("Escape", 4, "/../../etc/passwd"), {{"e.d64", "d"}});
  TestJob o = Options();
  o.IncludeSIDs = true;
  o.HvscDir = hvsc;
  JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ReadFile(Out() + "Commando/Commando.sid"), "PSID commando");
  EXPECT_EQ(ReadFile(Out() + "Commando/Commando_SID.prg"), "PRG commando");
  EXPECT_EQ(ReadFile(Out() + "Arkanoid/Arkanoid_SID.prg"), "PRG only");
  EXPECT_FALSE(fs::exists(Out() + "Arkanoid/Arkanoid.sid"));
  EXPECT_EQ(r.FSIDCount, 2);
  EXPECT_EQ(r.FSIDErrors, 2);
  EXPECT_NE(r.Final.find(" 2 SIDs included, 2 not found."), std::string::npos);
  EXPECT_NE(ReadFile(Out() + "GameList.csv").find("\"Missing\",\"Missing/\",\"3\",\"Missing SID.\""), std::string::npos);

  fs::remove_all(Out());
  o.FileNameStyle = fnsSD2IEC;
  r = RunJob(o);
  EXPECT_EQ(ReadFile(SdOut() + "commando/GAMESID.SID"), "PSID commando");
  EXPECT_EQ(ReadFile(SdOut() + "commando/GAMESID.PRG"), "PRG commando");
  EXPECT_EQ(ReadFile(SdOut() + "arkanoid/GAMESID.PRG"), "PRG only");
}

TEST_F(Extraction, EntriesNeverLandOutsideTheGameFolder) {
  WriteGameZip(Games() + "evil.zip", Nfo("Evil", 1),
               {{"../../escape.d64", "up"}, {"/tmp/absolute.d64", "abs"}, {"ok/../../x.crt", "mixed"}});
  const JobResult r = RunJob(Options());
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ReadFile(Out() + "Evil/escape.d64"), "up");
  EXPECT_EQ(ReadFile(Out() + "Evil/absolute.d64"), "abs");
  EXPECT_EQ(ReadFile(Out() + "Evil/x.crt"), "mixed");
  EXPECT_FALSE(fs::exists(tmp_.Path() + "escape.d64"));
  EXPECT_FALSE(fs::exists(tmp_.Path() + "x.crt"));
}

TEST_F(Extraction, WildcardCharactersInEntryNamesAreJustCharacters) {
  WriteGameZip(Games() + "w.zip", Nfo("Wild", 1), {{"*.d64", "star"}, {"real.d64", "real"}, {"sub/real.D64", "deep"}});
  const JobResult r = RunJob(Options());
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ReadFile(Out() + "Wild/_.d64"), "star");  // '*' is no character of a FAT name
  EXPECT_EQ(ReadFile(Out() + "Wild/real.d64"), "real");
  EXPECT_EQ(ReadFile(Out() + "Wild/sub/real.D64"), "deep");
  EXPECT_EQ(r.Archives[0].ExtractedFileCount, 3);
}

TEST_F(Extraction, DuplicateTitlesGetTheirIdsAndUnknownExtensionsAreListed) {
  WriteGameZip(Games() + "a.zip", Nfo("Moonshadow", 1234), {{"m.d64", "1"}, {"NOEXT", "?"}});
  WriteGameZip(Games() + "b.zip", Nfo("MoonShadow", 567), {{"m.d64", "2"}, {"notes.txt", "?"}, {"x.Doc", "?"}});
  WriteGameZip(Games() + "c.zip", Nfo("Only", 1), {{"a file.we ird", "?"}});
  const JobResult r = RunJob(Options());
  EXPECT_EQ(ReadFile(Out() + "MoonShadow [00567]/m.d64"), "2");
  EXPECT_EQ(ReadFile(Out() + "Moonshadow [01234]/m.d64"), "1");
  EXPECT_EQ(ReadFile(Out() + "GameList.csv"),
            kHeader + "\"MoonShadow\",\"MoonShadow [00567]/\",\"567\",\"Unexpected files ignored.\"\r\n" +
                "\"Moonshadow\",\"Moonshadow [01234]/\",\"1234\",\"Unexpected files ignored.\"\r\n" +
                "\"Only\",\"Only/\",\"1\",\"No Files Extracted.\"\r\n");
  EXPECT_EQ(r.Final,
            "Done. 3 archives scanned, 0 invalid, 0 excluded by filter. 3 games extracted. {Warning: unknown file "
            "extensions encountered: ,.DOC,.TXT,\".WE IRD\"}");
}

TEST_F(Extraction, TestModeWritesOnlyTheGameList) {
  const std::string hvsc = tmp_.Path() + "hvsc/";
  WriteFile(hvsc + "S/t.sid", "sid");
  WriteGameZip(Games() + "t.zip", Nfo("Quote \"Q\" Game", 77, "/S/t"),
               {{"a.d64", "a"}, {"b.d64", "b"}, {"t.t64", TapeArchive({{"F", 0x801, "f"}})}});
  TestJob o = Options();
  o.TestMode = true;
  o.IncludeSIDs = true;
  o.HvscDir = hvsc;
  o.ExtractT64 = true;
  o.AutoSwap = true;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(ListTree(Out()), std::vector<std::string>{"GameList.csv"});
  EXPECT_EQ(ReadFile(Out() + "GameList.csv"), kHeader + "\"Quote \"\"Q\"\" Game\",\"Quote Q Game/\",\"77\",\"\"\r\n");
  EXPECT_EQ(r.Final, "Done [Test mode only; See GameList.csv for results.] 1 archives scanned, 0 invalid, 0 "
                     "excluded by filter. 1 games extracted. 1 SIDs included, 0 not found.");
  EXPECT_EQ(r.FExtractedTapeFiles, 1);
  EXPECT_NE(std::find(r.Statuses.begin(), r.Statuses.end(),
                      "Extracting archives (1/1)\r\nt.zip\r\n(Quote \"Q\" Game)\r\n[Test Mode!]"),
            r.Statuses.end());
}

TEST_F(Extraction, TestModeReportsTheRenamesOfARealRun) {
  // Both tapes give "Game.P00": the second one's is renamed, in test mode too.
  WriteGameZip(Games() + "t.zip", Nfo("Tapes", 5),
               {{"Game.t64", TapeArchive({{"ONE", 0x801, "a"}})}, {"sub/Game.T64", TapeArchive({{"TWO", 0x801, "b"}})}});
  for (const bool testMode : {false, true}) {
    TestJob o = Options();
    o.DestDir = tmp_.Path() + (testMode ? "test" : "real");
    o.ExtractT64 = true;
    o.TestMode = testMode;
    const JobResult r = RunJob(o);
    ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
    EXPECT_EQ(ReadFile(o.Output() + "/GameList.csv"),
              kHeader + "\"Tapes\",\"Tapes/\",\"5\",\"Files of equal names renamed.\"\r\n")
        << (testMode ? "test mode" : "real run");
  }
  EXPECT_EQ(ReadFile(tmp_.Path() + "real/VONDRAL SD/Tapes/Game_2.P00").substr(8, 3), "TWO");
}

TEST_F(Extraction, UnwritableDestinationEndsTheJobWithTheMessageShown) {
  WriteGameZip(Games() + "g.zip", Nfo("Game", 1), {{"g.d64", "d"}});
  WriteFile(tmp_.Path() + "blocker", "a file where a folder should be");
  const auto before = TreeFingerprint(Games());
  TestJob o = Options();
  o.DestDir = tmp_.Path() + "blocker/out";
  o.CreateDest = false;
  const JobResult r = RunJob(o);
  EXPECT_EQ(r.Outcome, TJobOutcome::joFailed);
  // The output folder is opened before the job makes its first file there.
  EXPECT_EQ(r.Final, "ERROR: " + tmp_.Path() + "blocker/out/VONDRAL SD: Not a directory\r\n" +
                         "Extracting archives...\r\n" + "The output folder is unfinished: it has no game list.");
  EXPECT_TRUE(r.TerminateNoticeRan);
  EXPECT_EQ(TreeFingerprint(Games()), before);
}

TEST_F(Extraction, AbortInTheMiddleStopsBeforeTheNextGame) {
  for (int i = 0; i < 5; ++i) {
    WriteGameZip(Games() + std::to_string(i) + ".zip", Nfo("Game " + std::to_string(i), i),
                 {{"g.d64", "d"}, {"x.txt", "t"}});
  }
  TestJob o = Options();
  o.OnStatus = [](const std::string& s, TWorkThread& job) {
    if (s.rfind("Extracting archives (3/5)", 0) == 0) job.Terminate();
  };
  const JobResult r = RunJob(o);
  EXPECT_EQ(r.Outcome, TJobOutcome::joAborted);
  // The game that had begun is finished; no later game folder exists.
  EXPECT_EQ(r.Final, "Aborted. 5 archives scanned, 0 invalid, 0 excluded by filter. 3 games extracted. {Warning: "
                     "unknown file extensions encountered: .TXT} The output folder is unfinished: it has no game list.");
  EXPECT_TRUE(fs::exists(Out() + "Game 2/g.d64"));
  EXPECT_FALSE(fs::exists(Out() + "Game 3"));
  EXPECT_FALSE(fs::exists(Out() + "GameList.csv"));
}

// A game that fails takes along the letter folders made for it, whether the
// job ends there or goes on, on one thread or two.
TEST_F(Extraction, AFailedGameLeavesNoFolderMadeForIt) {
  for (int i = 0; i < 250; ++i) WriteGameZip(Games() + std::to_string(i) + ".zip", Nfo("Alpha " + std::to_string(i), i));
  std::string tooDeep;
  while (tooDeep.size() < 4200) tooDeep += std::string(250, 'd') + "/";
  WriteGameZip(Games() + "z.zip", Nfo("Zeta", 999), {{tooDeep + "g.d64", "x"}});
  for (const int jobs : {1, 2}) {
    for (const bool keepGoing : {false, true}) {
      SCOPED_TRACE("jobs " + std::to_string(jobs) + (keepGoing ? ", keep going" : ""));
      TestJob o = Options();
      o.Jobs = jobs;
      o.KeepGoing = keepGoing;
      fs::remove_all(o.DestDir);
      const JobResult r = RunJob(o);
      EXPECT_EQ(r.Outcome, keepGoing ? TJobOutcome::joFinished : TJobOutcome::joFailed) << r.Final;
      EXPECT_TRUE(fs::exists(Out() + "A"));
      EXPECT_FALSE(fs::exists(Out() + "Z"));
    }
  }
}

// 249 games sit directly in the output folder; 250 go to letter folders.
TEST_F(Extraction, PlacementSwitchesToLetterFoldersAt250Games) {
  for (int i = 0; i < 250; ++i) {
    const std::string title = (i % 2 ? "Alpha " : "9 Lives ") + std::to_string(1000 + i);
    WriteGameZip(Games() + std::to_string(i) + ".zip", Nfo(title, i));
  }
  TestJob o = Options();
  o.TestMode = true;
  JobResult r = RunJob(o);
  ASSERT_EQ(r.Archives.size(), 250u);
  for (const TArcInfo& a : r.Archives) {
    const std::u16string expected = (a.Name[0] == u'A' ? u"A/" : u"0/") + a.OutFolderName + u"/";
    EXPECT_EQ(a.RealOutPath, expected);
  }
  fs::remove(Games() + "0.zip");
  r = RunJob(o);
  ASSERT_EQ(r.Archives.size(), 249u);
  for (const TArcInfo& a : r.Archives) EXPECT_EQ(a.RealOutPath, a.OutFolderName + u"/");
}

}  // namespace
}  // namespace vq::test
