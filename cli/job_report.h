#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"

namespace vq {

class TWorkThread;
struct TVerifyReport;

// Writes JSON text by hand: objects and arrays indented by two spaces,
// strings as UTF-8 with quotes, backslashes and control characters escaped
// and invalid UTF-8 replaced by U+FFFD. The caller keeps the nesting right.
class TJsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // The key of the next value in an object.
  void Key(std::string_view name);
  void String(std::string_view value);
  void Number(int64_t value);
  void Number(double value);
  void Bool(bool value);

  // The text so far.
  const std::string& Text() const { return text_; }

  // `value` as a JSON string literal.
  static std::string Quote(std::string_view value);

 private:
  void Open(char bracket);
  void Close(char bracket);
  void BeforeValue();
  void NewLine();

  std::string text_;
  std::vector<bool> has_items_;  // per open level: something written in it
  bool after_key_ = false;
};

// Everything the report of one run tells.
struct TJobReport {
  const TCommandLine* Command = nullptr;
  std::string OutputFolder;
  std::string Outcome;  // "finished", "aborted" or "failed"
  int ExitStatus = 0;
  double ElapsedSeconds = 0;
  std::string Summary;                // the job's closing status; empty when it never ran
  std::vector<std::string> Problems;  // what kept the job from starting
  const TWorkThread* Job = nullptr;   // the ended job; null when it never ran
  const TVerifyReport* Verify = nullptr;  // what a verify found; null for a job
};

// The report as a JSON object: program and version, the options, the
// outcome and exit status, the summary, elapsed seconds, the output folder,
// the counts, the refused zips with their reasons, the games with errors,
// the unknown extensions and the problems that kept the job from starting;
// for a verify, what it found ("verify") in place of the job's counts and
// lists.
std::string JobReportJson(const TJobReport& report);

}  // namespace vq
