// The real program on FAT32 cards written through the kernel's own vfat
// driver, in user-mode Linux: a card holds what the same job writes into a
// folder, whatever the names; an update leaves every folder of a card
// listed as a fresh run lists it on another card, also when the power
// failed in the middle of it, the card was repaired and the next update
// finished it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "engine/job_options.h"
#include "engine/job_test_util.h"
#include "engine/manifest.h"
#include "temp_folder.h"
#include "tools/sample_revision.h"
#include "vfat_card.h"

namespace vq::test {
namespace {

// Games beside the hostile collection whose names lie beyond ASCII: titles
// equal only ignoring case beyond ASCII, members that FAT takes for one name
// (Ü ü, Σ σ ς), é composed and decomposed, a character beyond 16 bits, and
// two names that are one once cut to the length FAT keeps.
void WriteBeyondAscii(const std::string& root) {
  const std::string g = root + "games/";
  WriteGameZip(g + "8.zip", Nfo("\xC4rger", 8),  // Windows-1252, as NFO files are
               {{"\xC3\x9C" "ber.d64", "1"}, {"\xC3\xBC" "ber.D64", "2"}, {"\xCE\xA3.d64", "3"}, {"\xCF\x83.d64", "4"},
                {"\xCF\x82.d64", "5"}, {"\xC3\xA9.d64", "6"}, {"e\xCC\x81.d64", "7"}, {"\xF0\x9F\x8E\xAE.d64", "8"}});
  WriteGameZip(g + "9.zip", Nfo("\xE4rger", 9), {{"t.crt", "c"}});
  const std::string longName(300, 'L');
  WriteGameZip(g + "10.zip", Nfo("Caf\xE9 \x80uro \x8C\x9F", 10),
               {{longName + "1.d64", "x"}, {longName + "2.d64", "y"}, {"\xC3\xBF.prg", "z"}});
}

// The program's run on `source` into `dest`, with `more` options.
TCommand Vqsd(const std::string& source, const std::string& hvsc, const std::string& dest,
              const std::vector<std::string>& more) {
  TCommand command = {VQ_VQSD, "--source", source, "--hvsc", hvsc, "--dest", dest, "-q", "--t64", "--autoswap",
                      "--jobs", "2"};
  command.insert(command.end(), more.begin(), more.end());
  return command;
}

const std::vector<std::pair<std::string, TFileNameStyle>> kStyles = {
    {"1541u", fns1541U}, {"sd2iec", fnsSD2IEC}, {"none", fnsNone}};

// How soon the kernel writes out what the program wrote, in every run: a
// power cut then finds the card close behind the program.
constexpr int kWritebackMs = 100;

// How every run goes: power cut as soon as `cutWhen` holds, if given.
TRunOptions Options(const std::string& cutWhen = "") {
  TRunOptions options;
  options.CutWhen = cutWhen;
  options.WritebackMs = kWritebackMs;
  return options;
}

// Room for a few hundred games and what an update writes beside them.
constexpr int kCardMegabytes = 96;

// Where an update is cut off: shares of what it writes to its card.
constexpr int kCutPercents[] = {10, 50, 90};

class VfatCard : public ::testing::Test {
 protected:
  // Every card the cases look at, written in one boot (each boot costs
  // seconds): the hostile collection in each style, on a card and into a
  // folder of this machine's, written from the same boot, since the
  // record keeps the sources' times and the boot sees them to the second;
  // of two versions of a generated collection, a card with a run of
  // the first brought up to date, a card with a fresh run of the second, and
  // a card with a run of the first, kept for the power cuts. Each output
  // folder is listed as its run left it.
  static void SetUpTestSuite() {
    skip_ = TVfatCard::Unavailable();
    if (!skip_.empty()) return;
    tmp_ = new TempFolder("vfat");
    const std::string names = tmp_->Path() + "names/";
    WriteHostileCollection(names);
    WriteBeyondAscii(names);
    tools::TSampleOptions sample;
    sample.Seed = 35;  // a game with a folder of four files inside its own
    sample.GameCount = 200;
    v1_ = new tools::TSampleCollection(tools::GenerateSampleCollection(tmp_->Path() + "v1", sample));
    tools::TRevisionOptions revision;
    revision.AddedPercent = 4;
    revision.ChangedPercent = 2;
    revision.RemovedPercent = 2;
    v2_ = new tools::TRevision(tools::ReviseSampleCollection(*v1_, tmp_->Path() + "v2", revision));

    // The updated card comes first: the sectors written count on it.
    TVfatCard updated(tmp_->Path(), "updated", kCardMegabytes), fresh(tmp_->Path(), "fresh", kCardMegabytes);
    TVfatCard hostile(tmp_->Path(), "hostile", kCardMegabytes);
    base_ = new TVfatCard(tmp_->Path(), "base", kCardMegabytes);
    plan_ = new TRunPlan;
    plan_->Add("first", First(updated));
    plan_->Add("sectors before", SectorsWrittenCommand(tmp_->Path() + "sectors-before"));
    plan_->Add("update", Update(updated, "--update"));
    plan_->Add("sectors after", SectorsWrittenCommand(tmp_->Path() + "sectors-after"));
    plan_->Add("list updated", Listing(updated, "updated"));
    plan_->Add("fresh", Update(fresh, "--replace"));
    plan_->Add("list fresh", Listing(fresh, "fresh"));
    plan_->Add("base", First(*base_));
    plan_->Add("list base", Listing(*base_, "base"));
    plan_->Add("base record", {"cp", base_->Path() + OutputFolderName(fnsSD2IEC) + "/vqsd-manifest.txt",
                               tmp_->Path() + "base-record.txt"});
    // Each style into a folder of its own on the card: FAT takes the three
    // output folder names for one.
    for (const auto& [style, value] : kStyles) {
      for (const auto& [dest, listing] : {std::pair{hostile.Path() + style, "card-" + style},
                                          std::pair{tmp_->Path() + "folder-" + style, "folder-" + style}}) {
        plan_->Add(listing, Vqsd(names + "games/", names + "hvsc/", dest, {"--style", style}));
        plan_->Add("list " + listing, ListingCommand(dest + "/" + OutputFolderName(value), tmp_->Path() + listing));
      }
    }
    run_ = new TCardRun(RunOnCards({&updated, &fresh, base_, &hostile}, plan_->Commands(), Options()));
    if (run_->Status == kCardUnusableStatus) skip_ = "user-mode Linux cannot run here: " + run_->Output;
  }
  static void TearDownTestSuite() {
    delete run_;
    delete base_;
    delete v2_;
    delete v1_;
    delete plan_;
    delete tmp_;
  }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
  }

