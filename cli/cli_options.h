#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "engine/job_options.h"

namespace vq {

// What one command-line run is asked to do.
struct TCommandLine {
  TJobOptions Options;
  bool Replace = false;  // delete an existing output folder
  bool Verify = false;   // verify the output folder against its record; write nothing
  bool Quiet = false;    // only errors and the final summary
  bool Verbose = false;  // every status as a plain line
  std::string LogFile;   // every message and each refused zip; empty: none
  std::string JsonFile;  // the machine-readable report; "-": standard output; empty: none
};

// Exit statuses of the program.
constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitGamesFailed = 3;  // finished, but --keep-going left games out
// --verify: 0 when the card matches its record, kExitDiffers when it does
// not, kExitUsage when there is nothing to verify.
constexpr int kExitDiffers = 1;
constexpr int kExitAborted = 130;

// The program's version, "1.0.0.0".
std::string ProgramVersion();

// Parses the command line into `command`. Returns an exit status when the
// program must stop (help or version shown: 0; usage error: 2, message
// written to `err`), nothing when the job should run. A profile named with
// --profile is read first; options given beside it override it, the --no-
// forms included.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, TCommandLine& command, std::ostream& out,
                                    std::ostream& err);

}  // namespace vq
