#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

namespace vq {

// Shows the job's status texts on a terminal: one updating line when the
// output is a terminal, else plain lines, at most a few per second apart
// from changes of phase. Status texts hold CR LF line breaks.
class TProgressPrinter {
 public:
  TProgressPrinter(std::ostream& out, bool interactive, int width = 100);

  // Takes one status text; prints it when due.
  void Update(const std::string& status);
  // Prints the final text as the last line of output.
  void Finish(const std::string& status);

  // The status on one line: line breaks become " | ".
  static std::string Flatten(const std::string& status);
  // The phase of a status: its text up to the first '(' or line break.
  static std::string Phase(const std::string& status);

 private:
  std::ostream& out_;
  bool interactive_;
  int width_;
  bool line_open_ = false;
  std::string last_phase_;
  std::string last_printed_;  // plain mode: the last line written
  std::chrono::steady_clock::time_point last_print_{};
};

}  // namespace vq
