#include "cli/job_runner.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <ostream>

#include "base/file_system.h"
#include "base/shell_delete.h"
#include "cli/progress_printer.h"
#include "engine/job_check.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

// Shows what keeps the job from starting; false when nothing does, or when
// only an existing output folder does and `replace` allows deleting it.
bool ReportProblems(const TJobCheck& check, bool replace, std::ostream& err) {
  if (check.Problems.empty() || (replace && check.OnlyOutputExists())) return false;
  for (const TJobProblem& problem : check.Problems) {
    switch (problem.Kind) {
      case TJobProblemKind::jpNoFolders:
        err << "vqsd: " << problem.Message << " (--source DIR --dest DIR)\n";
        break;
      case TJobProblemKind::jpOutputExists:
        if (replace) break;
        err << "vqsd: Output folder already exists: " << problem.Path
            << "\nIt would be deleted with all its contents; add --replace to allow that.\n";
        break;
      default:
        err << "vqsd: " << problem.Message << " (" << problem.Path << ")\n";
        break;
    }
  }
  return true;
}

// Runs the job to its end; Ctrl+C through `abortRequested` asks it to stop.
TJobOutcome RunToEnd(TWorkThread& job, TProgressPrinter& printer, const std::atomic<bool>& abortRequested) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  job.SetOnProgressUpdate([&](const std::string& status) {
    // Every report is a point where the job may be told to stop.
    if (abortRequested.load()) job.Terminate();
    printer.Update(status);
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
  printer.Finish(job.Status());
  return job.Outcome();
}

}  // namespace

int RunJob(const TCommandLine& command, std::ostream& out, std::ostream& err, bool interactive, int width,
           const std::atomic<bool>& abortRequested) {
  const TJobCheck check = CheckJob(command.Options);
  if (ReportProblems(check, command.Replace, err)) return kExitUsage;
  if (check.OnlyOutputExists() && TShellDelete(nullptr).Delete(check.OutputFolder) != TDeleteResult::drDone) {
    err << "vqsd: Error deleting folder. You will need to delete it manually. (" << check.OutputFolder << ": "
        << std::strerror(errno) << ")\n";
    return kExitFailed;
  }
  ForceDirectories(check.OutputFolder);  // a failure here is met and reported by the job

  TProgressPrinter printer(out, interactive, width);
  TWorkThread job(check.Options);
  switch (RunToEnd(job, printer, abortRequested)) {
    case TJobOutcome::joFinished: return kExitFinished;
    case TJobOutcome::joAborted: return kExitAborted;
    default: break;
  }
  err << "vqsd: the job failed.\n";
  return kExitFailed;
}

}  // namespace vq
