#pragma once

#include <iosfwd>
#include <optional>

#include "engine/job_options.h"

namespace vq {

// What one command-line run is asked to do.
struct TCommandLine {
  TJobOptions Options;
  bool Replace = false;  // delete an existing output folder
};

// Exit statuses of the program.
constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAborted = 130;

// Parses the command line into `command`. Returns an exit status when the
// program must stop (help shown: 0; usage error: 2, message written to
// `err`), nothing when the job should run. A profile named with --profile is
// read first; flags given beside it override it.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, TCommandLine& command, std::ostream& out,
                                    std::ostream& err);

}  // namespace vq
