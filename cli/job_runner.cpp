#include "cli/job_runner.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>

#include "base/file_system.h"
#include "base/shell_delete.h"
#include "base/text.h"
#include "cli/job_report.h"
#include "engine/card_verify.h"
#include "engine/job_check.h"
#include "engine/job_results.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

// The streams of one run: the summary's stream, errors, the log file and the
// report's destination.
class TRunOutput {
 public:
  TRunOutput(const TCommandLine& command, const TConsole& console) : command_(command), console_(console) {}

  // Opens the log and report files; false, with the error shown, when one
  // cannot be created.
  bool Open() {
    if (!command_.LogFile.empty() && !OpenFile(command_.LogFile, log_)) return false;
    if (!command_.JsonFile.empty() && command_.JsonFile != "-" && !OpenFile(command_.JsonFile, json_)) return false;
    return true;
  }
  // Standard output, or standard error when the report goes to standard output.
  std::ostream& SummaryStream() const { return command_.JsonFile == "-" ? console_.Err : console_.Out; }
  // Progress: the bar on standard error, plain lines beside the summary.
  std::ostream& ProgressStream(TProgressMode mode) const {
    return mode == TProgressMode::Bar ? console_.Err : SummaryStream();
  }
  TProgressMode Mode() const {
    if (command_.Quiet) return TProgressMode::Quiet;
    if (command_.Verbose) return TProgressMode::Verbose;
    return console_.Terminal ? TProgressMode::Bar : TProgressMode::Plain;
  }
  // An error message: standard error and the log.
  void Error(const std::string& text) {
    console_.Err << "vqsd: " << text << "\n";
    Log("vqsd: " + text);
  }
  void Log(const std::string& line) {
    if (log_) *log_ << line << '\n';
  }
  bool Logging() const { return static_cast<bool>(log_); }
  // Writes the report when one is asked for; false when it could not be written.
  bool WriteReport(const TJobReport& report) {
    if (command_.JsonFile.empty()) return true;
    const std::string text = JobReportJson(report);
    std::ostream& out = json_ ? *json_ : console_.Out;
    out << text << std::flush;
    if (out) return true;
    console_.Err << "vqsd: cannot write the report " << command_.JsonFile << "\n";
    return false;
  }
  bool LogWritten() {
    if (!log_) return true;
    log_->flush();
    if (*log_) return true;
    console_.Err << "vqsd: cannot write the log " << command_.LogFile << "\n";
    return false;
  }

 private:
  bool OpenFile(const std::string& path, std::unique_ptr<std::ofstream>& file) {
    file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (file->is_open()) return true;
    console_.Err << "vqsd: cannot create " << path << ": " << std::strerror(errno) << "\n";
    file.reset();
    return false;
  }

  const TCommandLine& command_;
  const TConsole& console_;
  std::unique_ptr<std::ofstream> log_;
  std::unique_ptr<std::ofstream> json_;
};

// The messages for what keeps the job from starting; empty when nothing
// does, or when only an existing output folder does and `replace` allows
// deleting it.
std::vector<std::string> ProblemMessages(const TJobCheck& check, bool replace) {
  std::vector<std::string> messages;
  if (check.Problems.empty() || (replace && check.OnlyOutputExists())) return messages;
  for (const TJobProblem& problem : check.Problems) {
    switch (problem.Kind) {
      case TJobProblemKind::jpNoFolders:
        messages.push_back(problem.Message + " (--source DIR --dest DIR)");
        break;
      case TJobProblemKind::jpOutputExists:
        if (replace) break;
        messages.push_back("Output folder already exists: " + problem.Path +
                           "\nIt would be deleted with all its contents; add --replace to allow that, or --update "
                           "to bring it up to date.");
        break;
      case TJobProblemKind::jpCannotUpdate:
        messages.push_back(problem.Message + "\nUse --replace to write it anew.");
        break;
      default:
        messages.push_back(problem.Message + " (" + problem.Path + ")");
        break;
    }
  }
  return messages;
}

// Runs the job (or the verify) to its end; Ctrl+C through `abortRequested`
// asks it to stop.
template <typename TRun>
TJobOutcome RunToEnd(TRun& job, TProgressPrinter& printer, TRunOutput& output, const std::atomic<bool>& abortRequested) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  job.SetOnProgressUpdate([&](const std::string& status) {
    // Every report is a point where the job may be told to stop.
    if (abortRequested.load()) job.Terminate();
    printer.Update(status);
    if (output.Logging()) output.Log(TProgressPrinter::Flatten(status));
  });
  job.SetOnTerminate([&](TThread&) {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    ended.notify_all();
  });
  job.Start();
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
      if (abortRequested.load()) job.Terminate();
    }
  }
  job.WaitFor();
  return job.Outcome();
}

// The lists of the results, one line each: the refused zips and the games
// with errors, what an update kept, what a verify found.
void LogDetails(const TJobResults& results, TRunOutput& output) {
  for (const TResultSection& section : results.Sections) {
    for (const std::string& line : section.Lines) output.Log(section.Title + ": " + line);
  }
}

// The lists of a verify on `out`: at most kShownPerList lines of each.
void ShowVerifyLists(const TJobResults& results, std::ostream& out) {
  constexpr size_t kShownPerList = 10;
  for (const TResultSection& section : results.Sections) {
    out << section.Title << " (" << section.Lines.size() << "):\n";
    for (size_t k = 0; k < std::min(section.Lines.size(), kShownPerList); ++k) out << "  " << section.Lines[k] << "\n";
    if (section.Lines.size() > kShownPerList) {
      out << "  ... and " << section.Lines.size() - kShownPerList << " more; --log and --json list them all\n";
    }
  }
}

