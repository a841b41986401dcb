// Turns 100,000 generated titles into folder names, sorts them and splits
// them into letter folders and subfolders, as the job does before the
// extraction, and reports the time of the best of several rounds.
//
//   bench_partition [titles] [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/folder_names.h"
#include "engine/folder_partition.h"
#include "bench/bench_util.h"

namespace {

// First words, repeated to skew the letters as real collections are skewed:
// many S, T and B titles, few Q, X and digits.
const char* const kFirst[] = {
    "The",   "The",   "The",    "The",   "Super", "Super", "Star",  "Star",  "Space",  "Street", "Strike",
    "Soccer", "Ski",  "Boulder", "Bubble", "Bomb", "Battle", "Blue", "Bruce", "Castle", "Commando", "Contra",
    "Elite", "Elite", "Giana",  "Great", "Hyper", "International", "Jet", "Kung", "Last", "Mega", "Micro",
    "Moon",  "Ninja", "Pac",    "Paper", "Quedex", "Robo", "Sabre", "Tetris", "Turbo", "Ultima", "Wizard",
    "Xenon", "Zak",   "1942",   "3D",    "4th",   "$100,000", "...And", "_Hidden", "[Beta]", "\xC9lite",
    "D\xE9j\xE0", "\xD8l", "R\xF4le"};

const char* const kWords[] = {"Great", "Giana", "Sisters", "Escape", "Dash", "Construction", "Kit", "Fighter",
                              "II", "III", "IV", "64", "Deluxe", "Edition", "Adventure", "Quest", "of", "the",
                              "Racer", "Wars", "Jack", "Max", "Bobble", "Lord", "Mission:", "Tom", "&", "Jerry",
                              "Caf\xE9", "M\xFCller", "\xC6ther", ("Stra\xDF" "e"), "-", "Part", "1", "2"};

// One Windows-1252 title of one to five words.
std::string MakeTitle(std::mt19937& rng) {
  auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  std::string title = kFirst[pick(std::size(kFirst))];
  const size_t words = pick(5);
  for (size_t i = 0; i < words; ++i) {
    title += ' ';
    title += kWords[pick(std::size(kWords))];
  }
  if (pick(3) == 0) title += " " + std::to_string(pick(2000));
  return title;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

  // The scan's output: titles in collection order, with some duplicates.
  std::mt19937 rng(1541);
  vq::TArchiveList scanned;
  scanned.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    vq::TArcInfo info;
    if (i > 0 && rng() % 20 == 0) {
      info.Name = scanned[rng() % scanned.size()].Name;
    } else {
      info.Name = vq::DecodeCp1252(MakeTitle(rng));
    }
    info.UniqueID = static_cast<int32_t>(rng() % 10000000);
    info.ZipFile = "/collection/games/" + std::to_string(i) + ".zip";
    scanned.push_back(std::move(info));
  }

  double best[3] = {1e9, 1e9, 1e9};  // CPU seconds: names, sort, partitioning
  double bestWall = 1e9;
  size_t subfolders = 0;
  for (int round = 0; round < rounds; ++round) {
    vq::TArchiveList list = scanned;
    const auto wallStart = std::chrono::steady_clock::now();
    const double t0 = vq::bench::ThreadCpuSeconds();
    {
      const vq::TFolderNamer namer(vq::fns1541U, false);
      for (auto& info : list) namer.Adjust(info);
    }
    const double t1 = vq::bench::ThreadCpuSeconds();
    vq::SortArchiveList(list);
    const double t2 = vq::bench::ThreadCpuSeconds();
    vq::BuildOutputMatrix(list, [] { return false; });
    const double t3 = vq::bench::ThreadCpuSeconds();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    best[0] = std::min(best[0], t1 - t0);
    best[1] = std::min(best[1], t2 - t1);
    best[2] = std::min(best[2], t3 - t2);
    bestWall = std::min(bestWall, wall.count());
    subfolders = 0;
    for (size_t i = 0; i < list.size(); ++i) {
      if (!list[i].OutSubDir.empty() && (i == 0 || list[i].OutSubDir != list[i - 1].OutSubDir)) ++subfolders;
    }
  }
  std::printf("partition: %d titles, %zu subfolders; best of %d rounds: names %.3f s, sort %.3f s, "
              "partitioning %.3f s CPU; all three %.3f s wall\n",
              count, subfolders, rounds, best[0], best[1], best[2], bestWall);
  return 0;
}
