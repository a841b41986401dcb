// Names from every source land as names a FAT card accepts, no file of a
// game folder overwrites another, and the same job gives the same tree in a
// normal folder and on a FAT32 image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/text.h"
#include "engine/manifest.h"
#include "fat_image.h"
#include "job_test_util.h"
#include "tools/zip_writer.h"

namespace vq::test {
namespace {

namespace fs = std::filesystem;

// What FAT32 and exFAT accept, stated on its own.
bool ValidOnFat(const std::u16string& name) {
  if (name.empty() || name.size() > 255 || name.back() == u' ' || name.back() == u'.') return false;
  if (std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos; })) {
    return false;
  }
  std::u16string stem = AsciiUpper(name.substr(0, name.find(u'.')));
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (stem == device) return false;
  }
  return !(stem.size() == 4 && (stem.starts_with(u"COM") || stem.starts_with(u"LPT")) && stem[3] >= u'1' &&
           stem[3] <= u'9');
}

// Every name under `root` that FAT would refuse, and every pair in one
// folder that FAT would take for one name.
std::vector<std::string> FatFaults(const std::string& root) {
  std::vector<std::string> faults;
  std::map<std::string, std::set<std::u16string>> seen;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::u16string name = Utf8ToUtf16(entry.path().filename().string());
    if (!ValidOnFat(name)) faults.push_back("invalid: " + entry.path().string());
    if (!seen[entry.path().parent_path().string()].insert(FoldCase(name)).second) {
      faults.push_back("equal on FAT: " + entry.path().string());
    }
  }
  return faults;
}

class CardSafety : public ::testing::Test {
 protected:
  void SetUp() override { WriteHostileCollection(tmp_.Path()); }
  TestJob Job(const std::string& dest) const {
    TestJob o;
    o.SourceDir = tmp_.Path() + "games/";
    o.DestDir = dest;
    o.HvscDir = tmp_.Path() + "hvsc/";
    o.IncludeSIDs = o.AutoSwap = o.ExtractT64 = true;
    return o;
  }
  TempFolder tmp_;
};

TEST_F(CardSafety, HostileNamesBecomeValidUniqueNamesAndNothingIsLost) {
  const auto source = TreeFingerprint(tmp_.Path() + "games/");
  const TestJob o = Job(tmp_.Path() + "disk");
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(r.FLoadedArchives, 7);  // the zip with "./VERSION.NFO" too
  const std::string out = o.Output() + "/";
  EXPECT_EQ(FatFaults(out), std::vector<std::string>{});

  const std::vector<std::string> colons = ListTree(out + "Colons/");
  EXPECT_EQ(colons, (std::vector<std::string>{"AUTOSWAP.LST", "CON_.d64", "Commando__1.D64", "VERSION.NFO",
                                              "a__b.d64", "q_w.d64", "x_y.d64"}));
  EXPECT_EQ(ReadFile(out + "Colons/AUTOSWAP.LST"),
            "a__b.d64\r\nCommando__1.D64\r\nCON_.d64\r\nq_w.d64\r\nx_y.d64\r\n");  // one line a disk

  // Every entry is on disk: later ones of an equal name get a number.
  EXPECT_EQ(ListTree(out + "Collide/"),
            (std::vector<std::string>{"AUTOSWAP.LST", "A_2.D64", "GAME.D64", "VERSION.NFO", "a.d64", "disk/",
                                      "disk/GAME.D64", "x.d64", "x_2.d64"}));
  EXPECT_EQ(ReadFile(out + "Collide/x_2.d64"), "4");
  EXPECT_EQ(ReadFile(out + "Collide/A_2.D64"), "6");
  EXPECT_EQ(ReadFile(out + "Tapes/Game_2.P00").substr(8, 3), "TWO");
  EXPECT_EQ(ReadFile(out + "Tune/Odd_Tune.sid"), "PSID");
  std::map<std::u16string, std::u16string> errors;
  for (const TArcInfo& game : r.Archives) errors[game.Name] = game.ExtractionStatus;
  EXPECT_NE(errors[u"Collide"].find(u"Files of equal names renamed."), std::u16string::npos);
  EXPECT_EQ(errors[u"Colons"], u"");
  EXPECT_TRUE(fs::exists(out + "Twins [00003]/t.crt"));
  EXPECT_TRUE(fs::exists(out + "TWINS [00004]/t.crt"));
  EXPECT_EQ(TreeFingerprint(tmp_.Path() + "games/"), source);

}

