#include "engine/manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "card/card_folder.h"
#include "temp_folder.h"

namespace vq {
namespace {

const std::string kPath = "/x/VONDRAL SD/vqsd-manifest.txt";

// The fields of a game line, by position.
enum TField : size_t { fZip = 1, fSize, fTime, fCrcs, fSids, fFolder, fFiles, fId, fExtracted, fFlag = 20, fEnd };

// A valid version-2 game line with `changes` made to its raw fields; a field
// may be changed to text holding tabs, to add or join fields.
std::string GameLine(const std::vector<std::pair<size_t, std::string>>& changes = {}) {
  std::vector<std::string> f = {"game", "a.zip", "100", "5", "0000abcd,12345678", "", "A/Game/",
                                "GAME.PRG\03610\0367\037", "7", "1", "0", "OK", "", "0", "0", "0", "0", "0",
                                "Game", "", "1", "end"};
  for (const auto& [field, value] : changes) f[field] = value;
  std::string line;
  for (const std::string& field : f) line += (line.empty() ? "" : "\t") + field;
  return line + "\n";
}

const std::string kHead = "# Vondral64 Quillem SD manifest 2\noptions\tstyle=0\n";
const std::string kHead3 = "# Vondral64 Quillem SD manifest 3\noptions\tstyle=0\n";

// Games that use what the record can hold: escapes, every control character
// kind, sub-folders, a shared folder, negative numbers, empty list items.
std::vector<TManifestGame> SampleGames() {
  TManifestGame a;
  a.Zip = "Games/\xC3\x84rger 1.zip";
  a.Size = 9000;
  a.Time = -1234567890123;
  a.Crcs = "00000000,ffffffff";
  a.Sids = "/hvsc/A.sid|12|3.000000004|";
  a.Path = "A/AR/\xC3\x84rger/";
  a.Files = {{"\xC3\x84RGER.D64", 174848, 1700000000000000000, 0xfedcba98}, {"DISK/B.PRG", 0, -5, 0}, {"VERSION.NFO"}};
  a.UniqueID = -3;
  a.ExtractedFileCount = 2;
  a.UnhandledFileCount = 1;
  a.Status = "Tab\there, line\nend\r, back\\slash, bell\x07 del\x7f";
  a.Extensions = {"TXT", "", "\x01"};
  a.TapeArchives = 1;
  a.TapeFiles = 3;
  a.TapesNotExtracted = 1;
  a.SidCount = 1;
  a.Name = "\xC3\x84rger\x1f\x1e";
  a.SidFile = "/MUSICIANS/A/Tune";
  a.IdFromNfo = true;
  TManifestGame b;  // equal name and ID: the same folder, on the next line
  b.Zip = "Games/\xC3\x84rger 2.zip";
  b.Path = a.Path;
  TManifestGame c;
  c.Zip = "z.zip";
  c.Path = "Z/";
  c.UniqueID = 2147483647;
  c.SidErrors = 1;
  return {a, b, c};
}

TEST(ManifestTest, WhatTheWriterWritesIsReadBackEqual) {
  const test::TempFolder tmp("vq_manifest");
  const std::vector<TManifestGame> games = SampleGames();
  const TCardFolder card(tmp.Path());
  TManifestWriter writer(card, kManifestName, "style=1\tnfo=2");
  for (const TManifestGame& game : games) writer.Add(game);
  const TManifestFile gameList{"GameList.csv", 10, -7, 0xdeadbeef};
  writer.AddFile(gameList);
  writer.Commit();

  const auto manifest = ReadManifest(card, kManifestName);
  EXPECT_EQ(manifest->Version, 3);
  EXPECT_FALSE(manifest->Unfinished);
  EXPECT_EQ(manifest->OwnFiles, std::vector<TManifestFile>{gameList});
  EXPECT_EQ(manifest->Fingerprint, "style=1\tnfo=2");
  ASSERT_EQ(manifest->Games.size(), games.size());
  for (size_t i = 0; i < games.size(); ++i) {
    EXPECT_EQ(manifest->Game(i), games[i]) << "game " << i;
    EXPECT_EQ(manifest->Games[i].Zip, games[i].Zip);
    EXPECT_EQ(manifest->Games[i].Path, games[i].Path);
    EXPECT_EQ(manifest->Games[i].LineNumber, i + 3);
  }
}

TEST(ManifestTest, AVersionOneRecordIsReadWithItsFilesSizesUnknown) {
  const std::string text =
      "# Vondral64 Quillem SD manifest 1\noptions\tstyle=0\n"
      "game\tsub/a.zip\t10\t-2\tdeadbeef\t\tB/Ball/\tBALL.PRG\x1f" "DISK/A.D64\x1f\t42\t2\t1\tBack\\\\slash\\t!\t"
      "TXT\x1f\t1\t4\t0\t1\t0\tBall\t/GAMES/Ball\t0\tend\n";
  const auto manifest = ParseManifest(text, kPath);
  EXPECT_EQ(manifest->Version, 1);
  ASSERT_EQ(manifest->Games.size(), 1u);
  TManifestGame expected;
  expected.Zip = "sub/a.zip";
  expected.Size = 10;
  expected.Time = -2;
  expected.Crcs = "deadbeef";
  expected.Path = "B/Ball/";
  expected.Files = {{"BALL.PRG"}, {"DISK/A.D64"}};
  expected.UniqueID = 42;
  expected.ExtractedFileCount = 2;
  expected.UnhandledFileCount = 1;
  expected.Status = "Back\\slash\t!";
  expected.Extensions = {"TXT"};
  expected.TapeArchives = 1;
  expected.TapeFiles = 4;
  expected.SidCount = 1;
  expected.Name = "Ball";
  expected.SidFile = "/GAMES/Ball";
  EXPECT_EQ(manifest->Game(0), expected);
  // Written again, it is a version-3 record of the same game.
  const auto again = ParseManifest(ManifestHead("style=0") + ManifestLine(expected), kPath);
  EXPECT_EQ(again->Version, 3);
  EXPECT_EQ(again->Game(0), expected);
}

TEST(ManifestTest, ACutOffRecordKeepsItsWholeLinesAndIsMarkedUnfinished) {
  // What a power cut can leave: a line cut short, or zeros where the file
  // system had not written the bytes yet.
  const std::string whole = ManifestHead("style=0") + GameLine({{fFiles, ""}});
  const struct {
    std::string text;
    size_t games;
  } cases[] = {
      {whole, 1},
      {whole + GameLine({{fZip, "b.zip"}, {fFolder, "B/"}}).substr(0, 30), 1},
      {whole + std::string(4096, '\0'), 1},
      {whole.substr(0, whole.size() - 5) + std::string(100, '\0') + "\n", 0},
      {ManifestHead("style=0"), 0},
  };
  for (const auto& c : cases) {
    const auto manifest = ParseUnfinishedManifest(c.text, kPath);
    EXPECT_TRUE(manifest->Unfinished);
    EXPECT_EQ(manifest->Games.size(), c.games);
  }
  EXPECT_THROW(ParseUnfinishedManifest(ManifestHead("style=0").substr(0, 20), kPath), Error);
  // Taken over as the folder's record, it stays marked until an update
  // finishes the job.
  const test::TempFolder tmp("vq_manifest");
  const TCardFolder card(tmp.Path());
  WriteManifest(card, kManifestName, *ParseUnfinishedManifest(whole, kPath));
  const auto taken = ReadManifest(card, kManifestName);
  EXPECT_TRUE(taken->Unfinished);
  EXPECT_EQ(taken->Games.size(), 1u);
}

TEST(ManifestTest, ARecordWithAnyFaultIsRefusedNamingItsLineAndCause) {
  const std::string p = "\"" + kPath + "\": ";
  const std::string max64 = "9223372036854775807";
  const std::string other = GameLine({{fZip, "b.zip"}, {fFolder, "B/"}});
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", p + "the record is empty"},
      {"# Vondral64 Quillem SD manifest\n", p + "not a record of this program"},
      {"# Vondral64 Quillem SD manifest 4\n", p + "record version \"4\" is not one this program reads"},
      {"# Vondral64 Quillem SD manifest 2\n", p + "no options line"},
      {kHead + "options\tx\n", p + "line 3: a second options line"},
      {"# Vondral64 Quillem SD manifest 2\n" + GameLine(), p + "line 2: a game comes before the options line"},
      {"# Vondral64 Quillem SD manifest 2\noptions\ta\tb\n", p + "line 2: the options line has 3 fields, not 2"},
      {kHead + "games\t1\n", p + "line 3: unknown line kind \"games\""},
      {kHead + GameLine({{fTime, std::string(size_t{1} << 20, '1')}}), p + "line 3: the line is longer than 1 MiB"},
      {kHead + GameLine({{fEnd, "end\textra"}}), p + "line 3: a game line has 23 fields, not 22"},
      {kHead + GameLine({{fEnd, "end\r"}}), p + "line 3: the last field is \"end\\r\", not \"end\""},
      // The zip.
      {kHead + GameLine({{fZip, "../a.zip"}}), p + "line 3: zip path \"../a.zip\" is not a plain relative path"},
      {kHead + GameLine({{fZip, "/a.zip"}}), p + "line 3: zip path \"/a.zip\" is not a plain relative path"},
      {kHead + GameLine({{fZip, "a//b.zip"}}), p + "line 3: zip path \"a//b.zip\" is not a plain relative path"},
      {kHead + GameLine({{fZip, "a\\\\b.zip"}}), p + "line 3: zip path \"a\\\\b.zip\" is not a plain relative path"},
      {kHead + GameLine({{fZip, "a\\x01.zip"}}), p + "line 3: zip path \"a\\x01.zip\" is not a plain relative path"},
      {kHead + GameLine() + GameLine({{fFolder, "B/"}}), p + "line 4: zip path \"a.zip\" was already recorded on line 3"},
      // The game folder.
      {kHead + GameLine({{fFolder, "../a/"}}), p + "line 3: game folder \"../a/\" is not a plain relative path"},
      {kHead + GameLine({{fFolder, "/"}}), p + "line 3: game folder \"/\" is not a plain relative path"},
      {kHead + GameLine({{fFolder, "A/Game"}}), p + "line 3: game folder \"A/Game\" does not end in '/'"},
      {kHead + GameLine({{fFolder, "A/B/C/D/"}}), p + "line 3: game folder \"A/B/C/D/\" has more than 3 parts"},
      {kHead + GameLine({{fFolder, "A/con.txt/"}}), p + "line 3: game folder \"A/con.txt/\": \"con.txt\" is not a valid FAT name"},
      {kHead + GameLine({{fFolder, "A/Game. /"}}), p + "line 3: game folder \"A/Game. /\": \"Game. \" is not a valid FAT name"},
      {kHead + GameLine({{fFolder, "A/a:b/"}}), p + "line 3: game folder \"A/a:b/\": \"a:b\" is not a valid FAT name"},
      {kHead + GameLine({{fFolder, "vqsdtmp1/"}}),
       p + "line 3: game folder \"vqsdtmp1/\" takes a name the job keeps at the top of the output folder"},
      {kHead + GameLine({{fFolder, "vqsd-manife\u017Ft.txt/"}}),
       p + "line 3: game folder \"vqsd-manife\u017Ft.txt/\" takes a name the job keeps at the top of the output folder"},
      // Folders claimed once.
      {kHead + GameLine({{fFolder, "A/"}}) + other + GameLine({{fZip, "c.zip"}, {fFolder, "A/"}}),
       p + "line 5: game folder \"A/\" was already claimed on line 3"},
      {kHead + GameLine({{fFolder, "A/Game/"}}) + GameLine({{fZip, "b.zip"}, {fFolder, "a/game/"}}),
       p + "line 4: game folder \"a/game/\" was already claimed on line 3"},
      {kHead + GameLine({{fFolder, "A/"}}) + GameLine({{fZip, "b.zip"}, {fFolder, "a/B/"}}),
       p + "line 4: game folder \"a/B/\" lies inside the game folder of line 3"},
      {kHead + GameLine({{fFolder, "A/B/C/"}}) + GameLine({{fZip, "b.zip"}, {fFolder, "a/b/"}}),
       p + "line 4: game folder \"a/b/\" holds the game folder of line 3"},
      // The files.
      {kHead + GameLine({{fFiles, "A/../B\x1e" "1\x1e" "2\x1f"}}), p + "line 3: file \"A/../B\" is not a plain relative path"},
      {kHead + GameLine({{fFiles, "DISK/AUX\x1e" "1\x1e" "2\x1f"}}), p + "line 3: file \"DISK/AUX\": \"AUX\" is not a valid FAT name"},
      {kHead + GameLine({{fFiles, "A.PRG\x1e" "1\x1e" "2\x1f" "a.prg\x1e" "1\x1e" "2\x1f"}}),
       p + "line 3: file \"a.prg\" is listed twice"},
      {kHead + GameLine({{fFiles, "A.PRG\x1e" "1\x1f"}}),
       p + "line 3: file entry \"A.PRG\\x1e1\" is not a name, a size and a time"},
      {kHead + GameLine({{fFiles, "A.PRG\x1e-2\x1e" "2\x1f"}}),
       p + "line 3: size of file \"A.PRG\" \"-2\" is not a whole number from -1 to " + max64},
      {kHead + GameLine({{fFiles, "A.PRG\x1e" "1\x1e" "2"}}), p + "line 3: files field has an unended item"},
      // Version 3: CRC-32 values, the game list, the mark of a job cut off.
      {kHead3 + GameLine({{fFiles, "A.PRG\x1e" "1\x1e" "2\x1f"}}),
       p + "line 3: file entry \"A.PRG\\x1e1\\x1e2\" is not a name, a size, a time and a crc"},
      {kHead3 + GameLine({{fFiles, "A.PRG\x1e" "1\x1e" "2\x1e" "0000ABCD\x1f"}}),
       p + "line 3: crc of file \"A.PRG\" \"0000ABCD\" is not 8 hex digits or \"-\""},
      {kHead3 + "file\tnotes.txt\t1\t2\t00000000\n", p + "line 3: file \"notes.txt\" is not a file the job writes at the top"},
      {kHead3 + "file\tGameList.csv\t1\t2\n", p + "line 3: a file line has 4 fields, not 5"},
      {kHead3 + "file\tGameList.csv\t1\t2\t-\nfile\tGameList.csv\t1\t2\t-\n", p + "line 4: file \"GameList.csv\" is listed twice"},
      {kHead + "file\tGameList.csv\t1\t2\t-\n", p + "line 3: unknown line kind \"file\""},
      {kHead3 + GameLine({{fFiles, ""}}) + "unfinished\n", p + "line 4: unknown line kind \"unfinished\""},
      // Numbers.
      {kHead + GameLine({{fSize, "-1"}}), p + "line 3: zip size \"-1\" is not a whole number from 0 to " + max64},
      {kHead + GameLine({{fSize, "+1"}}), p + "line 3: zip size \"+1\" is not a whole number from 0 to " + max64},
      {kHead + GameLine({{fSize, " 1"}}), p + "line 3: zip size \" 1\" is not a whole number from 0 to " + max64},
      {kHead + GameLine({{fSize, "9223372036854775808"}}),
       p + "line 3: zip size \"9223372036854775808\" is not a whole number from 0 to " + max64},
      {kHead + GameLine({{fTime, "1x"}}),
       p + "line 3: zip time \"1x\" is not a whole number from -9223372036854775808 to " + max64},
      {kHead + GameLine({{fId, "2147483648"}}),
       p + "line 3: unique id \"2147483648\" is not a whole number from -2147483648 to 2147483647"},
      {kHead + GameLine({{fExtracted, "-1"}}),
       p + "line 3: extracted file count \"-1\" is not a whole number from 0 to 2147483647"},
      {kHead + GameLine({{fFlag, "2"}}), p + "line 3: id-from-nfo flag \"2\" is not 0 or 1"},
      {kHead + GameLine({{fCrcs, "0000ABCD"}}),
       p + "line 3: crc list \"0000ABCD\" is not 8-digit hex values separated by commas"},
      {kHead + GameLine({{fCrcs, "0000abcd,"}}),
       p + "line 3: crc list \"0000abcd,\" is not 8-digit hex values separated by commas"},
      // Text.
      {kHead + GameLine({{fSids, "a\x01"}}), p + "line 3: tune sources holds a control character"},
      {kHead + GameLine({{fSids, "a\\q"}}), p + "line 3: tune sources holds a malformed escape"},
      {kHead + GameLine({{fSids, "a\\x41"}}), p + "line 3: tune sources holds a malformed escape"},
      {kHead + GameLine({{fSids, "a\\"}}), p + "line 3: tune sources holds a malformed escape"},
  };
  for (const auto& c : cases) {
    try {
      ParseManifest(c.text, kPath);
      ADD_FAILURE() << "accepted; expected: " << c.message;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
  // A file too large to be a record is refused before it is read.
  const test::TempFolder tmp("vq_manifest");
  const std::string large = tmp.Path() + kManifestName;
  WriteWholeFile(large, "", 0);
  std::filesystem::resize_file(large, (uintmax_t{256} << 20) + 1);
  try {
    ReadManifest(TCardFolder(tmp.Path()), kManifestName);
    ADD_FAILURE() << "a record over 256 MiB accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), "\"" + large + "\": the record is larger than 256 MiB");
  }
}

}  // namespace
}  // namespace vq
