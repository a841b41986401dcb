#pragma once

#include <string>

#include "engine/arc_info.h"

namespace vq {

class TIniFile;

// Every option of one job, as the front ends collect them and profiles store
// them. Texts are taken as given; CheckJob trims them.
struct TJobOptions {
  std::string SourceDir;   // the collection's games folder
  std::string DestDir;     // the destination; the output folder is made inside it
  std::string HvscDir;     // root of the HVSC collection
  std::string FilterFile;  // RomLister XML export
  TFileNameStyle FileNameStyle = fns1541U;
  TNFOStyle NFOStyle = nsOptimize;
  bool IncludeSIDs = false;
  bool FilterIDs = false;
  bool AutoSwap = false;
  bool ExtractT64 = false;
  bool ForceUppercase = false;  // upper-case folder names in the 1541 Ultimate style
  bool TestMode = false;
  bool KeepGoing = false;  // a game that fails is left out; the job goes on
  // Threads that read and inflate zips at once; 0: one per core the process
  // may use. Never stored in a profile: it shapes no output.
  int Jobs = 0;
  // Bring an existing output folder up to date in place instead of writing
  // it anew. Never stored in a profile.
  bool Update = false;

  bool operator==(const TJobOptions&) const = default;
};

// "Vondral SD" shaped by the style: upper case for the 1541 Ultimate, lower
// case for sd2iec, unchanged otherwise.
std::string OutputFolderName(TFileNameStyle style);
// The output folder of `options`: DestDir, '/', OutputFolderName; no
// trailing '/'.
std::string OutputFolder(const TJobOptions& options);

// The most threads a job is given.
constexpr int kMaxJobs = 64;

// The threads a job with `options` uses: Jobs, or for 0 the number of cores
// the process may run on.
int JobThreads(const TJobOptions& options);

// The section of a settings file or profile that holds the options: "[]".
constexpr const char* kOptionsSection = "";
// The keys of the two radio choices, stored as item indexes.
constexpr const char* kFileNameStyleKey = "Filenamestyle";
constexpr const char* kNFOStyleKey = "NFOStyle";

// The name style of a stored item index; below 0 or above 2 gives fnsNone.
TFileNameStyle FileNameStyleFromIndex(int index);
// The NFO style of a stored item index; 2 or more gives nsExclude, no
// choice (a negative index) nsOptimize.
TNFOStyle NFOStyleFromIndex(int index);

// Reads the options from the options section of `store`; a missing or
// unreadable key gives that option's default.
TJobOptions ReadJobOptions(const TIniFile& store);
// Writes the options into the options section of `store`, in their fixed key
// order, in memory only.
void WriteJobOptions(const TJobOptions& options, TIniFile& store);

}  // namespace vq
