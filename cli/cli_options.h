#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "engine/arc_info.h"

namespace vq {

class TIniFile;

// The options of one command-line run.
struct TCliOptions {
  std::string SourceDir;
  std::string DestDir;   // the chosen destination; the output folder is made inside it
  std::string HvscDir;
  std::string FilterFile;
  TFileNameStyle FileNameStyle = fns1541U;
  TNFOStyle NFOStyle = nsOptimize;
  bool IncludeSIDs = false;
  bool FilterIDs = false;
  bool AutoSwap = false;
  bool ExtractT64 = false;
  bool ForceUppercase = false;
  bool TestMode = false;
  bool Replace = false;  // delete an existing output folder
};

// Exit statuses of the program.
constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAborted = 130;

// Parses the command line into `options`. Returns an exit status when the
// program must stop (help shown: 0; usage error: 2, message written to
// `err`), nothing when the job should run. A profile named with --profile is
// read first; flags given beside it override it.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, TCliOptions& options, std::ostream& out,
                                    std::ostream& err);

// Sets the twelve job options from the empty-named section of a profile.
void ApplyProfile(const TIniFile& profile, TCliOptions& options);

// "Vondral SD" shaped by the style: upper case for the 1541 Ultimate, lower
// case for sd2iec, unchanged otherwise.
std::string OutputFolderName(TFileNameStyle style);

}  // namespace vq
