#pragma once

#include <string>
#include <vector>

namespace vq {

class TWorkThread;
struct TVerifyReport;

// One list of what a run leaves for the user: a title and one line per item.
struct TResultSection {
  std::string Title;
  std::vector<std::string> Lines;
};

// What a job, an update or a verify leaves for the user to read: its closing
// status on one line and its lists, the same that the log file carries.
struct TJobResults {
  std::string Summary;
  std::vector<TResultSection> Sections;  // only the lists that have items
};

// A status text on one line: each line break (CR LF, CR or LF) becomes " | ".
std::string FlattenStatus(const std::string& status);

// The results of the ended `job`: the zips refused with their reasons, the
// games with errors, and what an update kept that the job did not write or
// that changed on the card.
TJobResults JobResults(const TWorkThread& job);
// The results of a verify: the missing and changed files per game, the
// entries the job did not write and the folders out of order. `status` is
// the verify's closing status.
TJobResults VerifyResults(const TVerifyReport& report, const std::string& status);
// `results` as plain text, lines ended by '\n': the summary, then each
// list under its title with its count.
std::string ResultsText(const TJobResults& results);

}  // namespace vq
