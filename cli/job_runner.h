#pragma once

#include <atomic>
#include <iosfwd>

#include "cli/cli_options.h"
#include "cli/progress_printer.h"

namespace vq {

// Where a run writes and how it measures time.
struct TConsole {
  std::ostream& Out;      // standard output: the summary (and the report with --json -)
  std::ostream& Err;      // standard error: errors, and the progress bar on a terminal
  bool Terminal = false;  // standard error is a terminal: progress as one redrawn line there
  int Width = 100;        // the terminal's width
  TClock Clock = SteadyClock();
};

// Checks the options as the desktop window does, prepares the output folder
// (deleting an old one only with Replace) and runs one job. Progress goes to
// standard error as a bar on a terminal, else as plain lines to standard
// output; the job's closing status and then the elapsed time with the
// output folder are the last lines of standard output (of standard error
// when the JSON report goes to standard output). Writes the log and the
// report when asked. Setting `abortRequested` aborts the job. Returns the
// exit status. With Verify, verifies the output folder instead: its lists
// (at most ten lines each) and its summary on standard output, the exit
// status 0 (it matches its record), 1 (it differs) or 2 (nothing to verify).
int RunJob(const TCommandLine& command, const TConsole& console, const std::atomic<bool>& abortRequested);

}  // namespace vq
