#include "tools/sample_collection.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <map>
#include <set>
#include <thread>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "tools/game_writer.h"
#include "tools/random.h"
#include "tools/sample_images.h"
#include "tools/sample_plan.h"
#include "tools/sample_titles.h"

namespace vq::tools {

namespace {

// The seed of game `index`; index -1 gives the seed of the serial plan.
uint64_t GameSeed(uint32_t seed, int index) {
  TRandom mix((static_cast<uint64_t>(seed) << 32) ^ static_cast<uint32_t>(index) ^ 0x5EED000000000000ull);
  return mix.Next();
}

// Sub-folders of a letter folder that hold a few zips.
constexpr const char* kSubFolders[] = {"Budget", "Compilations", "Previews", "Multi-Disk",
                                       "Unreleased", "Cartridges"};

// HVSC composer folders with the author name their tunes carry.
struct TMusician {
  const char* Folder;
  const char* Author;
};
constexpr TMusician kMusicians[] = {
    {"Hubbard_Rob", "Rob Hubbard"},       {"Galway_Martin", "Martin Galway"},
    {"Daglish_Ben", "Ben Daglish"},       {"Tel_Jeroen", "Jeroen Tel"},
    {"Huelsbeck_Chris", "Chris Huelsbeck"}, {"Whittaker_David", "David Whittaker"},
    {"Follin_Tim", "Tim Follin"},         {"Gray_Matt", "Matt Gray"},
    {"Rowlands_Steve", "Steve Rowlands"}, {"Cooksey_Mark", "Mark Cooksey"},
    {"Dunn_Jonathan", "Jonathan Dunn"},   {"Brennan_Neil", "Neil Brennan"},
    {"Ouwehand_Reyn", "Reyn Ouwehand"},   {"Bjerregaard_Johannes", "Johannes Bjerregaard"},
    {"Tjoelker_Edwin", "Edwin Tjoelker"}, {"Gallagher_Fred", "Fred Gallagher"},
    {"Pasquale_Dario", "Dario Pasquale"}, {"Clarke_Peter", "Peter Clarke"},
    {"Lowe_Richard", "Richard Lowe"},     {"Zulu_Sly", "Sly Zulu"}};

// `text` with the characters XML gives a meaning escaped.
std::string XmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A tune of the HVSC tree.
struct TTune {
  std::string Path;    // "/MUSICIANS/H/Hubbard_Rob/Commando", case as on disk
  int Kind = 0;        // 0 missing, 1 ".sid", 2 ".prg" only
  std::string Title;   // the game title it comes from
  const char* Author = "";
  uint64_t Seed = 0;
};

class TCollectionBuilder {
 public:
  TCollectionBuilder(const std::string& outDir, const TSampleOptions& options)
      : options_(options), rng_(GameSeed(options.Seed, -1)) {
    out_ = IncludeTrailingDelimiter(outDir);
    result_.GamesDir = out_ + "games/";
    if (options.WithHvsc) result_.HvscDir = out_ + "hvsc/";
    if (options.WithRomList) result_.RomListFile = out_ + "romlist.xml";
  }

  TSampleCollection Run();

 private:
  void PlanGame(int index, TSpecial special, int32_t& nextID);
  void PlanSid(TSampleGame& game, TGamePlan& plan, int index);
  void MakeFolder(const std::string& path);
  void WriteGames();
  void WriteHvsc();
  void WriteRomList();

