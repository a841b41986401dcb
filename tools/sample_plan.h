#pragma once

#include <cstdint>
#include <string>

#include "tools/sample_collection.h"

// The plan of one sample game: every decision that spans games, made in one
// serial pass before the games are written in parallel.
namespace vq::tools {

// The special case a game stands for; each one but spNone goes to exactly
// one game of a collection with at least kMinSpecialGames games.
enum class TSpecial : uint8_t {
  spNone, spNotAZip, spTruncated, spCorruptNfo, spNoNfo, spNoName, spHidden, spBigID, spNoID1,
  spNoID2, spZipFolder, spUpperExt, spDotFile, spSidOneBlank, spReadmeOnly, spBadTape,
  spNameNextLine, spNameTrailing, spLowerLabels, spSubFolder1, spSubFolder2, spSubFolder3,
  spSidBackslash, spSidCase, spSidPrg, spSidMissing, spCount
};
using enum TSpecial;
static_assert(static_cast<int>(spCount) - 1 <= kMinSpecialGames);

// What the writer of one game needs beside its TSampleGame.
struct TGamePlan {
  uint64_t Seed = 0;            // seed of the game's own random sequence
  TSpecial Special = spNone;    // the special case the game stands for
  std::string BaseName;         // the file name part that member names start with
  bool SidUpperSuffix = false;  // the "SID:" value ends in ".SID" instead of ".sid"
};

}  // namespace vq::tools
