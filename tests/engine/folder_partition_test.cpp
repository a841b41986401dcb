#include "engine/folder_partition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/folder_names.h"

namespace vq {
namespace {

std::string S(std::u16string_view utf16) { return Utf16ToUtf8(utf16); }

// `prefix` followed by `i` in three digits: "Sto 042".
std::string Numbered(const std::string& prefix, int i) { return prefix + Format("%03d", i); }

// Adds `count` numbered titles.
void AddRange(std::vector<std::string>& titles, const std::string& prefix, int count) {
  for (int i = 0; i < count; ++i) titles.push_back(Numbered(prefix, i));
}

// Runs the names, the sort and the partitioning over `titles` as the job
// does; the list is shuffled first so that the sort has work to do. IDs
// follow the title order.
TArchiveList Partition(const std::vector<std::string>& titles, TFileNameStyle style = fns1541U) {
  const TFolderNamer namer(style, false);
  TArchiveList list;
  for (size_t i = 0; i < titles.size(); ++i) {
    TArcInfo info;
    info.Name = Utf8ToUtf16(titles[i]);
    info.UniqueID = static_cast<int32_t>(i + 1);
    namer.Adjust(info);
    list.push_back(std::move(info));
  }
  std::mt19937 rng(static_cast<unsigned>(titles.size()));
  std::shuffle(list.begin(), list.end(), rng);
  SortArchiveList(list);
  BuildOutputMatrix(list, {});
  return list;
}

// The placement of the game titled `title`.
std::string PathOf(const TArchiveList& list, const std::string& title) {
  for (const auto& info : list) {
    if (S(info.Name) == title) return S(PlaceGame(info, list.size()));
  }
  return "(missing " + title + ")";
}

// Subfolders in list order: name and number of games.
std::vector<std::pair<std::string, int>> Subfolders(const TArchiveList& list, const std::u16string& letter) {
  std::vector<std::pair<std::string, int>> out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].OutLetter != letter) continue;
    const std::string sub = S(list[i].OutSubDir);
    if (out.empty() || out.back().first != sub || list[i - 1].OutLetter != letter) {
      out.emplace_back(sub, 0);
    }
    ++out.back().second;
  }
  return out;
}

using Subs = std::vector<std::pair<std::string, int>>;

TEST(FolderPartitionSort, OrdersByNameThenId) {
  TArcInfo a, b;
  a.OutFolderName = u"abc";
  b.OutFolderName = u"ABD";
  EXPECT_LT(CompareArcInfo(a, b), 0);
  EXPECT_GT(CompareArcInfo(b, a), 0);
  b.OutFolderName = u"ABC";
  a.UniqueID = 5;
  b.UniqueID = 7;
  EXPECT_LT(CompareArcInfo(a, b), 0);
  EXPECT_EQ(CompareArcInfo(a, a), 0);
  // A leading part sorts first; no folding outside ASCII.
  b.OutFolderName = u"abc ";
  EXPECT_LT(CompareArcInfo(a, b), 0);
  a.OutFolderName = u"\u00C9";
  b.OutFolderName = u"\u00E9";
  EXPECT_LT(CompareArcInfo(a, b), 0);
  // '_' (0x5F) sorts after 'Z' even against lower-case letters.
  a.OutFolderName = u"zz";
  b.OutFolderName = u"_a";
  EXPECT_LT(CompareArcInfo(a, b), 0);
}

TEST(FolderPartitionSort, ExtremeIdsKeepTheirOrder) {
  TArcInfo low, high;
  low.OutFolderName = high.OutFolderName = u"Same";
  low.UniqueID = INT32_MIN;
  high.UniqueID = INT32_MAX;
  EXPECT_LT(CompareArcInfo(low, high), 0);
  EXPECT_GT(CompareArcInfo(high, low), 0);

  TArchiveList list(600);
  const int32_t ids[] = {INT32_MAX, INT32_MIN, 0, -1, 1, INT32_MAX - 1, INT32_MIN + 1};
  for (size_t i = 0; i < list.size(); ++i) {
    list[i].OutFolderName = (i % 3 == 0) ? u"A" : u"a";
    list[i].UniqueID = ids[i % std::size(ids)];
  }
  SortArchiveList(list);
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end(),
                             [](const TArcInfo& x, const TArcInfo& y) { return x.UniqueID < y.UniqueID; }));
}