  const TSampleOptions options_;
  TRandom rng_;
  std::string out_;
  TSampleCollection result_;
  std::vector<TGamePlan> plans_;
  std::map<std::string, TTune> tunes_;  // by lower-case path
  std::set<std::string> zipNames_;      // lower-case zip paths taken
  std::set<std::string> folders_;       // folders created
};

void TCollectionBuilder::MakeFolder(const std::string& path) {
  if (!folders_.insert(path).second) return;
  if (!ForceDirectories(path)) throw SystemError(path, errno);
}

void TCollectionBuilder::PlanSid(TSampleGame& game, TGamePlan& plan, int index) {
  const TSpecial special = plan.Special;
  const int forcedKind = special == spSidBackslash || special == spSidCase ? 1
                         : special == spSidPrg                            ? 2
                         : special == spSidMissing                        ? 0
                                                                          : -1;
  const TMusician& m = kMusicians[rng_.Below(std::size(kMusicians))];
  const bool inGames = rng_.Percent(12);
  std::string tune = TuneName(game.Title);
  TTune* t = nullptr;
  for (;;) {
    std::string path;
    if (!inGames) {
      path = std::string("/MUSICIANS/") + m.Folder[0] + "/" + m.Folder + "/" + tune;
    } else {
      const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(tune[0])));
      const char* range = c <= '9' ? "0-9" : c <= 'F' ? "A-F" : c <= 'L' ? "G-L" : c <= 'R' ? "M-R" : "S-Z";
      path = std::string("/GAMES/") + range + "/" + tune;
    }
    auto [it, fresh] = tunes_.try_emplace(AsciiLower(path));
    t = &it->second;
    if (fresh) {
      const uint32_t r = rng_.Below(100);
      const int kind = forcedKind >= 0 ? forcedKind : r < 80 ? 1 : r < 86 ? 2 : 0;
      *t = {path, kind, game.Title, m.Author, rng_.Next()};
    }
    if (forcedKind < 0 || t->Kind == forcedKind) break;
    tune += '_';
    tune += std::to_string(index);
  }
  std::string text = t->Path;
  const uint32_t form = special == spSidBackslash ? 0 : special == spSidCase ? 4 : rng_.Below(100);
  if (form < 4) {
    std::replace(text.begin(), text.end(), '/', '\\');
  } else if (form < 8) {
    const size_t last = text.rfind('/');
    text = AsciiUpper(text.substr(0, last)) + AsciiLower(text.substr(last));
  }
  plan.SidUpperSuffix = rng_.Percent(4);
  game.SidText = text;
  if (special != spSidOneBlank) {
    game.SidPath = text;
    std::replace(game.SidPath.begin(), game.SidPath.end(), '\\', '/');
  }
  if (options_.WithHvsc && t->Kind != 0) {
    game.SidInHvsc = true;
    game.SidFileOnDisk = t->Path.substr(1) + (t->Kind == 1 ? ".sid" : ".prg");
  }
}

void TCollectionBuilder::PlanGame(int index, TSpecial special, int32_t& nextID) {
  TSampleGame& game = result_.Games[static_cast<size_t>(index)];
  TGamePlan& plan = plans_[static_cast<size_t>(index)];
  plan.Seed = GameSeed(options_.Seed, index);
  plan.Special = special;

  if (index >= 10 && rng_.Percent(3)) {
    const std::string& earlier = result_.Games[rng_.Below(static_cast<uint32_t>(index))].Title;
    game.Title = rng_.Percent(25) ? AsciiUpper(earlier) : earlier;
  } else {
    game.Title = MakeTitle(rng_);
  }
  nextID += rng_.Range(1, 3);
  game.UniqueID = nextID;
  const uint32_t idForm = rng_.Below(10);
  game.UniqueIDText = Format(idForm < 7 ? "%05d" : idForm < 9 ? "%d" : "%07d", nextID);
  if (special == spNoID1 || special == spNoID2 || rng_.Percent(1)) {
    game.UniqueID = -1;
    game.UniqueIDText.clear();
  } else if (special == spBigID) {
    game.UniqueID = -1;
    game.UniqueIDText = "2147483648";
  }
  switch (special) {
    case spNotAZip: game.Flaw = sfNotAZip; break;
    case spTruncated: game.Flaw = sfTruncated; break;
    case spCorruptNfo: game.Flaw = sfCorruptNfo; break;
    case spNoNfo: game.Flaw = sfNoNfo; break;
    case spNoName: game.Flaw = sfNoName; break;
    default: break;
  }
  game.Valid = game.Flaw == sfNone;
  game.Hidden = special == spHidden;
  if (special == spNotAZip) {
    game.Title.clear();
    game.UniqueID = -1;
    game.UniqueIDText.clear();
  }
  plan.BaseName = FileNamePart(game.Title);

  std::string folder = result_.GamesDir;
  const std::string group = GroupFolder(plan.BaseName);
  if (special == spHidden) {
    folder += ".hidden/";
  } else if (special == spNotAZip) {
    // top level of the games folder
  } else if (special == spZipFolder) {
    folder += group + "/Misc.zip/";
  } else if (special == spSubFolder1 || special == spSubFolder2 || special == spSubFolder3 ||
             rng_.Percent(2)) {
    folder += group + "/" + rng_.Pick(kSubFolders) + "/";
  } else {
    folder += group + "/";
  }
  MakeFolder(folder);
  std::string name = special == spNotAZip ? std::string("notazip")
                                          : plan.BaseName + "_" +
                                                (game.UniqueIDText.empty() ? "n" + std::to_string(index)
                                                                           : game.UniqueIDText);
  if (special == spDotFile) name = "." + name;
  const char* ext = special == spUpperExt ? ".ZIP" : ".zip";
  while (!zipNames_.insert(AsciiLower(folder + name + ext)).second) name += "_b";
  game.ZipPath = folder + name + ext;

  const bool forcedSid = special == spSidOneBlank || special == spSidBackslash || special == spSidCase ||
                         special == spSidPrg || special == spSidMissing;
  if (forcedSid || (special != spNotAZip && rng_.Percent(35))) PlanSid(game, plan, index);
  game.InRomList = options_.WithRomList && game.Valid && !game.Hidden && game.UniqueID >= 0 && rng_.Percent(50);
}