  // What the command `name` of the suite's run did; it ended well.
  static const TStepResult& Done(const std::string& name) {
    const TStepResult& step = plan_->Of(*run_, name);
    EXPECT_EQ(step.Status, 0) << name << ": " << step.Output << run_->Output;
    return step;
  }

  // The run of the first version onto `card`.
  static TCommand First(const TVfatCard& card) {
    return Vqsd(v1_->GamesDir, v1_->HvscDir, card.Path(), {"--style", "sd2iec"});
  }
  // The job that brings `card` to the second version, with `mode`.
  static TCommand Update(const TVfatCard& card, const std::string& mode) {
    return Vqsd(v2_->Collection.GamesDir, v1_->HvscDir, card.Path(), {"--style", "sd2iec", mode});
  }
  // The listing of `card`'s output folder, kept as `name`.
  static TCommand Listing(const TVfatCard& card, const std::string& name) {
    return ListingCommand(card.Path() + OutputFolderName(fnsSD2IEC), tmp_->Path() + name);
  }
  static TTreeListing Listed(const std::string& name) { return ReadListing(tmp_->Path() + name); }

  static std::string skip_;
  static TempFolder* tmp_;
  static tools::TSampleCollection* v1_;
  static tools::TRevision* v2_;
  static TVfatCard* base_;
  static TRunPlan* plan_;
  static TCardRun* run_;
};

std::string VfatCard::skip_;
TempFolder* VfatCard::tmp_ = nullptr;
tools::TSampleCollection* VfatCard::v1_ = nullptr;
tools::TRevision* VfatCard::v2_ = nullptr;
TVfatCard* VfatCard::base_ = nullptr;
TRunPlan* VfatCard::plan_ = nullptr;
TCardRun* VfatCard::run_ = nullptr;

TEST_F(VfatCard, HostileNamesInEveryStyleGiveTheTreeTheyGiveInAFolder) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const auto& [style, value] : kStyles) {
    SCOPED_TRACE(style);
    for (const std::string& step : {"card-" + style, "list card-" + style, "folder-" + style, "list folder-" + style}) {
      Done(step);
    }
    const TTreeListing wanted = Listed("folder-" + style);
    EXPECT_EQ(ContentDifference(Listed("card-" + style), wanted), "");
    // The eight disks of the game whose names FAT takes for fewer all
    // arrived: its folder is the one of the disk named by a character
    // beyond 16 bits, which no style changes.
    const auto beyond = std::find_if(wanted.Files.begin(), wanted.Files.end(), [](const auto& file) {
      return file.first.find("\xF0\x9F\x8E\xAE") != std::string::npos;
    });
    ASSERT_NE(beyond, wanted.Files.end());
    const std::string game = beyond->first.substr(0, beyond->first.rfind('/') + 1);
    EXPECT_EQ(std::count_if(wanted.Files.begin(), wanted.Files.end(), [&game](const auto& file) {
                return file.first.starts_with(game) && AsciiUpper(file.first).ends_with(".D64");
              }), 8);
  }
}