TEST(FolderPartitionWorkedExample, GroupBSplitsWhereBoBegins) {
  std::vector<std::string> titles;
  AddRange(titles, "Ba ", 100);
  AddRange(titles, "Be ", 40);
  AddRange(titles, "Bl ", 9);
  titles.push_back("Blue Max");  // offset 149
  titles.push_back("Bomb Jack");
  AddRange(titles, "Bon ", 78);
  titles.push_back("Bounty Bob Strikes Back");  // offset 229
  AddRange(titles, "Br ", 59);
  titles.push_back("Bubble Bobble");  // offset 289
  AddRange(titles, "Castle ", 10);
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"B"), (Subs{{"B", 150}, {"BO", 140}}));
  EXPECT_EQ(PathOf(list, "Blue Max"), "B/B/Blue Max/");
  EXPECT_EQ(PathOf(list, "Bomb Jack"), "B/BO/Bomb Jack/");
  EXPECT_EQ(PathOf(list, "Bubble Bobble"), "B/BO/Bubble Bobble/");
  EXPECT_EQ(PathOf(list, "Castle 003"), "C/Castle 003/");
}

TEST(FolderPartitionWorkedExample, GroupSNeedsThreeCharacters) {
  std::vector<std::string> titles;
  AddRange(titles, "Sa ", 30);
  AddRange(titles, "Sta ", 70);
  AddRange(titles, "Ste ", 50);
  AddRange(titles, "Sto ", 85);
  titles.push_back("Storm Lord");  // offset 235
  titles.push_back("Stranded");
  AddRange(titles, "Strider ", 26);  // up to offset 262
  AddRange(titles, "Stu ", 16);
  titles.push_back("Stunt Car Racer");  // offset 279
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"S"), (Subs{{"S", 236}, {"STR", 44}}));
  EXPECT_EQ(PathOf(list, "Storm Lord"), "S/S/Storm Lord/");
  EXPECT_EQ(PathOf(list, "Stranded"), "S/STR/Stranded/");
  EXPECT_EQ(PathOf(list, "Stunt Car Racer"), "S/STR/Stunt Car Racer/");
}

TEST(FolderPartitionWorkedExample, GroupTCutsBetweenNames) {
  std::vector<std::string> titles;
  AddRange(titles, "Ta ", 5);
  AddRange(titles, "Tha ", 5);
  AddRange(titles, "The A ", 189);
  titles.push_back("The Great Escape");         // offset 199
  titles.push_back("The Great Giana Sisters");  // offset 200
  AddRange(titles, "The Z ", 179);
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"T"), (Subs{{"T", 200}, {"THE GREAT G", 180}}));
  EXPECT_EQ(PathOf(list, "The Great Escape"), "T/T/The Great Escape/");
  EXPECT_EQ(PathOf(list, "The Great Giana Sisters"), "T/THE GREAT G/The Great Giana Sisters/");
}

TEST(FolderPartitionWorkedExample, SmallGroupsAndSmallJobs) {
  // 3,000 games, 40 of them under Q.
  std::vector<std::string> titles;
  titles.push_back("Quedex");
  AddRange(titles, "Qu ", 39);
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (c != 'Q') AddRange(titles, std::string(1, c) + "x ", c == 'Z' ? 80 : 120);
  }
  ASSERT_EQ(titles.size(), 3000u);
  TArchiveList list = Partition(titles);
  EXPECT_EQ(PathOf(list, "Quedex"), "Q/Quedex/");
  EXPECT_EQ(Subfolders(list, u"Q"), (Subs{{"", 40}}));

  // 180 games sit directly in the destination.
  titles.resize(180);
  titles.push_back("Bubble Bobble");
  titles.erase(titles.begin() + 1);
  list = Partition(titles);
  ASSERT_EQ(list.size(), 180u);
  EXPECT_EQ(PathOf(list, "Bubble Bobble"), "Bubble Bobble/");
}