void TCollectionBuilder::WriteGames() {
  const size_t count = result_.Games.size();
  const unsigned threads = count < 64 ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::exception_ptr> errors(threads);
  const auto work = [&](unsigned t) {
    TGameWriter writer;
    try {
      for (size_t i = next++; i < count && !failed; i = next++) writer.Write(plans_[i], result_.Games[i]);
    } catch (...) {
      errors[t] = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& t : pool) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

void TCollectionBuilder::WriteHvsc() {
  for (const TMusician& m : kMusicians) {
    const std::string path = std::string("/MUSICIANS/") + m.Folder[0] + "/" + m.Folder + "/Demo_Tune";
    tunes_.try_emplace(AsciiLower(path), TTune{path, 1, "Demo Tune", m.Author, HashText(path)});
  }
  for (const auto& [key, tune] : tunes_) {
    if (tune.Kind == 0) continue;
    const std::string file = result_.HvscDir + tune.Path.substr(1) + (tune.Kind == 1 ? ".sid" : ".prg");
    MakeFolder(ExtractFilePath(file));
    const std::string data = BuildPsid(tune.Title, tune.Author, "1987", tune.Seed, tune.Kind == 2);
    WriteWholeFile(file, data.data(), data.size());
  }
  MakeFolder(result_.HvscDir + "DOCUMENTS/");
  const std::string readme = "High Voltage SID Collection (sample)\r\n";
  WriteWholeFile(result_.HvscDir + "DOCUMENTS/hv_sids.txt", readme.data(), readme.size());
}

void TCollectionBuilder::WriteRomList() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<romlist>\r\n";
  for (const TSampleGame& game : result_.Games) {
    if (!game.InRomList) continue;
    xml += "  <game name=\"" + std::to_string(game.UniqueID) + "\">\r\n";
    xml += "    <description>" + XmlEscape(game.Title) + "</description>\r\n";
    xml += "    <platform>Commodore 64</platform>\r\n  </game>\r\n";
  }
  xml += "</romlist>\r\n";
  WriteWholeFile(result_.RomListFile, xml.data(), xml.size());
}

TSampleCollection TCollectionBuilder::Run() {
  const int count = std::max(0, options_.GameCount);
  result_.Games.resize(static_cast<size_t>(count));
  plans_.resize(static_cast<size_t>(count));
  std::vector<TSpecial> specials(static_cast<size_t>(count), spNone);
  if (count >= kMinSpecialGames) {
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    for (int k = 1; k < static_cast<int>(spCount); ++k) {
      const size_t j = static_cast<size_t>(k - 1) + rng_.Below(static_cast<uint32_t>(count - k + 1));
      std::swap(order[static_cast<size_t>(k - 1)], order[j]);
      specials[static_cast<size_t>(order[static_cast<size_t>(k - 1)])] = static_cast<TSpecial>(k);
    }
  }
  MakeFolder(result_.GamesDir);
  int32_t nextID = count;
  for (int i = 0; i < count; ++i) PlanGame(i, specials[static_cast<size_t>(i)], nextID);
  WriteGames();
  if (options_.WithHvsc) WriteHvsc();
  if (options_.WithRomList) WriteRomList();
  return std::move(result_);
}

}  // namespace

TSampleCollection GenerateSampleCollection(const std::string& outDir, const TSampleOptions& options) {
  return TCollectionBuilder(outDir, options).Run();
}

}  // namespace vq::tools
