#include "engine/job_results.h"

#include "base/text.h"
#include "engine/card_verify.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

void AddSection(TJobResults& results, std::string title, std::vector<std::string> lines) {
  if (!lines.empty()) results.Sections.push_back({std::move(title), std::move(lines)});
}

std::string FileLine(const TVerifyFile& file) {
  if (file.Problem == TVerifyProblem::vpMissing) return "missing: " + file.Path;
  return "changed: " + file.Path + (file.Detail.empty() ? "" : " (" + file.Detail + ")");
}

}  // namespace

std::string FlattenStatus(const std::string& status) {
  std::string out;
  out.reserve(status.size());
  for (size_t i = 0; i < status.size(); ++i) {
    const char c = status[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < status.size() && status[i + 1] == '\n') ++i;
      out += " | ";
    } else {
      out += c;
    }
  }
  return out;
}

TJobResults JobResults(const TWorkThread& job) {
  TJobResults results;
  results.Summary = FlattenStatus(job.Status());
  std::vector<std::string> refused, failed, kept, changed;
  for (const TInvalidZip& zip : job.InvalidZips()) refused.push_back(zip.Path + ": " + zip.Reason);
  for (const TArcInfo& game : job.Archives()) {
    const std::u16string error = Trim(game.ExtractionStatus);
    if (error.empty()) continue;
    failed.push_back(Utf16ToUtf8(game.Name) + " [" + std::to_string(game.UniqueID) + "] (" +
                     Utf16ToUtf8(game.RealOutPath) + "): " + Utf16ToUtf8(error));
  }
  for (const TKeptEntry& entry : job.KeptEntries()) {
    (entry.Changed ? changed : kept).push_back(entry.Path + (entry.Path == entry.From ? "" : " (was " + entry.From + ")"));
  }
  AddSection(results, "Refused zip", std::move(refused));
  AddSection(results, "Game with errors", std::move(failed));
  AddSection(results, "Not written by the job, kept", std::move(kept));
  AddSection(results, "Changed on the card, kept", std::move(changed));
  return results;
}

TJobResults VerifyResults(const TVerifyReport& report, const std::string& status) {
  TJobResults results;
  results.Summary = FlattenStatus(status);
  std::vector<std::string> files;
  for (const TVerifyGame& game : report.GamesWithProblems) {
    for (const TVerifyFile& file : game.Files) files.push_back(game.Name + ": " + FileLine(file));
  }
  for (const TVerifyFile& file : report.OwnFiles) files.push_back(FileLine(file));
  std::vector<std::string> order;
  for (const std::string& folder : report.OutOfOrder) order.push_back(folder.empty() ? "(the output folder)" : folder);
  AddSection(results, "Not as the job wrote it", std::move(files));
  AddSection(results, "Folder out of order", std::move(order));
  AddSection(results, "Not written by the job", report.NotWritten);
  return results;
}

std::string ResultsText(const TJobResults& results) {
  std::string text = results.Summary + "\n";
  for (const TResultSection& section : results.Sections) {
    text += "\n" + section.Title + " (" + std::to_string(section.Lines.size()) + "):\n";
    for (const std::string& line : section.Lines) text += "  " + line + "\n";
  }
  return text;
}

}  // namespace vq
