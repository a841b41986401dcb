// A FAT card lists a folder's entries in the order they were made, so a job
// must make, rename and remove the entries of every folder in one order,
// however many threads read its zips. The real program runs under a preload
// library that records every change below the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "fat_image.h"
#include "temp_folder.h"
#include "tools/sample_collection.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

// Lines of an event log, or folders with their entries, by folder.
using ByFolder = std::map<std::string, std::vector<std::string>>;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct JobRun {
  int Status = -1;
  std::string Output;               // what the program printed
  std::vector<std::string> Events;  // the changes below the destination, in order
};

// Runs vqsd into `dest` with `jobs` threads, recording its changes there.
JobRun RunJob(const std::string& dest, int jobs, const std::string& args) {
  const std::string events = dest + ".events";
  const std::string output = dest + ".output";
  const std::string command = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 LD_PRELOAD='" VQ_CREATION_LOG_PRELOAD
                              "' VQ_CREATION_LOG='" + events + "' VQ_CREATION_ROOT='" + dest + "' '" VQ_VQSD
                              "' --dest '" + dest + "' --jobs " + std::to_string(jobs) + " " + args + " > '" + output +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  JobRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Output = Read(output);
  std::istringstream lines(Read(events));
  for (std::string line; std::getline(lines, line);) {
    // The check's probe file is named after the process.
    if (const size_t probe = line.find(".vqsd-probe-"); probe != std::string::npos) line.resize(probe + 11);
    run.Events.push_back(line);
  }
  return run;
}

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// A rename's two paths.
std::pair<std::string, std::string> RenamePaths(const std::string& event) {
  const size_t arrow = event.find(" -> ");
  return {event.substr(7, arrow - 7), event.substr(arrow + 4)};
}

// Each folder's events: a rename belongs to the folders of both its paths.
ByFolder EventsByFolder(const std::vector<std::string>& events) {
  ByFolder folders;
  for (const std::string& event : events) {
    if (event.starts_with("rename ")) {
      const auto [from, to] = RenamePaths(event);
      folders[Parent(from)].push_back(event);
      if (Parent(to) != Parent(from)) folders[Parent(to)].push_back(event);
    } else {
      folders[Parent(event.substr(event.find(' ') + 1))].push_back(event);
    }
  }
  return folders;
}

// Where the two runs' lists of a folder first part, "" where they never do.
std::string FirstDifference(const ByFolder& one, const ByFolder& four) {
  std::set<std::string> folders;
  for (const auto* runs : {&one, &four}) {
    for (const auto& [folder, lines] : *runs) folders.insert(folder);
  }
  const std::vector<std::string> none;
  for (const std::string& folder : folders) {
    const auto& a = one.count(folder) ? one.at(folder) : none;
    const auto& b = four.count(folder) ? four.at(folder) : none;
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (x == a.end() && y == b.end()) continue;
    return "folder \"" + folder + "\", line " + std::to_string(x - a.begin() + 1) + ": one thread: \"" +
           (x == a.end() ? "(end)" : *x) + "\", four threads: \"" + (y == b.end() ? "(end)" : *y) + "\"";
  }
  return "";
}

// Every folder under `root` with its entries as the file system lists them
// (readdir order, never sorted); folders end in '/'.
ByFolder Listings(const std::string& root) {
  ByFolder listings;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(entry.path(), root).string();
    listings[Parent(path)].push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    if (entry.is_directory()) listings[path];
  }
  return listings;
}

// The paths of the listed entries, folders without their '/'.
std::set<std::string> Entries(const ByFolder& listings) {
  std::set<std::string> entries;
  for (const auto& [folder, names] : listings) {
    for (const std::string& name : names) {
      entries.insert((folder.empty() ? "" : folder + "/") + (name.ends_with('/') ? name.substr(0, name.size() - 1) : name));
    }
  }
  return entries;
}

// The entries the events leave, replayed from nothing.
std::set<std::string> Replay(const std::vector<std::string>& events) {
  std::set<std::string> alive;
  for (const std::string& event : events) {
    const std::string path = event.substr(event.find(' ') + 1);
    if (event.starts_with("mkdir ") || event.starts_with("create ")) alive.insert(path);
    if (event.starts_with("unlink ") || event.starts_with("rmdir ")) alive.erase(path);
    if (event.starts_with("rename ")) {
      const auto [from, to] = RenamePaths(event);
      alive.erase(from);
      alive.insert(to);
    }
  }
  return alive;
}

// Both runs made the entries of every folder in one order, and the record
// is true: replayed, it gives the tree the first run left, `entries`, with
// files made in the game folders.
void ExpectSameEvents(const JobRun& one, const JobRun& four, const std::set<std::string>& entries) {
  EXPECT_EQ(FirstDifference(EventsByFolder(one.Events), EventsByFolder(four.Events)), "");
  EXPECT_EQ(Replay(one.Events), entries);
  EXPECT_GT(std::count_if(one.Events.begin(), one.Events.end(),
                          [](const std::string& event) {
                            return event.starts_with("create ") && std::count(event.begin(), event.end(), '/') >= 2;
                          }),
            0);
}