TEST(FolderPartitionEdge, GroupSizeAndJobSizeLimits) {
  std::vector<std::string> titles;
  AddRange(titles, "Ax ", 125);
  AddRange(titles, "Ay ", 125);
  TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"", 250}}));
  EXPECT_EQ(PathOf(list, "Ax 000"), "A/Ax 000/");  // 250 games use letter folders

  titles.pop_back();
  list = Partition(titles);
  EXPECT_EQ(PathOf(list, "Ax 000"), "Ax 000/");  // 249 do not

  titles.push_back("Ay 124");
  titles.push_back("Az");
  list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 125}, {"AY", 126}}));
  EXPECT_EQ(PathOf(list, "Az"), "A/AY/Az/");
}

TEST(FolderPartitionEdge, OneSharedPrefixMovesUpToTheGroupEnd) {
  std::vector<std::string> titles;
  titles.reserve(254);
  for (int i = 0; i < 251; ++i) titles.push_back(Format("Ab%03d", i));
  AddRange(titles, "Bx ", 3);
  TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 251}}));
  // The same group at the very end of the list.
  titles.resize(251);
  titles.insert(titles.begin(), {"0 a", "0 b"});
  list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 251}}));
  EXPECT_EQ(Subfolders(list, u"0"), (Subs{{"", 2}}));
}

TEST(FolderPartitionEdge, EarlyPrefixChangeWinsMovingDown) {
  std::vector<std::string> titles;
  AddRange(titles, "Ka ", 120);
  AddRange(titles, "Kb ", 131);
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"K"), (Subs{{"K", 120}, {"KB", 131}}));
}

TEST(FolderPartitionEdge, ReservedAndTrimmedSubfolderNames) {
  EXPECT_EQ(S(NextSubDirName(u"Commando", u"Contra", u"C")), "Cont");
  EXPECT_EQ(S(NextSubDirName(u"Commando", u"Con", u"C")), "Con_");
  EXPECT_EQ(S(NextSubDirName(u"Augur", u"aux 2", u"A")), "aux_");
  EXPECT_EQ(S(NextSubDirName(u"Nuke", u"Null and Void", u"N")), "Null");
  EXPECT_EQ(S(NextSubDirName(u"Nu", u"Nul", u"N")), "Nul_");
  EXPECT_EQ(S(NextSubDirName(u"Conan", u"Cone", u"C")), "Cone");   // not reserved
  EXPECT_EQ(S(NextSubDirName(u"Elite", u"Elite II", u"E")), "Elite");  // the sixth character is a blank
  EXPECT_EQ(S(NextSubDirName(u"The Great Escape", u"The Great Giana Sisters", u"T")), "The Great G");
  EXPECT_EQ(S(NextSubDirName(u"Blue Max", u"Bomb Jack", u"B")), "Bo");
  EXPECT_EQ(S(NextSubDirName(u"A", u"Ab", u"A")), "Ab");
  EXPECT_EQ(S(NextSubDirName(u"ab", u"ABC", u"A")), "ABC");
  EXPECT_EQ(S(NextSubDirName(u"X", u"Y", u"X")), "Y");

  // The reserved name through the whole phase, stored in upper case.
  std::vector<std::string> titles;
  AddRange(titles, "Coa ", 60);
  AddRange(titles, "Com ", 99);
  titles.push_back("Commando");  // offset 159
  titles.push_back("Con Man");
  AddRange(titles, "Contra ", 99);
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"C"), (Subs{{"C", 160}, {"CON_", 100}}));
  EXPECT_EQ(PathOf(list, "Contra 005"), "C/CON_/Contra 005/");
}