TEST_F(VfatCard, AnUpdateListsEveryFolderAsAFreshRunOnAnotherCard) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const char* step : {"first", "update", "list updated", "fresh", "list fresh"}) Done(step);
  EXPECT_EQ(ContentDifference(Listed("updated"), Listed("fresh")), "");
  EXPECT_EQ(OrderDifference(Listed("updated"), Listed("fresh")), "");
}

TEST_F(VfatCard, AnUpdateCutOffByAPowerFailureIsFinishedByTheNextUpdate) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const char* step : {"update", "sectors before", "sectors after", "list fresh", "base"}) Done(step);
  // Early, half way and late in what the whole update wrote to its card.
  const long sectors = std::stol(ReadBytes(tmp_->Path() + "sectors-after")) -
                       std::stol(ReadBytes(tmp_->Path() + "sectors-before"));
  std::vector<std::unique_ptr<TVfatCard>> cards;
  std::vector<TVfatCard*> cut;
  TRunPlan finish;
  int cuts = 0;
  for (const int percent : kCutPercents) {
    const std::string name = "cut" + std::to_string(percent);
    SCOPED_TRACE(name);
    TVfatCard& card = *cards.emplace_back(std::make_unique<TVfatCard>(*base_, name));
    const TCardRun first = card.Run({Update(card, "--update")},
                                    Options(SectorsWrittenReach(sectors * percent / 100)));
    ASSERT_TRUE(first.Status == kPowerCutStatus || first.Status == 0) << first.Output;
    cuts += first.Status == kPowerCutStatus;
    const auto [repair, report] = card.Repair();
    EXPECT_EQ(repair, 0) << report;
    cut.push_back(&card);
    finish.Add(name, Update(card, "--update"));
    finish.Add("list " + name, Listing(card, name));
  }
  EXPECT_GE(cuts, 2) << "the updates ended before their power cuts";
  // The next update of each, in one run.
  const TCardRun second = RunOnCards(cut, finish.Commands(), Options());
  ASSERT_EQ(second.Status, 0) << second.Output;
  const TTreeListing fresh = Listed("fresh");
  for (const int percent : kCutPercents) {
    const std::string name = "cut" + std::to_string(percent);
    SCOPED_TRACE(name);
    const TStepResult& update = finish.Of(second, name);
    EXPECT_EQ(update.Status, 0) << update.Output;
    if (update.Status != 0 || finish.Of(second, "list " + name).Status != 0) continue;
    const TTreeListing finished = Listed(name);
    EXPECT_EQ(ContentDifference(finished, fresh), "");
    EXPECT_EQ(OrderDifference(finished, fresh), "");
  }
}

