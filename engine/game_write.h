#pragma once

#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "base/collator.h"
#include "engine/arc_info.h"
#include "engine/game_files.h"
#include "engine/manifest.h"
#include "engine/work_thread.h"
#include "engine/zip_work.h"

namespace vq {

// One game's writing, done by this thread or, when everything it needs was
// read ahead, by a writer thread while this one goes on with the next game.
struct TGameWrite {
  TArcInfo* Game = nullptr;
  std::string Status;  // its status text
  bool StatusShown = false;
  std::string Folder;  // its game folder, ending in '/'
  bool FolderMade = false;  // the game made its folder; no other game writes there
  size_t LevelsMade = 0;    // the folders made for it, its own and those above
  TPreparedGame Prepared;
  TGameFiles Files;  // the folder's names, with the PC64 files claimed while writing
  std::vector<std::u16string> AutoSwapLines;
  TZipReader* Reader = nullptr;  // for what was not read ahead; none on a writer thread
  TJobCounts Tally;              // what the game adds to the job's counts
  std::vector<TManifestFile> Written;   // the files written into its folder, in order
  std::vector<std::string> Extensions;  // the unknown extensions met
  bool Kept = false;     // an update kept the game as it was
  TManifestGame Record;  // a kept game's record
  std::exception_ptr Failure;
  std::atomic<bool> Done{false};
};

// Adds `item` to a list sorted by `collator`, unless an item equal to it
// ignoring case is there already.
void AddSortedUnique(const TCollator& collator, std::vector<std::u16string>& list, std::u16string item);

}  // namespace vq