TEST_F(CardSafety, EveryStyleGivesTheSameValidTreeInAFolderAndOnAFat32Card) {
  const auto source = TreeFingerprint(tmp_.Path() + "games/");
  TFatImage card(tmp_.Path());
  for (const TFileNameStyle style : {fns1541U, fnsSD2IEC, fnsNone}) {
    const std::string name = std::to_string(static_cast<int>(style));
    TestJob o = Job(tmp_.Path() + "disk" + name);
    o.FileNameStyle = style;
    const JobResult r = RunJob(o);
    ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
    EXPECT_EQ(FatFaults(o.Output()), std::vector<std::string>{}) << name;
    // Nothing lost: 17 images and PC64 files and one SID copy, whatever the names.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(o.Output())) {
      const std::string ext = AsciiUpper(entry.path().extension().string());
      files += entry.is_regular_file() && ext != ".LST" && ext != ".NFO" && ext != ".CSV" &&
               entry.path().filename() != kManifestName;
    }
    EXPECT_EQ(files, 18u) << name;
    if (!card.Available()) continue;
    // Straight onto the card, each style in a folder of its own: FAT takes
    // the three output folder names for one.
    TestJob onCard = o;
    onCard.DestDir = card.Path() + name;
    const JobResult c = RunJob(onCard);
    ASSERT_EQ(c.Outcome, TJobOutcome::joFinished) << c.Final;
    EXPECT_NE(std::find(c.Statuses.begin(), c.Statuses.end(), "Flushing to the card..."), c.Statuses.end());
    EXPECT_EQ(TreeFingerprint(onCard.Output()), TreeFingerprint(o.Output())) << name;
  }
  EXPECT_EQ(TreeFingerprint(tmp_.Path() + "games/"), source);
  if (!card.Available()) GTEST_SKIP() << "no FAT32 image: " << card.Reason();
}

TEST_F(CardSafety, KeepGoingLeavesOutOnlyTheGamesThatFail) {
  const std::string g = tmp_.Path() + "mixed/";
  // A zip whose image's stored data has a byte flipped: the check sum fails
  // on extraction.
  auto damaged = [&g](const std::string& zip, const std::string& title, int id) {
    tools::WriteZipFile(g + zip, {{"bad.d64", std::string(500, 'x'), false}, {"VERSION.NFO", Nfo(title, id), true}});
    std::string bytes = ReadFile(g + zip);
    bytes[30 + 7 + 5] ^= 0x55;
    WriteFile(g + zip, bytes);
  };
  WriteGameZip(g + "a.zip", Nfo("Good A", 1), {{"a.d64", "aaa"}});
  damaged("b.zip", "Bad B", 2);
  // The same title and ID again: it shares the good game's folder, whose
  // files must survive its failure.
  damaged("e.zip", "Good A", 1);
  WriteGameZip(g + "c.zip", Nfo("Good C", 3), {{"c.d64", "ccc"}, {"d.d64", "ddd"}});
  const auto source = TreeFingerprint(g);
  TestJob o;
  o.SourceDir = g;
  o.DestDir = tmp_.Path() + "kept";
  o.KeepGoing = true;
  const JobResult r = RunJob(o);
  ASSERT_EQ(r.Outcome, TJobOutcome::joFinished) << r.Final;
  EXPECT_EQ(r.FGameCount, 2);
  EXPECT_EQ(r.FFailedGames, 2);
  EXPECT_NE(r.Final.find(" 2 games extracted. 2 games failed."), std::string::npos) << r.Final;
  const std::string out = o.Output() + "/";
  EXPECT_EQ(ListTree(out),
            (std::vector<std::string>{"GameList.csv", "Good A [00001]/", "Good A [00001]/VERSION.NFO",
                                      "Good A [00001]/a.d64", "Good C/", "Good C/VERSION.NFO", "Good C/c.d64",
                                      "Good C/d.d64", "vqsd-manifest.txt"}));
  EXPECT_EQ(ReadFile(out + "GameList.csv").find("\"Bad B\",\"Bad B/\",\"2\",\"not extracted: " + g + "b.zip: bad.d64: "),
            std::string("\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"\r\n").size());

  // Without the option the first failure ends the job, naming zip, entry
  // and cause, and leaves no half-written file.
  o.KeepGoing = false;
  o.DestDir = tmp_.Path() + "ended";
  const JobResult e = RunJob(o);
  EXPECT_EQ(e.Outcome, TJobOutcome::joFailed);
  EXPECT_EQ(e.Final.rfind("ERROR: " + g + "b.zip: bad.d64: ", 0), 0u) << e.Final;
  EXPECT_FALSE(fs::exists(o.Output() + "/Bad B/bad.d64"));
  EXPECT_EQ(TreeFingerprint(g), source);
}

}  // namespace
}  // namespace vq::test
