#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/sample_images.h"  // MakeD64Image, MakeT64Archive

// A generator of deterministic sample collections for tests, benchmarks and
// the demo: game zips laid out like the Vondral 64 "games" folder, a small
// HVSC tree and a RomLister export.
//
// Layout under the output folder:
//   games/<group>/<Title>_<id>.zip   group: "A".."Z", "0-9" or "#"
//   games/<group>/<sub>/...          a few zips one level deeper
//   games/<group>/Misc.zip/...       a folder whose name ends in ".zip"
//   games/.hidden/...                a hidden folder (never scanned)
//   games/notazip.zip                a file named like a zip that is none
//   games/<group>/.<Title>_<id>.zip  a hidden zip file in a walked folder (scanned)
//   hvsc/MUSICIANS/<X>/<Name>/<Tune>.sid (a few only as .prg), hvsc/GAMES/...
//   romlist.xml
//
// Unique IDs are distinct and all above GameCount, so a written ID never
// equals the fallback position the scan gives a game without one.
// With GameCount at least kMinSpecialGames the collection holds, each in a
// game of its own: one game of every TSampleFlaw; one Hidden game; a
// "Unique-ID:" of 2147483648 and two games without that line (more come at
// random); a zip in a folder named "Misc.zip"; a zip named "*.ZIP"; a zip
// file whose name starts with "."; a "SID:" line with one blank; a zip
// holding only readme.txt and VERSION.NFO; a ".t64" member that is no tape
// (BadTape); "Name:" alone with the title on the next line; a title followed
// by blanks; lower-case labels ("name:", "unique-id:", "sid:"); three zips
// in sub-folders (more at random); SID paths written with backslashes and in
// another letter case than on disk (both present in HVSC); a tune present
// only as ".prg"; a tune missing from HVSC. Smaller collections hold plain
// valid games.
namespace vq::tools {

// The smallest game count that gets every special game.
constexpr int kMinSpecialGames = 32;

// What the generator writes.
struct TSampleOptions {
  uint32_t Seed = 1;      // the same seed and count give the same bytes
  int GameCount = 300;    // games written (broken zips included)
  bool WithHvsc = true;   // write the small HVSC tree
  bool WithRomList = true;  // write the RomLister export
};

// Why a game's zip cannot be loaded by the scan.
enum class TSampleFlaw : uint8_t {
  sfNone,        // a readable zip with a usable VERSION.NFO
  sfNotAZip,     // "notazip.zip": plain text, no zip structure
  sfTruncated,   // a zip cut short: it cannot be opened
  sfCorruptNfo,  // the VERSION.NFO member's compressed data is damaged
  sfNoNfo,       // a readable zip without VERSION.NFO
  sfNoName,      // VERSION.NFO without a "Name:" line
};
using enum TSampleFlaw;

// One generated game, as the generator meant it: what a test expects.
struct TSampleGame {
  std::string ZipPath;              // full path of the zip
  std::string Title;                // the "Name:" value as written (UTF-8, before Windows-1252 encoding), trimmed
  int32_t UniqueID = -1;            // the "Unique-ID:" value, -1 when the NFO has none or it exceeds 2147483647
  std::string UniqueIDText;         // the digits as written after "Unique-ID:", empty without that line
  bool Valid = true;                // false for broken zips and zips without a usable NFO
  TSampleFlaw Flaw = sfNone;        // what breaks the zip when Valid is false
  bool Hidden = false;              // lies in a hidden folder: the scan never sees it (Valid stays true)
  bool InRomList = false;           // listed in the RomLister export
  std::string SidPath;              // the "SID:" value without ".sid" ('/' separated), empty if none
  std::string SidText;              // the SID line's value as written ('\' or '/', any case) without ".sid";
                                    // set even where the line does not count (one blank after "SID:")
  bool SidInHvsc = false;           // the tune exists in the HVSC tree
  std::string SidFileOnDisk;        // the tune's path under HvscDir as stored (".sid" or ".prg"), empty if missing
  std::vector<std::string> Entries; // stored paths of the zip's members, in archive order (folders end in '/')
  int D64Count = 0;                 // members whose name ends in ".d64" (any case)
  int ImageCount = 0;               // members with an image extension: D64 D81 CRT TAP G64 REU T64
  int UnhandledCount = 0;           // file members with any other extension, ".nfo" excepted
  int TapeFileCount = 0;            // PRG files held by the game's well-formed T64 members
  bool BadTape = false;             // holds a ".t64" member that is not a tape archive
};

// The generated collection.
struct TSampleCollection {
  std::string GamesDir;     // source folder of the job, ending in '/'
  std::string HvscDir;      // HVSC root, ending in '/'; empty without HVSC
  std::string RomListFile;  // the RomLister export; empty without it
  std::vector<TSampleGame> Games;  // every game written, in generation order
};

// Writes a deterministic collection under `outDir` (created when missing):
// outDir/games/..., outDir/hvsc/..., outDir/romlist.xml. Existing files of
// the same names are replaced; nothing else is removed.
// Throws vq::Error on a write failure.
TSampleCollection GenerateSampleCollection(const std::string& outDir, const TSampleOptions& options);

}  // namespace vq::tools