// Removes the output folder when it is empty: a job that failed before
// writing anything leaves nothing behind.
void RemoveIfEmpty(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error) && std::filesystem::is_empty(folder, error)) {
    std::filesystem::remove(folder, error);
  }
}

const char* OutcomeName(TJobOutcome outcome) {
  switch (outcome) {
    case TJobOutcome::joFinished: return "finished";
    case TJobOutcome::joAborted: return "aborted";
    default: return "failed";
  }
}

int RunVerify(const TCommandLine& command, const TConsole& console, const std::atomic<bool>& abortRequested) {
  const auto start = console.Clock();
  TRunOutput output(command, console);
  if (!output.Open()) return kExitUsage;
  const std::string folder = OutputFolder(command.Options);
  TJobReport report;
  report.Command = &command;
  report.OutputFolder = folder;
  report.Outcome = "failed";
  auto finish = [&](int status) {
    report.ExitStatus = status;
    report.ElapsedSeconds = std::chrono::duration<double>(console.Clock() - start).count();
    const bool written = output.WriteReport(report) && output.LogWritten();
    return written ? status : kExitUsage;
  };
  if (Trim(command.Options.DestDir).empty()) {
    report.Problems.push_back("Please specify the destination folder that holds the output folder (--dest DIR).");
    output.Error(report.Problems.back());
    return finish(kExitUsage);
  }
  if (!DirectoryExists(folder)) {
    report.Problems.push_back("There is no output folder to verify: " + folder + " does not exist.");
    output.Error(report.Problems.back());
    return finish(kExitUsage);
  }
  const TProgressMode mode = output.Mode();
  TProgressPrinter printer(output.ProgressStream(mode), mode, console.Width, console.Clock);
  TCardVerifier verifier(folder, JobThreads(command.Options));
  const TJobOutcome outcome = RunToEnd(verifier, printer, output, abortRequested);
  const TJobResults results = VerifyResults(verifier.Report(), verifier.Status());
  LogDetails(results, output);
  std::ostream& out = output.SummaryStream();
  const std::string summary = TProgressPrinter::Flatten(verifier.Status());
  printer.Finish(verifier.Status());
  if (outcome == TJobOutcome::joFailed) {
    report.Problems.push_back(summary);
    output.Error(summary.rfind("ERROR: ", 0) == 0 ? summary.substr(7) : summary);
    return finish(kExitUsage);
  }
  if (!command.Quiet) ShowVerifyLists(results, out);
  const double elapsed = std::chrono::duration<double>(console.Clock() - start).count();
  const std::string closing = Format("Elapsed %.1f s; output folder: %s", elapsed, folder.c_str());
  out << summary << '\n' << closing << std::endl;
  output.Log(closing);
  report.Verify = &verifier.Report();
  report.Summary = summary;
  report.Outcome = OutcomeName(outcome);
  if (outcome == TJobOutcome::joAborted) return finish(kExitAborted);
  return finish(verifier.Report().Clean() ? kExitFinished : kExitDiffers);
}

}  // namespace

int RunJob(const TCommandLine& command, const TConsole& console, const std::atomic<bool>& abortRequested) {
  if (command.Verify) return RunVerify(command, console, abortRequested);
  const auto start = console.Clock();
  TRunOutput output(command, console);
  if (!output.Open()) return kExitUsage;
  const TJobCheck check = CheckJob(command.Options);
  TJobReport report;
  report.Command = &command;
  report.OutputFolder = check.OutputFolder;
  report.Outcome = "failed";
  auto finish = [&](int status) {
    report.ExitStatus = status;
    report.ElapsedSeconds = std::chrono::duration<double>(console.Clock() - start).count();
    const bool written = output.WriteReport(report) && output.LogWritten();
    return written || status != kExitFinished ? status : kExitFailed;
  };

  report.Problems = ProblemMessages(check, command.Replace);
  if (!report.Problems.empty()) {
    for (const std::string& message : report.Problems) output.Error(message);
    return finish(kExitUsage);
  }
  if (check.OnlyOutputExists() && TShellDelete(nullptr).Delete(check.OutputFolder) != TDeleteResult::drDone) {
    output.Error("Error deleting folder. You will need to delete it manually. (" + check.OutputFolder + ": " +
                 std::strerror(errno) + ")");
    return finish(kExitFailed);
  }
  const bool createdOutput = !DirectoryExists(check.OutputFolder);
  ForceDirectories(check.OutputFolder);  // a failure here is met and reported by the job

  const TProgressMode mode = output.Mode();
  TProgressPrinter printer(output.ProgressStream(mode), mode, console.Width, console.Clock);
  TWorkThread job(check.Options);
  job.SetRecord(check.Record);
  const TJobOutcome outcome = RunToEnd(job, printer, output, abortRequested);
  if (outcome == TJobOutcome::joFailed && createdOutput) RemoveIfEmpty(check.OutputFolder);
  LogDetails(JobResults(job), output);

  const std::string summary = TProgressPrinter::Flatten(job.Status());
  const double elapsed = std::chrono::duration<double>(console.Clock() - start).count();
  const std::string closing = Format("Elapsed %.1f s; output folder: %s", elapsed, check.OutputFolder.c_str());
  std::ostream& out = output.SummaryStream();
  if (!printer.Finish(job.Status())) out << summary << '\n';
  out << closing << std::endl;
  output.Log(closing);

  report.Job = &job;
  report.Summary = summary;
  report.Outcome = OutcomeName(outcome);
  switch (outcome) {
    case TJobOutcome::joFinished:
      return finish(job.Counts().FFailedGames > 0 ? kExitGamesFailed : kExitFinished);
    case TJobOutcome::joAborted: return finish(kExitAborted);
    default: break;
  }
  output.Error("the job failed.");
  return finish(kExitFailed);
}

}  // namespace vq
