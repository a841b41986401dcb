#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/arc_info.h"

namespace vq {

// Orders games by folder name (name comparison), then by smaller UniqueID.
int CompareArcInfo(const TArcInfo& a, const TArcInfo& b);

// Sorts `list` with CompareArcInfo; equal games may change places.
void SortArchiveList(TArchiveList& list);

// Splits every letter group of more than 250 games of the sorted `list` into
// subfolders and sets their OutSubDir (empty for the other games). A run of
// equal folder names always stays in one subfolder, which may then hold more
// than 251 games. Checks `terminated` (may be empty) before each group.
void BuildOutputMatrix(TArchiveList& list, const std::function<bool()>& terminated);

// The name of the subfolder that begins with folder name `next`, after the
// subfolder `current` that ends with `last`: the shortest differing prefix of
// at least two characters, trimmed, and longer where it would equal
// `current`; "CON", "AUX" and "NUL" become four characters.
std::u16string NextSubDirName(std::u16string_view last, std::u16string_view next, std::u16string_view current);

// The game folder relative to the destination, ending in '/', for a job of
// `gameCount` games: "name/", "L/name/" or "L/SUB/name/".
std::u16string PlaceGame(const TArcInfo& info, size_t gameCount);

}  // namespace vq