TEST_F(VfatCard, AnUpdateKeepsTheUsersFilesAndRefusesARecordThatLeadsOut) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const char* step : {"list fresh", "base", "list base", "base record"}) Done(step);
  // A disk image of a game that the second version removes, saved into by
  // the device; notes of the user's at the top and in that game's folder.
  const std::string record = ReadBytes(tmp_->Path() + "base-record.txt");
  const std::unique_ptr<TManifest> base = ParseManifest(record, "base-record.txt");
  std::set<std::string> zips;
  for (const tools::TSampleGame& game : v2_->Collection.Games) zips.insert(game.ZipPath.substr(v2_->Collection.GamesDir.size()));
  std::string folder, image;
  for (size_t j = 0; j < base->Games.size() && image.empty(); ++j) {
    if (zips.count(base->Games[j].Zip)) continue;
    for (const TManifestFile& file : base->Game(j).Files) {
      if (file.Name.ends_with(".d64") && file.Name.find('/') == std::string::npos) {
        folder = base->Games[j].Path;
        image = folder + file.Name;
        break;
      }
    }
  }
  ASSERT_NE(image, "");
  const std::map<std::string, std::string> own = {
      {"My Own Stuff/notes.txt", "notes"}, {"README-mine.txt", "mine"}, {folder + "highscores.txt", "999"}};
  const std::string kept = image.substr(0, image.size() - 4) + " (kept).d64";
  // A record whose game folder lies above the output folder, or is the root.
  const auto spoiled = [&](const std::string& path) {
    std::string text = record;
    size_t at = text.find("\ngame\t");
    for (int tab = 0; tab < 6; ++tab) at = text.find('\t', at + 1);
    text.replace(at + 1, text.find('\t', at + 1) - at - 1, path);
    std::string file = tmp_->Path() + "spoiled-" + std::to_string(path.size()) + ".txt";
    std::ofstream(file, std::ios::binary) << text;
    return file;
  };
  const std::string outside = tmp_->Path() + "outside/";
  std::filesystem::create_directories(outside);
  std::ofstream(outside + "keep.txt") << "keep";

  TVfatCard mine(*base_, "mine"), refused(*base_, "refused");
  const std::string out = mine.Path() + OutputFolderName(fnsSD2IEC) + "/";
  const std::string refusedOut = refused.Path() + OutputFolderName(fnsSD2IEC) + "/";
  std::string script = "set -e; cd \"$1\"; mkdir 'My Own Stuff'; printf '%s' saved >>" + ShellQuote(image) + "\n";
  for (const auto& [path, text] : own) script += "printf '%s' " + ShellQuote(text) + " >" + ShellQuote(path) + "\n";
  TRunPlan plan;
  plan.Add("spoil", {"sh", "-c", script, "sh", out});
  plan.Add("update", Update(mine, "--update"));
  plan.Add("list", Listing(mine, "mine"));
  for (const std::string path : {"../../outside/", "/"}) {
    plan.Add("record " + path, {"cp", spoiled(path), refusedOut + "vqsd-manifest.txt"});
    plan.Add("update " + path, Update(refused, "--update"));
    plan.Add("list " + path, Listing(refused, "refused-" + std::to_string(path.size())));
  }
  const TCardRun run = RunOnCards({&mine, &refused}, plan.Commands(), Options());
  ASSERT_EQ(run.Status, 0) << run.Output;
  for (const char* step : {"spoil", "update", "list"}) ASSERT_EQ(plan.Of(run, step).Status, 0) << plan.Of(run, step).Output;
  const std::string& said = plan.Of(run, "update").Output;
  EXPECT_NE(said.find("3 entries the job did not write were kept."), std::string::npos) << said;
  EXPECT_NE(said.find("1 files changed on the card were kept"), std::string::npos) << said;

  // The user's files and the saved image are there, after the job's own
  // entries; without them the card is the fresh card, in its order.
  TTreeListing got = Listed("mine");
  for (const auto& [path, text] : own) EXPECT_EQ(got.Files.count(path), 1u) << path;
  ASSERT_EQ(got.Files.count(kept), 1u) << kept;
  // "SIZE SUM": the image with what the device saved.
  EXPECT_EQ(std::stol(got.Files[kept]), std::stol(Listed("base").Files.at(image)) + 5);
  const std::vector<std::string>& top = got.Folders[""];
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ((std::set<std::string>{top.end()[-2], top.end()[-1]}), (std::set<std::string>{"My Own Stuff/", "README-mine.txt"}));
  const auto drop = [&got](const std::string& path) {
    const size_t slash = path.rfind('/', path.size() - 2);
    const std::string container = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::erase(got.Folders[container], path.substr(container.size()));
    got.Files.erase(path);
    got.Folders.erase(path);
  };
  for (const auto& [path, text] : own) drop(path);
  drop(kept);
  drop("My Own Stuff/");
  // The removed game's folder stays for what it holds of the user's.
  if (got.Folders[folder].empty()) drop(folder);
  EXPECT_EQ(ContentDifference(got, Listed("fresh")), "");
  EXPECT_EQ(OrderDifference(got, Listed("fresh")), "");

  // A record that leads out of the output folder is refused, naming its
  // line, and nothing changes, on the card or beside it.
  for (const std::string path : {"../../outside/", "/"}) {
    SCOPED_TRACE(path);
    const TStepResult& update = plan.Of(run, "update " + path);
    EXPECT_EQ(update.Status, 2) << update.Output;
    EXPECT_NE(update.Output.find("vqsd-manifest.txt\": line "), std::string::npos) << update.Output;
    const TTreeListing after = Listed("refused-" + std::to_string(path.size()));
    EXPECT_EQ(ContentDifference(after, Listed("base")), "");
    EXPECT_EQ(OrderDifference(after, Listed("base")), "");
  }
  EXPECT_EQ(ReadBytes(outside + "keep.txt"), "keep");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside), {}), 1);
}

