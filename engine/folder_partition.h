#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "engine/arc_info.h"

namespace vq {

// Orders games by folder name (name comparison), then by smaller UniqueID.
int CompareArcInfo(const TArcInfo& a, const TArcInfo& b);

// Sorts `list` with CompareArcInfo.
void SortArchiveList(TArchiveList& list);

// Splits every letter group of more than 250 games of the sorted `list` into
// subfolders and sets their OutSubDir. Checks `terminated` before each group.
void BuildOutputMatrix(TArchiveList& list, const std::function<bool()>& terminated);

// The game folder relative to the destination, ending in '/', for a job of
// `gameCount` games: "name/", "L/name/" or "L/SUB/name/".
std::u16string PlaceGame(const TArcInfo& info, size_t gameCount);

}  // namespace vq
