#include "engine/folder_names.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/folder_partition.h"

namespace vq {
namespace {

std::u16string U(std::string_view utf8) { return Utf8ToUtf16(utf8); }
std::string S(std::u16string_view utf16) { return Utf16ToUtf8(utf16); }

// The folder name and letter of one title.
struct Named {
  std::string folder;
  std::string letter;
};

Named Adjust(std::u16string_view title, TFileNameStyle style, bool upper = false, int32_t id = 1) {
  const TFolderNamer namer(style, upper);
  TArcInfo info;
  info.Name = title;
  info.UniqueID = id;
  namer.Adjust(info);
  return {S(info.OutFolderName), S(info.OutLetter)};
}

// The accented letters and their base letters, row by row as the fixed
// table lists them.
const std::vector<std::pair<char16_t, std::string>>& BaseCharTable() {
  static const std::vector<std::pair<char16_t, std::string>> table = {
      {0x0160, "S"}, {0x0161, "s"}, {0x0152, "OE"}, {0x0153, "oe"}, {0x017D, "Z"}, {0x017E, "z"},
      {0x0178, "Y"}, {0x00DD, "Y"}, {0x00FD, "y"}, {0x00FF, "y"},
      {0x00C0, "A"}, {0x00C1, "A"}, {0x00C2, "A"}, {0x00C3, "A"}, {0x00C4, "A"}, {0x00C5, "A"},
      {0x00C6, "AE"}, {0x00C7, "C"}, {0x00E7, "c"}, {0x00DF, "ss"},
      {0x00C8, "E"}, {0x00C9, "E"}, {0x00CA, "E"}, {0x00CB, "E"},
      {0x00CC, "I"}, {0x00CD, "I"}, {0x00CE, "I"}, {0x00CF, "I"},
      {0x00D0, "D"}, {0x00D1, "N"}, {0x00F1, "n"},
      {0x00D2, "O"}, {0x00D3, "O"}, {0x00D4, "O"}, {0x00D5, "O"}, {0x00D6, "O"}, {0x00D8, "O"},
      {0x00D9, "U"}, {0x00DA, "U"}, {0x00DB, "U"}, {0x00DC, "U"},
      {0x00E0, "a"}, {0x00E4, "a"}, {0x00E1, "a"}, {0x00E2, "a"}, {0x00E3, "a"}, {0x00E5, "a"},
      {0x00E6, "ae"},
      {0x00E8, "e"}, {0x00E9, "e"}, {0x00EA, "e"}, {0x00EB, "e"},
      {0x00EC, "i"}, {0x00ED, "i"}, {0x00EE, "i"}, {0x00EF, "i"},
      {0x00F2, "o"}, {0x00F3, "o"}, {0x00F5, "o"}, {0x00F6, "o"}, {0x00F8, "o"},
      {0x00F9, "u"}, {0x00FA, "u"}, {0x00FB, "u"}, {0x00FC, "u"},
  };
  return table;
}

TEST(FolderNamesReduceToBaseChars, EveryCodeUnitMatchesTheTable) {
  std::map<char16_t, std::string> table(BaseCharTable().begin(), BaseCharTable().end());
  ASSERT_EQ(BaseCharTable().size(), 65u);
  ASSERT_EQ(table.size(), 65u);  // no character listed twice
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const std::u16string one(1, static_cast<char16_t>(c));
    const std::u16string got = ReduceToBaseChars(one);
    const auto row = table.find(static_cast<char16_t>(c));
    if (row == table.end()) {
      ASSERT_EQ(got, one) << "U+" << std::hex << static_cast<unsigned>(c) << " must pass through";
    } else {
      ASSERT_EQ(S(got), row->second) << "U+" << std::hex << static_cast<unsigned>(c);
    }
  }
}

TEST(FolderNamesReduceToBaseChars, ReplacesInsideTextsAndKeepsTheRest) {
  EXPECT_EQ(S(ReduceToBaseChars(U("Déjà Vu"))), "Deja Vu");
  EXPECT_EQ(S(ReduceToBaseChars(U("Œuvre Straße Æon"))), "OEuvre Strasse AEon");
  // ô, ð, Þ, þ and Ł are not in the table.
  EXPECT_EQ(S(ReduceToBaseChars(U("Rôle ðÞþ Łódź"))), "Rôle ðÞþ Łodź");
  EXPECT_EQ(S(ReduceToBaseChars(U(""))), "");
  // Characters outside the first plane pass whole.
  EXPECT_EQ(S(ReduceToBaseChars(U("é\xF0\x9F\x8E\xAE\xC3\xBC"))), "e\xF0\x9F\x8E\xAEu");
}

TEST(FolderNamesClean, DeletesForbiddenCharactersAndTheLeadingRun) {
  EXPECT_EQ(Adjust(u"Boulder Dash: Construction Kit", fns1541U).folder, "Boulder Dash Construction Kit");
  EXPECT_EQ(Adjust(u"Boulder Dash: Construction Kit", fns1541U).letter, "B");
  EXPECT_EQ(Adjust(u"a\\b/c:d*e?f\"g<h>i|j.k", fnsNone).folder, "abcdefghijk");
  const Named dollar = Adjust(u"$100,000 Pyramid", fns1541U);
  EXPECT_EQ(dollar.folder, "100,000 Pyramid");
  EXPECT_EQ(dollar.letter, "0");
  const Named dots = Adjust(u"...And Then There Were None", fns1541U);
  EXPECT_EQ(dots.folder, "And Then There Were None");
  EXPECT_EQ(dots.letter, "A");
  // Step 3 leaves a leading blank, so no leading run is found; the blank is
  // trimmed afterwards and the dollar sign stays.
  const Named blank = Adjust(u". $Game", fns1541U);
  EXPECT_EQ(blank.folder, "$Game");
  EXPECT_EQ(blank.letter, "0");
  // Only one leading run goes; a second one further in stays.
  EXPECT_EQ(Adjust(u",'$x,'$y", fnsNone).folder, "x,'$y");
  EXPECT_EQ(Adjust(u"  Spaced Out \t", fnsNone).folder, "Spaced Out");
  // A DOS device name cannot name a folder on FAT: it gets '_' after its stem.
  EXPECT_EQ(Adjust(u"Con", fns1541U).folder, "Con_");
  EXPECT_EQ(Adjust(u"Aux", fnsSD2IEC).folder, "aux_");
  EXPECT_EQ(Adjust(u"Con Man", fns1541U).folder, "Con Man");
}

TEST(FolderNamesClean, ControlCharactersInsideTheTitleAreDeleted) {
  EXPECT_EQ(Adjust(u"Pac\tMan", fns1541U).folder, "PacMan");
  EXPECT_EQ(Adjust(std::u16string(u"A\0B\x1F" u"C", 5), fnsNone).folder, "ABC");
  // At the start a control character is only trimmed, after the leading
  // run was looked for: the dollar sign stays, as without the mend.
  const Named run = Adjust(u"\x02$Game", fns1541U);
  EXPECT_EQ(run.folder, "$Game");
  EXPECT_EQ(run.letter, "0");
  EXPECT_EQ(Adjust(u".\x01$Game", fns1541U).folder, "$Game");
  // DEL and the C1 controls are not control characters of that range.
  EXPECT_EQ(Adjust(u"A\x7F" u"B", fnsNone).folder, S(u"A\x7F" u"B"));
}

TEST(FolderNamesClean, AccentsCaseAndLetters) {
  EXPECT_EQ(Adjust(u"Déjà Vu", fns1541U).folder, "Deja Vu");
  EXPECT_EQ(Adjust(u"Rôle", fns1541U).folder, "Rôle");
  EXPECT_EQ(Adjust(u"Rôle", fns1541U, true).folder, "RÔLE");
  EXPECT_EQ(Adjust(u"Rôle", fnsNone, true).folder, "Rôle");  // the option needs the 1541U style
  const Named oe = Adjust(u"Øl", fns1541U);
  EXPECT_EQ(oe.folder, "Ol");
  EXPECT_EQ(oe.letter, "O");
  const Named slash = Adjust(u"Łódź", fns1541U);
  EXPECT_EQ(slash.folder, "Łodź");
  EXPECT_EQ(slash.letter, "0");
  EXPECT_EQ(Adjust(u"ôte", fns1541U).letter, "0");
  EXPECT_EQ(Adjust(u"zork", fns1541U).letter, "Z");
  EXPECT_EQ(Adjust(u"Tom & Jerry", fns1541U).folder, "Tom & Jerry");
  EXPECT_EQ(Adjust(u"Tom & Jerry", fnsNone).folder, "Tom & Jerry");
  EXPECT_EQ(Adjust(u"Tom & Jerry", fns1541U, true).folder, "TOM & JERRY");
  EXPECT_EQ(Adjust(u"Tom & Jerry", fnsSD2IEC).folder, "tom jerry");
  // The letter is taken after the case mapping: dotless i upper-cases to I.
  EXPECT_EQ(Adjust(u"\u0131kari", fns1541U, true).letter, "I");
}

TEST(FolderNamesClean, NothingLeftGivesTheIdUnderZero) {
  for (const std::u16string title : {u"", u"...", u" : ? ", u"\x01\x02", u".$,'"}) {
    for (TFileNameStyle style : {fns1541U, fnsSD2IEC, fnsNone}) {
      const Named named = Adjust(title, style, true, 42);
      EXPECT_EQ(named.folder, "00042") << S(title);
      EXPECT_EQ(named.letter, "0") << S(title);
    }
  }
  EXPECT_EQ(Adjust(u"?", fnsSD2IEC, false, 1234567).folder, "1234567");
  // A title that keeps a character is never replaced.
  EXPECT_EQ(Adjust(u"_", fnsSD2IEC, false, 42).folder, "-");
}

TEST(FolderNamesSD2IEC, ShapesNamesForTheDevice) {
  EXPECT_EQ(S(MakeSD2IECName(u"Boulder Dash Construction Kit")), "boulder dash con");
  // The cut after 16 characters exposes a blank, which goes.
  EXPECT_EQ(S(MakeSD2IECName(u"The Great Giana Sisters")), "the great giana");
  EXPECT_EQ(S(MakeSD2IECName(u"a - - b")), "a - b");
  EXPECT_EQ(S(MakeSD2IECName(u"Tom_Jerry&Co")), "tom-jerry-co");
  EXPECT_EQ(S(MakeSD2IECName(u"A _ B")), "a b");
  EXPECT_EQ(S(MakeSD2IECName(U("ÉLAN ŁÓDŹ"))), "élan łódź");
  // The blank-hyphen-blank goes before the cut.
  EXPECT_EQ(S(MakeSD2IECName(u"abcdefghijklmn - xyz")), "abcdefghijklmn x");
  EXPECT_EQ(S(MakeSD2IECName(u"exactly sixteen!")), "exactly sixteen!");
  EXPECT_EQ(S(MakeSD2IECName(u"abcdefghijklmno\x01" u"z")), "abcdefghijklmno");
  // Through the whole phase: accents go before the lower-casing.
  EXPECT_EQ(Adjust(u"Déjà Vu II: The Return", fnsSD2IEC).folder, "deja vu ii the r");
}

TEST(FolderNamesUnique, SuffixesByStyle) {
  EXPECT_EQ(S(MakeUniqueFolderName(u"Moonshadow", 1234, fns1541U)), "Moonshadow [01234]");
  EXPECT_EQ(S(MakeUniqueFolderName(u"Moonshadow", 1234, fnsNone)), "Moonshadow [01234]");
  EXPECT_EQ(S(MakeUniqueFolderName(u"Elite", 1234567, fns1541U)), "Elite [1234567]");
  EXPECT_EQ(S(MakeUniqueFolderName(u"moonshadow", 567, fnsSD2IEC)), "moonshadow 00567");
  EXPECT_EQ(S(MakeUniqueFolderName(u"bruce lee", 123456, fnsSD2IEC)), "bruce lee 123456");
  EXPECT_EQ(S(MakeUniqueFolderName(u"boulder dash con", 42, fnsSD2IEC)), "boulder das00042");
  EXPECT_EQ(S(MakeUniqueFolderName(u"x", 2147483647, fnsSD2IEC)), "x     2147483647");
  EXPECT_EQ(MakeUniqueFolderName(u"x", -2147483647 - 1, fnsSD2IEC).size(), 16u);
}

// Names the titles, sorts them and suffixes the duplicates.
std::vector<std::string> UniqueNames(const std::vector<std::pair<std::u16string, int32_t>>& games,
                                     TFileNameStyle style) {
  const TFolderNamer namer(style, false);
  TArchiveList list;
  for (const auto& [title, id] : games) {
    TArcInfo info;
    info.Name = title;
    info.UniqueID = id;
    namer.Adjust(info);
    list.push_back(info);
  }
  SortArchiveList(list);
  MakeFolderNamesUnique(list, style, {});
  std::vector<std::string> names;
  for (const auto& info : list) names.push_back(S(info.OutFolderName));
  return names;
}

TEST(FolderNamesUnique, SuffixesEveryMemberOfARun) {
  using V = std::vector<std::string>;
  EXPECT_EQ(UniqueNames({{u"Moonshadow", 1234}, {u"MoonShadow", 567}}, fns1541U),
            (V{"MoonShadow [00567]", "Moonshadow [01234]"}));
  EXPECT_EQ(UniqueNames({{u"Moonshadow", 1234}, {u"MoonShadow", 567}}, fnsSD2IEC),
            (V{"moonshadow 00567", "moonshadow 01234"}));
  EXPECT_EQ(UniqueNames({{u"Bruce Lee", 123456}, {u"Bruce Lee", 7}}, fnsSD2IEC),
            (V{"bruce lee  00007", "bruce lee 123456"}));
  // Three equal names, then a single name that equals a suffixed one.
  EXPECT_EQ(UniqueNames({{u"Elite", 2}, {u"Elite [00002]", 5}, {u"Elite", 1}, {u"ELITE", 3}, {u"Zork", 9}}, fnsNone),
            (V{"Elite [00001]", "Elite [00002]", "ELITE [00003]", "Elite [00002]", "Zork"}));
  // The same ID twice resolves to one folder.
  EXPECT_EQ(UniqueNames({{u"Elite", 4}, {u"Elite", 4}}, fns1541U), (V{"Elite [00004]", "Elite [00004]"}));
  // Names equal ignoring case outside ASCII are one name on FAT, wherever
  // they stand in the list.
  EXPECT_EQ(UniqueNames({{U("Łodz"), 1}, {U("Mars"), 3}, {U("łodz"), 2}}, fns1541U),
            (V{"Mars", "Łodz [00001]", "łodz [00002]"}));
  // Runs on either side of a single name.
  EXPECT_EQ(UniqueNames({{u"A", 1}, {u"A", 2}, {u"B", 3}, {u"C", 4}, {u"C", 5}}, fns1541U),
            (V{"A [00001]", "A [00002]", "B", "C [00004]", "C [00005]"}));
}

TEST(FolderNamesUnique, StopsWhenTerminated) {
  TArchiveList list(6);
  for (size_t i = 0; i < list.size(); ++i) {
    list[i].OutFolderName = u"Same";
    list[i].UniqueID = static_cast<int32_t>(i + 1);
  }
  int polls = 0;
  MakeFolderNamesUnique(list, fns1541U, [&] { return ++polls > 3; });
  EXPECT_EQ(polls, 4);  // polled before each game
  EXPECT_EQ(S(list[0].OutFolderName), "Same [00001]");
  EXPECT_EQ(S(list[2].OutFolderName), "Same [00003]");
  EXPECT_EQ(S(list[3].OutFolderName), "Same");
}

TEST(FolderNamesInvariants, RandomTitlesGiveValidNamesInEveryStyle) {
  std::mt19937 rng(20240611);
  const std::u16string alphabet =
      u" \t\x01\x1F\\/:*?\"<>|.,'$_&-abcXYZ019\u00C9\u00E9\u00F4\u0141\u0131\u00DF\u0152\u017E~[";
  const TFolderNamer namers[] = {{fns1541U, false}, {fns1541U, true}, {fnsSD2IEC, false}, {fnsNone, false}};
  for (int round = 0; round < 4000; ++round) {
    std::u16string title;
    const int length = std::uniform_int_distribution<int>(0, 30)(rng);
    for (int i = 0; i < length; ++i) title += alphabet[rng() % alphabet.size()];
    for (size_t k = 0; k < std::size(namers); ++k) {
      TArcInfo info;
      info.Name = title;
      info.UniqueID = round;
      namers[k].Adjust(info);
      const std::u16string& name = info.OutFolderName;
      ASSERT_FALSE(name.empty());
      ASSERT_EQ(name.find_first_of(std::u16string(u"\\/:*?\"<>|.")), std::u16string::npos) << S(name);
      for (char16_t c : name) ASSERT_GE(c, 0x20) << S(name);
      ASSERT_GT(name.front(), 0x20);
      ASSERT_GT(name.back(), 0x20);
      ASSERT_EQ(info.OutLetter, OutLetterOf(name));
      ASSERT_EQ(info.OutLetter.size(), 1u);
      const char16_t letter = info.OutLetter[0];
      ASSERT_TRUE((letter >= u'A' && letter <= u'Z') || letter == u'0');
      if (k == 2) {
        ASSERT_LE(name.size(), 16u);
      }
    }
  }
}

// A name too long for a file system would end the job when its folder
// cannot be made; it is cut to 240 bytes, leaving room for a duplicate's ID.
TEST(FolderNamesMend, OverlongTitlesAreCutAtACharacterBoundary) {
  EXPECT_EQ(Adjust(std::u16string(300, u'a'), fns1541U).folder, std::string(240, 'a'));
  // Two-byte letters: 120 of them fill the 240 bytes.
  EXPECT_EQ(Adjust(std::u16string(200, u'\u00F4'), fnsNone).folder.size(), 240u);
  // A blank exposed by the cut goes too.
  EXPECT_EQ(Adjust(std::u16string(239, u'x') + u" yyy", fnsNone).folder, std::string(239, 'x'));
  // Never half a surrogate pair: 239 bytes, then a 4-byte emoji that does not fit.
  EXPECT_EQ(Adjust(std::u16string(239, u'x') + u"\U0001F600z", fnsNone).folder, std::string(239, 'x'));
  const std::string suffixed = S(MakeUniqueFolderName(U(Adjust(std::u16string(300, u'a'), fns1541U).folder),
                                                      2147483647, fns1541U));
  EXPECT_LE(suffixed.size(), 255u);
}

}  // namespace
}  // namespace vq
