#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace vq {

// The time source of the command line's progress and elapsed time; tests
// inject one that needs no real waiting.
using TClock = std::function<std::chrono::steady_clock::time_point()>;
// The steady clock.
TClock SteadyClock();

// What a job's status text says about its progress. Status texts hold CR LF
// line breaks; the first line names the phase and may carry counts, as in
// "Scanning zip files. (123 so far.)" or "Extracting archives (5/600)".
struct TProgressStatus {
  std::string Phase;   // the first word of the first line: "Scanning", "Extracting", ...
  std::string Line;    // the first line, counts and all
  int64_t Done = -1;   // games or zip files so far; -1: none given
  int64_t Total = -1;  // the whole; -1: not known
};
TProgressStatus ParseStatus(const std::string& status);

// How progress shows.
enum class TProgressMode {
  Quiet,    // not at all
  Bar,      // one line redrawn at most ten times a second (a terminal)
  Plain,    // plain lines at most once a second
  Verbose,  // every status as a plain line
};

// Shows the job's status texts on `out` in one of the modes. The clock
// decides what is due and measures the rates.
class TProgressPrinter {
 public:
  TProgressPrinter(std::ostream& out, TProgressMode mode, int width, TClock clock);

  // Takes one status text; shows it when due.
  void Update(const std::string& status);
  // Ends the progress: clears the bar. Returns true when `summary` was
  // already the last plain line written.
  bool Finish(const std::string& summary);

  // The status on one line: line breaks become " | ".
  static std::string Flatten(const std::string& status);
  // The bar line for `status`, `seconds` after its phase began with
  // `doneAtStart` done, at most `width` - 1 bytes: the phase, a bar, done of
  // total, percent, the rate and the time left; without a total the count
  // and the rate only; without counts the status's first line.
  static std::string BarLine(const TProgressStatus& status, double seconds, int64_t doneAtStart, int width);

 private:
  std::ostream& out_;
  TProgressMode mode_;
  int width_;
  TClock clock_;
  bool line_open_ = false;
  bool printed_any_ = false;
  std::chrono::steady_clock::time_point last_print_{};
  std::string phase_;  // the phase the rate is measured over
  std::chrono::steady_clock::time_point phase_start_{};
  int64_t phase_done_ = 0;
  std::string last_printed_;  // plain modes: the last line written
};

}  // namespace vq
