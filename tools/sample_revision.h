#pragma once

// A later version of a generated collection, for the tests and benchmarks of
// an update in place: the zips of the first version, each linked or copied
// with its modification time, less a few removed ones, with a few rewritten
// in place and a few new ones. New games are titled after existing ones (a
// sequel, or the very same title under another Unique-ID), so they land in
// the middle of the letter folders, shift their subfolder ranges, and make
// the duplicate pass rename the games they share a title with.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "base/file_system.h"
#include "base/text.h"
#include "tools/game_writer.h"
#include "tools/random.h"
#include "tools/sample_collection.h"
#include "tools/sample_images.h"
#include "tools/sample_titles.h"

namespace vq::tools {

// What changes between the two versions.
struct TRevisionOptions {
  uint32_t Seed = 1;
  // Shares of the games that the changes may pick (see Eligible).
  double AddedPercent = 2;      // new zips titled as sequels of existing games
  double ChangedPercent = 1;    // zips rewritten with other members, title, ID and tune kept
  double RemovedPercent = 0.5;  // zips left out
  int Duplicates = 4;           // new zips with the title of an existing game and an ID of their own
  int Crowded = 0;              // more sequels, of the first titles of the letter with most games
  // The games that may be removed, changed or named after; every valid one
  // outside hidden folders when empty.
  std::function<bool(const TSampleGame&)> Eligible;
};

// The second version and what was done to make it.
struct TRevision {
  TSampleCollection Collection;  // HvscDir is the first version's; no RomLister export
  int Added = 0;                 // sequels
  int Duplicates = 0;            // same titles, new IDs
  int Changed = 0;
  int Removed = 0;
};

// Writes the second version of `from` under `outDir` (which must not exist
// yet): outDir/games/... Throws vq::Error or std::filesystem errors.
inline TRevision ReviseSampleCollection(const TSampleCollection& from, const std::string& outDir,
                                        const TRevisionOptions& options) {
  namespace fs = std::filesystem;
  TRandom rng(HashText("revision") ^ options.Seed);
  std::vector<size_t> pool;
  int32_t lastID = 0;
  for (size_t i = 0; i < from.Games.size(); ++i) {
    const TSampleGame& game = from.Games[i];
    lastID = std::max(lastID, game.UniqueID);
    if (game.Valid && !game.Hidden && game.UniqueID >= 0 && (!options.Eligible || options.Eligible(game))) {
      pool.push_back(i);
    }
  }
  for (size_t i = pool.size(); i > 1; --i) std::swap(pool[i - 1], pool[rng.Below(static_cast<uint32_t>(i))]);
  // The crowded games go first: the first titles, in ASCII order, of the
  // most common first letter; sequels of them fill that letter's first
  // subfolder, whose end moves.
  std::vector<size_t> crowded;
  if (options.Crowded > 0) {
    const auto letter = [&](size_t i) { return AsciiUpper(from.Games[i].Title.substr(0, 1)); };
    std::map<std::string, int> letters;
    for (const size_t i : pool) ++letters[letter(i)];
    const std::string most =
        std::max_element(letters.begin(), letters.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    for (const size_t i : pool) {
      if (letter(i) == most) crowded.push_back(i);
    }
    std::sort(crowded.begin(), crowded.end(), [&](size_t a, size_t b) {
      return AsciiLower(from.Games[a].Title) < AsciiLower(from.Games[b].Title);
    });
    crowded.resize(std::min(crowded.size(), static_cast<size_t>(options.Crowded)));
    std::erase_if(pool, [&](size_t i) { return std::find(crowded.begin(), crowded.end(), i) != crowded.end(); });
  }
  const auto share = [&](double percent) {
    return static_cast<size_t>(std::lround(static_cast<double>(pool.size()) * percent / 100));
  };
  // The pool is cut in turn: removed, changed, then the games new ones are named after.
  size_t next = 0;
  const auto take = [&](size_t count) {
    const size_t first = std::min(next, pool.size());
    next = std::min(next + count, pool.size());
    return std::vector<size_t>(pool.begin() + static_cast<long>(first), pool.begin() + static_cast<long>(next));
  };
  const std::vector<size_t> removed = take(share(options.RemovedPercent));
  const std::vector<size_t> changed = take(share(options.ChangedPercent));
  const std::vector<size_t> sequels = take(share(options.AddedPercent));
  const std::vector<size_t> twins = take(static_cast<size_t>(std::max(0, options.Duplicates)));

  TRevision result;
  TSampleCollection& to = result.Collection;
  to.GamesDir = IncludeTrailingDelimiter(outDir) + "games/";
  to.HvscDir = from.HvscDir;
  result.Removed = static_cast<int>(removed.size());
  result.Changed = static_cast<int>(changed.size());
  // Paths below the games folder of each version.
  const auto relative = [&](const std::string& path) { return path.substr(from.GamesDir.size()); };
  std::vector<std::string> skipped;
  skipped.reserve(removed.size());
  for (const size_t i : removed) skipped.push_back(relative(from.Games[i].ZipPath));
  std::sort(skipped.begin(), skipped.end());
  // Every other file keeps its bytes and its time: a hard link, or a copy.
  for (const auto& entry : fs::recursive_directory_iterator(from.GamesDir)) {
    const std::string path = relative(entry.path().string());
    if (entry.is_directory()) {
      fs::create_directories(to.GamesDir + path);
    } else if (!std::binary_search(skipped.begin(), skipped.end(), path)) {
      std::error_code linkError;
      fs::create_hard_link(entry.path(), to.GamesDir + path, linkError);
      if (linkError) {
        fs::copy_file(entry.path(), to.GamesDir + path);
        fs::last_write_time(to.GamesDir + path, fs::last_write_time(entry.path()));
      }
    }
  }
  TGameWriter writer;
  // Writes `game` afresh from a seed of its own, its members counted anew.
  const auto write = [&](TSampleGame& game) {
    TGamePlan plan;
    plan.Seed = HashText(game.ZipPath.substr(to.GamesDir.size())) ^ options.Seed;
    plan.BaseName = FileNamePart(game.Title);
    game.Entries.clear();
    game.D64Count = game.ImageCount = game.UnhandledCount = game.TapeFileCount = 0;
    game.BadTape = false;
    fs::remove(game.ZipPath);  // never written through a link into the first version
    writer.Write(plan, game);
  };
  std::vector<int> fate(from.Games.size(), 0);  // 1 removed, 2 changed
  for (const size_t i : removed) fate[i] = 1;
  for (const size_t i : changed) fate[i] = 2;
  for (size_t i = 0; i < from.Games.size(); ++i) {
    if (fate[i] == 1) continue;
    TSampleGame& game = to.Games.emplace_back(from.Games[i]);
    game.ZipPath = to.GamesDir + relative(game.ZipPath);
    if (fate[i] == 2) write(game);
  }
  constexpr const char* kSequels[] = {" II", " Deluxe", " 2", " Plus", " Gold", " - The Return"};
  const auto add = [&](const TSampleGame& model, const std::string& title) {
    TSampleGame game;
    game.Title = title;
    game.UniqueID = ++lastID;
    game.UniqueIDText = Format("%05d", game.UniqueID);
    game.SidText = model.SidText;
    game.SidPath = model.SidPath;
    game.SidInHvsc = model.SidInHvsc;
    game.SidFileOnDisk = model.SidFileOnDisk;
    const std::string base = FileNamePart(title);
    fs::create_directories(to.GamesDir + GroupFolder(base));
    game.ZipPath = to.GamesDir + GroupFolder(base) + "/" + base + "_" + game.UniqueIDText + ".zip";
    write(to.Games.emplace_back(std::move(game)));
  };
  for (const size_t i : sequels) add(from.Games[i], from.Games[i].Title + rng.Pick(kSequels));
  for (const size_t i : crowded) add(from.Games[i], from.Games[i].Title + " II");
  for (const size_t i : twins) add(from.Games[i], from.Games[i].Title);
  result.Added = static_cast<int>(sequels.size() + crowded.size());
  result.Duplicates = static_cast<int>(twins.size());
  return result;
}

}  // namespace vq::tools
