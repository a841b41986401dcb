#pragma once

#include <atomic>
#include <iosfwd>

#include "cli/cli_options.h"

namespace vq {

// Checks the options as the desktop window does, prepares the output folder
// (deleting an old one only with Replace) and runs one job, printing its
// progress to `out` and its final status as the last line. Setting
// `abortRequested` aborts the job. `width` is the terminal's width when
// `interactive`. Returns the exit status.
int RunJob(const TCommandLine& command, std::ostream& out, std::ostream& err, bool interactive, int width,
           const std::atomic<bool>& abortRequested);

}  // namespace vq