// The command that copies the tree `from`, listed as `listing`, into `to`
// (made here), every folder's entries made in the reverse of the order the
// listing gives, as a file manager may copy a tree; files get new times.
// One mkdir and one cp a folder: each program started costs time in
// user-mode Linux.
TCommand ReversedCopy(const TTreeListing& listing, const std::string& from, const std::string& to,
                      const std::string& scriptFile) {
  std::string script = "set -e; mkdir " + ShellQuote(to) + "\n";
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string folder = pending.back();
    pending.pop_back();
    std::vector<std::string> names = listing.Folders.at(folder);
    std::reverse(names.begin(), names.end());
    // A folder's files come first in the reversed order only where they
    // came last: the output folder's game list and record.
    std::string files, folders;
    const std::string target = to + folder, source = from + folder;
    for (const std::string& name : names) {
      if (name.ends_with("/")) {
        folders += " ";
        folders += ShellQuote(target + name);
        pending.push_back(folder + name);
      } else {
        files += " ";
        files += ShellQuote(source + name);
      }
    }
    if (!files.empty()) script += "cp" + files + " " + ShellQuote(target) + "\n";
    if (!folders.empty()) script += "mkdir" + folders + "\n";
  }
  std::ofstream(scriptFile, std::ios::binary) << script;
  return {"sh", scriptFile};
}

// The bytes of the files of `listing` ("SIZE SUM") under `folder`.
long long BytesUnder(const TTreeListing& listing, const std::string& folder) {
  long long bytes = 0;
  for (const auto& [path, sum] : listing.Files) {
    if (path.starts_with(folder)) bytes += std::stoll(sum);
  }
  return bytes;
}