TEST(FolderPartitionEdge, EqualNamesAreNeverCut) {
  // All 4-prefixes are "Elit", so only the walk back over names decides.
  std::vector<std::string> titles;
  AddRange(titles, "Elit A ", 199);
  titles.push_back("Elite");     // offset 199
  titles.push_back("Elite II");  // offset 200
  AddRange(titles, "Elite Z ", 79);
  TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"E"), (Subs{{"E", 200}, {"ELITE", 80}}));

  titles.clear();
  AddRange(titles, "Elit A ", 197);
  for (int i = 0; i < 5; ++i) titles.push_back("Elite");  // offsets 197 to 201
  AddRange(titles, "Elite Z ", 78);
  list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"E"), (Subs{{"E", 197}, {"ELITE", 83}}));
}

TEST(FolderPartitionEdge, UnderscoreFormsASecondZeroGroup) {
  std::vector<std::string> titles;
  AddRange(titles, "1 ", 10);
  AddRange(titles, "M ", 230);
  AddRange(titles, "_", 20);
  titles.push_back("[Hidden]");
  const TArchiveList list = Partition(titles);
  ASSERT_EQ(list.front().OutLetter, u"0");
  ASSERT_EQ(S(list.back().Name), "_019");
  EXPECT_EQ(Subfolders(list, u"0"), (Subs{{"", 10}, {"", 21}}));
  EXPECT_EQ(PathOf(list, "_005"), "0/_005/");
  EXPECT_EQ(PathOf(list, "[Hidden]"), "0/[Hidden]/");
}

TEST(FolderPartitionMend, LongRunOfEqualNamesStaysInOneSubfolder) {
  std::vector<std::string> titles;
  AddRange(titles, "Aa ", 5);
  for (int i = 0; i < 260; ++i) titles.push_back("Arkanoid");
  AddRange(titles, "Az ", 35);
  TArchiveList list = Partition(titles);
  // The walk back shortens the first subfolder to the five games before the
  // run; the run then fills a subfolder of its own.
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 5}, {"AR", 260}, {"AZ", 35}}));

  titles.assign(300, "Arkanoid");
  list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 300}}));
  MakeFolderNamesUnique(list, fns1541U, {});
  std::set<std::u16string> paths;
  for (const auto& info : list) paths.insert(PlaceGame(info, list.size()));
  EXPECT_EQ(paths.size(), 300u);
  EXPECT_EQ(S(PlaceGame(list[299], list.size())), "A/A/Arkanoid [00300]/");
}

TEST(FolderPartitionMend, NextSubfolderNeverTakesTheCurrentName) {
  // The trimmed prefix "B " of "B 52" would name the next subfolder "B"
  // again and put both into one folder.
  EXPECT_EQ(S(NextSubDirName(u"B", u"B 52", u"B")), "B 5");
  EXPECT_EQ(S(NextSubDirName(u"Elite", u"Elite 3D", u"ELITE")), "Elite 3");
  EXPECT_EQ(S(NextSubDirName(u"Tetris", u"Tetris  2", u"TETRIS")), "Tetris  2");
  EXPECT_EQ(S(NextSubDirName(u"Elite", u"Elite 3D", u"ELI")), "Elite");

  std::vector<std::string> titles(60, "B");
  AddRange(titles, "B ", 220);
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(Subfolders(list, u"B"), (Subs{{"B", 60}, {"B 0", 220}}));
  EXPECT_EQ(PathOf(list, "B 007"), "B/B 0/B 007/");
}

TEST(FolderPartitionMend, TitleWithNothingLeftGoesUnderZero) {
  std::vector<std::string> titles;
  AddRange(titles, "Game ", 260);
  titles.push_back("???");  // ID 261
  const TArchiveList list = Partition(titles);
  EXPECT_EQ(PathOf(list, "???"), "0/00261/");
}

