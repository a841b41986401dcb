#pragma once

#include <string>
#include <vector>

#include "card/card_folder.h"

namespace vq {

// `lines` in Windows-1252 ('?' for characters it lacks), without a
// byte-order mark, every line ended by CR LF.
std::string TextFileBytes(const std::vector<std::u16string>& lines);

// What a text file left on the card: its size and time, and the CRC-32 of
// its bytes.
struct TWrittenText {
  TCardStat Stat;
  int64_t Crc = 0;
};

// Writes `lines` as TextFileBytes gives them to the file `relative` of
// `card`, replacing an existing file; returns what was written.
// Throws vq::Error("<path>: <cause>").
TWrittenText WriteTextLines(const TCardFolder& card, const std::string& relative, const std::vector<std::u16string>& lines);

}  // namespace vq