TEST_F(VfatCard, VerifyNamesWhatChangedAndAnUpdatePutsACopiedTreeBackInOrder) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const char* step : {"base", "list base", "base record"}) Done(step);
  const TTreeListing base = Listed("base");
  const std::unique_ptr<TManifest> record = ParseManifest(ReadBytes(tmp_->Path() + "base-record.txt"), "record");
  ASSERT_GE(record->Games.size(), 3u);
  // A disk image with one byte flipped, a file deleted, a file added.
  const TManifestGame flipped = record->Game(0), deleted = record->Game(1), added = record->Game(2);
  ASSERT_FALSE(flipped.Files.empty());
  ASSERT_FALSE(deleted.Files.empty());
  const std::string image = flipped.Path + flipped.Files[0].Name, gone = deleted.Path + deleted.Files[0].Name;
  const std::string out = OutputFolderName(fnsSD2IEC) + "/";
  TVfatCard damaged(*base_, "damaged"), reversed(tmp_->Path(), "reversed", kCardMegabytes);
  const TCommand verifyDamaged = {VQ_VQSD, "--dest", damaged.Path(), "--style", "sd2iec", "--verify", "-q"};
  const TCommand verifyReversed = {VQ_VQSD, "--dest", reversed.Path(), "--style", "sd2iec", "--verify", "-q"};
  TRunPlan plan;
  // The reversed card first: the sectors written count on it.
  plan.Add("copy", ReversedCopy(base, base_->Path() + out, reversed.Path() + out, tmp_->Path() + "reversed-copy.sh"));
  plan.Add("verify reversed", verifyReversed);
  plan.Add("sync before", {"sync"});
  plan.Add("sectors before", SectorsWrittenCommand(tmp_->Path() + "resort-before"));
  TCommand update = First(reversed);
  update.push_back("--update");
  plan.Add("update", update);
  plan.Add("sync after", {"sync"});
  plan.Add("sectors after", SectorsWrittenCommand(tmp_->Path() + "resort-after"));
  plan.Add("list reversed", Listing(reversed, "reversed"));
  plan.Add("verify sorted", verifyReversed);
  plan.Add("verify clean", verifyDamaged);
  plan.Add("add", {"sh", "-c", "printf '%s' 999 >\"$1\"", "sh", damaged.Path() + out + added.Path + "scores.txt"});
  plan.Add("verify added", verifyDamaged);
  plan.Add("damage", {"sh", "-c", "printf '\\377' | dd of=\"$1\" bs=1 seek=9 conv=notrunc 2>/dev/null && rm \"$2\"",
                      "sh", damaged.Path() + out + image, damaged.Path() + out + gone});
  plan.Add("verify damaged", verifyDamaged);
  // The kernel writes back as it does by default: the bytes are those a
  // user's machine sends to the card.
  const TCardRun run = RunOnCards({&reversed, &damaged, base_}, plan.Commands());
  ASSERT_EQ(run.Status, 0) << run.Output;
  for (const char* step : {"copy", "sectors before", "update", "sectors after", "list reversed", "add", "damage"}) {
    ASSERT_EQ(plan.Of(run, step).Status, 0) << step << ": " << plan.Of(run, step).Output;
  }
  // Clean, then an added file alone (status 0, named), then damage.
  const TStepResult &clean = plan.Of(run, "verify clean"), &withAdded = plan.Of(run, "verify added"),
                    &withDamage = plan.Of(run, "verify damaged");
  EXPECT_EQ(clean.Status, 0) << clean.Output;
  EXPECT_NE(clean.Output.find("every file matches its record and every folder is in order"), std::string::npos)
      << clean.Output;
  EXPECT_EQ(withAdded.Status, 0) << withAdded.Output;
  EXPECT_NE(withAdded.Output.find("1 entries the job did not write"), std::string::npos) << withAdded.Output;
  EXPECT_EQ(withDamage.Status, 1) << withDamage.Output;
  EXPECT_NE(withDamage.Output.find("1 missing, 1 changed, 0 folders out of order"), std::string::npos)
      << withDamage.Output;

  // The copy in reverse order: every folder out of order, then, after the
  // update, listed as the fresh card is, its data not written again.
  const TStepResult& before = plan.Of(run, "verify reversed");
  EXPECT_EQ(before.Status, 1) << before.Output;
  EXPECT_NE(before.Output.find("0 missing, 0 changed, "), std::string::npos) << before.Output;
  EXPECT_EQ(before.Output.find(" 0 folders out of order"), std::string::npos) << before.Output;
  EXPECT_EQ(plan.Of(run, "verify sorted").Status, 0) << plan.Of(run, "verify sorted").Output;
  const TTreeListing sorted = Listed("reversed");
  EXPECT_EQ(ContentDifference(sorted, base), "");
  EXPECT_EQ(OrderDifference(sorted, base), "");
  const long long written = 512 * (std::stoll(ReadBytes(tmp_->Path() + "resort-after")) -
                                   std::stoll(ReadBytes(tmp_->Path() + "resort-before")));
  const long long fresh = BytesUnder(base, "");
  EXPECT_LT(written * 100, fresh) << written << " bytes written by the update, " << fresh << " by a fresh run";
  std::printf("re-sorting the reversed card wrote %lld bytes; the fresh run's files hold %lld\n", written, fresh);
  for (const char* step : {"copy", "verify reversed", "update", "verify clean"}) {
    std::printf("%s: %ld ms\n", step, plan.Of(run, step).Milliseconds);
  }
}

// Where a fresh job is cut off: shares of what a whole run writes.
constexpr int kJobCutPercents[] = {20, 50, 80};