TEST(FolderPartitionMatrix, PollsTerminateBeforeEachGroup) {
  std::vector<std::string> titles;
  AddRange(titles, "Aa ", 150);
  AddRange(titles, "Ab ", 150);
  AddRange(titles, "Ba ", 150);
  AddRange(titles, "Bb ", 150);
  AddRange(titles, "C ", 5);
  TArchiveList list = Partition(titles);
  for (auto& info : list) info.OutSubDir.clear();
  int polls = 0;
  BuildOutputMatrix(list, [&] { return ++polls > 1; });
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(Subfolders(list, u"A"), (Subs{{"A", 150}, {"AB", 150}}));
  EXPECT_EQ(Subfolders(list, u"B"), (Subs{{"", 300}}));
}

TEST(FolderPartitionPlace, PathsPerStyle) {
  TArcInfo info;
  info.OutLetter = u"T";
  info.OutSubDir = u"THE GREAT G";
  info.OutFolderName = u"the great giana";
  EXPECT_EQ(S(PlaceGame(info, 249)), "the great giana/");
  EXPECT_EQ(S(PlaceGame(info, 250)), "T/THE GREAT G/the great giana/");
  info.OutSubDir.clear();
  EXPECT_EQ(S(PlaceGame(info, 100000)), "T/the great giana/");
}

// Random title lists: skewed first letters, long shared prefixes and runs
// of equal names.
std::vector<std::string> RandomTitles(std::mt19937& rng, int count) {
  static const char* const kStems[] = {"The Great ", "Star ", "Super ", "Strike Force ", "Space ",
                                       "Boulder Dash ", "Ms. ", "_", "1942 ", "Elite", "Con", "Aux",
                                       "\xC3\x89lan ", "\xC5\x81odz ", "Tom & "};
  static const char kLetters[] = "SSSSSSTTTTTBBBBMMCCAaeQZz019_[~";
  std::vector<std::string> titles;
  while (static_cast<int>(titles.size()) < count) {
    std::string title;
    const unsigned kind = rng() % 10;
    if (kind < 4) {
      title = kStems[rng() % std::size(kStems)];
    } else {
      title = std::string(1, kLetters[rng() % (sizeof(kLetters) - 1)]);
    }
    const int extra = static_cast<int>(rng() % 4);
    for (int i = 0; i < extra; ++i) title += static_cast<char>('a' + rng() % 3);
    if (rng() % 2) title += Format(" %u", static_cast<unsigned>(rng() % 50));
    unsigned repeat = 1;
    if (rng() % 40 == 0) repeat = 2 + rng() % 30;
    if (rng() % 400 == 0) repeat = 150 + rng() % 250;
    for (unsigned r = 0; r < repeat; ++r) titles.push_back(title);
  }
  return titles;
}