class CreationOrder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new test::TempFolder("order");
    tools::TSampleOptions sample;
    sample.Seed = 17;
    sample.GameCount = 2100;  // enough games of one letter to split its folder
    collection_ = new tools::TSampleCollection(tools::GenerateSampleCollection(tmp_->Path() + "c", sample));
  }
  static void TearDownTestSuite() {
    delete collection_;
    delete tmp_;
  }

  // Arguments for the games `take` picks, given to the job as a RomLister
  // export, and the number of them.
  template <typename Pick>
  static std::pair<std::string, int> Arguments(const std::string& name, Pick take) {
    std::string romList = "<romlist>\n";
    int games = 0;
    for (const tools::TSampleGame& game : collection_->Games) {
      if (!game.Valid || game.Hidden || game.UniqueID < 0 || !take(game)) continue;
      romList += "<game name=\"" + std::to_string(game.UniqueID) + "\">\n";
      ++games;
    }
    std::ofstream(tmp_->Path() + name) << romList << "</romlist>\n";
    return {"--source '" + collection_->GamesDir + "' --hvsc '" + collection_->HvscDir + "' --filter '" +
                tmp_->Path() + name + "' --t64 --autoswap --nfo optimize",
            games};
  }

  static test::TempFolder* tmp_;
  static tools::TSampleCollection* collection_;
};

test::TempFolder* CreationOrder::tmp_ = nullptr;
tools::TSampleCollection* CreationOrder::collection_ = nullptr;

TEST_F(CreationOrder, EveryFolderIsMadeInOneOrderWhateverTheThreads) {
  // Every game of letter T, over 250: its folder is split into subfolders;
  // and every 25th other game, in folders of their letters.
  int other = 0;
  const auto [args, games] = Arguments("mix.xml", [&other](const tools::TSampleGame& game) {
    return game.Title.starts_with('T') || ++other % 25 == 0;
  });
  ASSERT_GT(games, 300);
  for (const std::string style : {"1541u", "sd2iec", "none"}) {
    SCOPED_TRACE(style);
    const std::string one = tmp_->Path() + style + "-1";
    const std::string four = tmp_->Path() + style + "-4";
    std::string styleArgs = args;
    styleArgs += " --style " + style;
    const JobRun a = RunJob(one, 1, styleArgs);
    const JobRun b = RunJob(four, 4, styleArgs);
    ASSERT_EQ(a.Status, 0) << a.Output;
    ASSERT_EQ(b.Status, 0) << b.Output;
    const std::set<std::string> entries = Entries(Listings(one));
    EXPECT_EQ(entries, Entries(Listings(four)));
    std::vector<std::string> differing;
    for (const std::string& path : entries) {
      // The record holds the times the files got: only its presence counts.
      if (fs::is_regular_file(fs::path(one) / path) && !path.ends_with("vqsd-manifest.txt") &&
          Read(fs::path(one) / path) != Read(fs::path(four) / path)) {
        differing.push_back(path);
      }
    }
    EXPECT_EQ(differing, std::vector<std::string>{});
    ExpectSameEvents(a, b, entries);
    // Output folder, letter, subfolder, game: the split took place.
    EXPECT_TRUE(std::any_of(a.Events.begin(), a.Events.end(), [](const std::string& event) {
      return event.starts_with("mkdir ") && std::count(event.begin(), event.end(), '/') == 3;
    }));
    fs::remove_all(one);
    fs::remove_all(four);
  }
}

TEST_F(CreationOrder, AFat32CardListsEveryFolderInOneOrderWhateverTheThreads) {
  const test::TFatImage card(tmp_->Path(), 128);
  if (!card.Available()) GTEST_SKIP() << card.Reason();
  // fusefat cannot store names beyond ASCII: the card takes every seventh
  // game whose title, members and tune are plain ASCII, over 250 for folders
  // by letter.
  auto ascii = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  int picked = 0;
  const auto [args, games] = Arguments("ascii.xml", [&](const tools::TSampleGame& game) {
    return ascii(game.Title) && ascii(game.SidFileOnDisk) && std::all_of(game.Entries.begin(), game.Entries.end(), ascii) &&
           ++picked % 7 == 0;
  });
  ASSERT_GE(games, 250);
  const JobRun a = RunJob(card.Path() + "one", 1, args + " --style sd2iec");
  const JobRun b = RunJob(card.Path() + "four", 4, args + " --style sd2iec");
  ASSERT_EQ(a.Status, 0) << a.Output;
  ASSERT_EQ(b.Status, 0) << b.Output;
  const ByFolder listings = Listings(card.Path() + "one");
  EXPECT_EQ(FirstDifference(listings, Listings(card.Path() + "four")), "");
  ExpectSameEvents(a, b, Entries(listings));
}

}  // namespace
}  // namespace vq