TEST_F(VfatCard, AFreshJobCutOffByAPowerFailureIsResumedByAnUpdate) {
  ASSERT_EQ(run_->Status, 0) << run_->Output;
  for (const char* step : {"first", "sectors before", "list base"}) Done(step);
  // The first card's sectors after a fresh run of the first version: what
  // a whole run writes.
  const long long freshSectors = std::stoll(ReadBytes(tmp_->Path() + "sectors-before"));
  const TTreeListing base = Listed("base");
  const long long total = BytesUnder(base, "");
  std::vector<std::unique_ptr<TVfatCard>> cards;
  std::vector<TVfatCard*> cut;
  TRunPlan finish;
  int cuts = 0;
  for (const int percent : kJobCutPercents) {
    const std::string name = "job" + std::to_string(percent);
    SCOPED_TRACE(name);
    TVfatCard& card = *cards.emplace_back(std::make_unique<TVfatCard>(tmp_->Path(), name, kCardMegabytes));
    const TCardRun first = card.Run({First(card)}, Options(SectorsWrittenReach(freshSectors * percent / 100)));
    ASSERT_TRUE(first.Status == kPowerCutStatus || first.Status == 0) << first.Output;
    cuts += first.Status == kPowerCutStatus;
    const auto [repair, report] = card.Repair();
    EXPECT_EQ(repair, 0) << report;
    const int index = static_cast<int>(cut.size());
    cut.push_back(&card);
    TCommand update = First(card);
    update.push_back("--update");
    finish.Add("list cut " + name, Listing(card, name + "-cut"));
    finish.Add("record " + name, {"sh", "-c", "cp \"$1\" \"$2\" || true", "sh",
                                  card.Path() + OutputFolderName(fnsSD2IEC) + "/" + kUnfinishedManifestName,
                                  tmp_->Path() + name + "-record.txt"});
    finish.Add("sync before " + name, {"sync"});
    finish.Add("sectors before " + name, SectorsWrittenCommand(tmp_->Path() + name + "-before", index));
    finish.Add(name, update);
    finish.Add("sync " + name, {"sync"});
    finish.Add("sectors after " + name, SectorsWrittenCommand(tmp_->Path() + name + "-after", index));
    finish.Add("list " + name, Listing(card, name));
  }
  EXPECT_GE(cuts, 2) << "the jobs ended before their power cuts";
  // The kernel writes back as it does by default: the bytes are those a
  // user's machine sends to the card.
  const TCardRun second = RunOnCards(cut, finish.Commands());
  ASSERT_EQ(second.Status, 0) << second.Output;
  // The largest game: what the job may write again of the game it was at.
  std::map<std::string, long long> games;
  for (const auto& [path, sum] : base.Files) {
    if (path.find('/') != std::string::npos) games[path.substr(0, path.rfind('/') + 1)] += std::stoll(sum);
  }
  long long largest = 0;
  for (const auto& [folder, bytes] : games) largest = std::max(largest, bytes);
  const long long own = BytesUnder(base, "") - BytesUnder(base, "/") - [&] {
    long long inFolders = 0;
    for (const auto& [folder, bytes] : games) inFolders += bytes;
    return inFolders;
  }();
  for (const int percent : kJobCutPercents) {
    const std::string name = "job" + std::to_string(percent);
    SCOPED_TRACE(name);
    const TStepResult& update = finish.Of(second, name);
    ASSERT_EQ(update.Status, 0) << update.Output;
    const TTreeListing finished = Listed(name);
    EXPECT_EQ(ContentDifference(finished, base), "");
    EXPECT_EQ(OrderDifference(finished, base), "");
    // What the cut job had not finished: the games its record on the card
    // does not list (a power cut can take the record's last lines with it),
    // and those it lists whose files are not whole. Its share of a whole
    // run's writing, one game more, and the game list and record.
    const TTreeListing left = Listed(name + "-cut");
    std::set<std::string> recorded;
    try {
      const auto record = ParseUnfinishedManifest(ReadBytes(tmp_->Path() + name + "-record.txt"), "record");
      for (const TManifestEntry& game : record->Games) recorded.insert(game.Path);
    } catch (const Error&) {
      // No record reached the card: nothing was finished.
    }
    std::set<std::string> notWhole;
    for (const auto& [path, sum] : base.Files) {
      const auto there = left.Files.find(path);
      if (there == left.Files.end() || there->second != sum) notWhole.insert(path.substr(0, path.rfind('/') + 1));
    }
    long long unfinished = 0;
    for (const auto& [folder, bytes] : games) {
      if (!recorded.count(folder) || notWhole.count(folder)) unfinished += bytes;
    }
    const long long written = 512 * (std::stoll(ReadBytes(tmp_->Path() + name + "-after")) -
                                     std::stoll(ReadBytes(tmp_->Path() + name + "-before")));
    const long long allowed = 512 * freshSectors * unfinished / total + largest + own;
    EXPECT_LE(written, allowed) << "unfinished " << unfinished << " of " << total;
    std::printf("%s: the resume wrote %lld bytes; %zu games recorded, unfinished %lld of %lld bytes, allowed %lld\n",
                name.c_str(), written, recorded.size(), unfinished, total, allowed);
  }
}

}  // namespace
}  // namespace vq::test