TEST(FolderPartitionProperty, RandomListsKeepEveryRule) {
  std::mt19937 rng(777);
  for (int round = 0; round < 12; ++round) {
    const int count = 2000 + static_cast<int>(rng() % 6000);
    const std::vector<std::string> titles = RandomTitles(rng, count);
    TArchiveList list = Partition(titles, round % 3 == 0 ? fnsSD2IEC : fns1541U);
    const size_t n = list.size();

    // Letter groups: at most 250 unsplit, more always split, the first
    // subfolder of a letter folder named after the letter. Every subfolder
    // name of a letter folder belongs to one run of games only (the two
    // groups of "0" share the folder "0").
    size_t first = 0;
    int splitGroups = 0;
    std::set<std::u16string> splitLetters;
    std::set<std::pair<std::u16string, std::u16string>> subfolders;
    while (first < n) {
      size_t end = first;
      while (end < n && list[end].OutLetter == list[first].OutLetter) ++end;
      const size_t size = end - first;
      if (size <= 250) {
        for (size_t i = first; i < end; ++i) ASSERT_TRUE(list[i].OutSubDir.empty());
      } else {
        ++splitGroups;
        if (splitLetters.insert(list[first].OutLetter).second) {
          ASSERT_EQ(list[first].OutSubDir, list[first].OutLetter);
        }
        // Subfolders are runs of equal OutSubDir within the group.
        size_t start = first;
        while (start < end) {
          size_t last = start;
          while (last + 1 < end && list[last + 1].OutSubDir == list[start].OutSubDir) ++last;
          const std::u16string& sub = list[start].OutSubDir;
          ASSERT_FALSE(sub.empty());
          ASSERT_TRUE(subfolders.emplace(list[start].OutLetter, sub).second)
              << "two runs share " << S(list[start].OutLetter) << "/" << S(sub) << ", the second from "
              << S(list[start].OutFolderName);
          ASSERT_EQ(sub, AsciiUpper(sub));
          ASSERT_FALSE(SameName(sub, u"CON") || SameName(sub, u"AUX") || SameName(sub, u"NUL"));
          const size_t games = last - start + 1;
          const bool lastOfGroup = last + 1 == end;
          if (!lastOfGroup) {
            // Equal names never straddle a boundary.
            ASSERT_FALSE(SameName(list[last].OutFolderName, list[last + 1].OutFolderName));
            if (games < 41) {
              // Only the walk back over a run that reaches past the candidate.
              ASSERT_LT(start + 200, end);
              ASSERT_TRUE(SameName(list[last + 1].OutFolderName, list[start + 200].OutFolderName))
                  << S(list[last + 1].OutFolderName);
            }
          }
          if (games > 251) {
            // Only a run of equal names that began at the subfolder's start.
            ASSERT_TRUE(SameName(list[start].OutFolderName, list[last].OutFolderName))
                << S(sub);
          }
          start = last + 1;
        }
      }
      first = end;
    }
    EXPECT_GT(splitGroups, 0);

    // Every game gets exactly one path, and no two games share one.
    MakeFolderNamesUnique(list, round % 3 == 0 ? fnsSD2IEC : fns1541U, {});
    std::set<std::u16string> paths;
    for (const auto& info : list) paths.insert(PlaceGame(info, n));
    ASSERT_EQ(paths.size(), n);
    std::vector<int32_t> ids;
    for (const auto& info : list) ids.push_back(info.UniqueID);
    std::sort(ids.begin(), ids.end());
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(ids[i], static_cast<int32_t>(i + 1));
  }
}

// Titles before "A" and titles after "Z" both go to the letter folder "0";
// when both groups are split, their subfolders must not share a folder.
TEST(FolderPartitionMend, TheSecondZeroGroupNamesItsFirstSubfolderAfterItsTitle) {
  std::vector<std::string> titles;
  titles.reserve(310);
  for (int i = 0; i < 300; ++i) titles.push_back(Format("1%04d", i));
  for (int i = 0; i < 10; ++i) titles.push_back(Format("M%04d", i));
  for (int i = 0; i < 300; ++i) titles.push_back(Format("_%04d", i));
  const TArchiveList list = Partition(titles, fns1541U);
  std::map<std::u16string, std::set<char16_t>> firstCharsPerSubfolder;
  for (const auto& info : list) {
    if (info.OutLetter == u"0") firstCharsPerSubfolder[info.OutSubDir].insert(info.OutFolderName[0]);
  }
  for (const auto& [sub, chars] : firstCharsPerSubfolder) EXPECT_EQ(chars.size(), 1u) << S(sub);
  EXPECT_EQ(list.back().OutSubDir.substr(0, 1), u"_");
  EXPECT_EQ(list.front().OutSubDir, u"0");
}

TEST(FolderPartitionMend, TheNextSubfolderNeverRepeatsTheCurrentOne) {
  EXPECT_EQ(NextSubDirName(u"Con", u"Con Man", u"Con_"), u"Con__");
  EXPECT_FALSE(SameName(NextSubDirName(u"!abc", u"0", u"0"), u"0"));
}

}  // namespace
}  // namespace vq
