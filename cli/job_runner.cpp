#include "cli/job_runner.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <system_error>

#include "base/file_system.h"
#include "cli/progress_printer.h"
#include "engine/work_thread.h"

namespace vq {

int RunJob(const TCliOptions& options, std::ostream& out, std::ostream& err, bool interactive, int width,
           const std::atomic<bool>& abortRequested) {
  const std::string source = IncludeTrailingDelimiter(options.SourceDir);
  const std::string output = IncludeTrailingDelimiter(options.DestDir) + OutputFolderName(options.FileNameStyle);
  if (!DirectoryExists(source)) {
    err << "vqsd: Please specify a valid source directory. (" << options.SourceDir << ")\n";
    return kExitUsage;
  }
  std::string hvsc = options.HvscDir;
  if (options.IncludeSIDs) {
    if (!DirectoryExists(hvsc)) {
      err << "vqsd: Please specify a valid HVSC root directory, or disable the Include SIDs option. (" << hvsc
          << ")\n";
      return kExitUsage;
    }
    hvsc = IncludeTrailingDelimiter(hvsc);
  }

  // The source is never written: the output may neither be it, nor lie
  // inside it, nor hold it (the delete below would take the collection).
  if (PathsOverlap(source, output)) {
    err << "vqsd: The output folder " << output << " and the source folder " << options.SourceDir
        << " must not lie inside one another.\n";
    return kExitUsage;
  }

  std::error_code ec;
  const auto status = std::filesystem::symlink_status(output, ec);
  if (std::filesystem::is_directory(status) || std::filesystem::is_symlink(status)) {
    if (!options.Replace) {
      err << "vqsd: Output folder already exists: " << output
          << "\nIt would be deleted with all its contents; add --replace to allow that.\n";
      return kExitUsage;
    }
    // remove_all deletes links themselves, never what they point to.
    std::filesystem::remove_all(output, ec);
    if (ec) {
      err << "vqsd: Error deleting folder. You will need to delete it manually. (" << output << ": "
          << ec.message() << ")\n";
      return kExitFailed;
    }
  }
  ForceDirectories(output);  // a failure here is met and reported by the job

  TProgressPrinter printer(out, interactive, width);
  TWorkThread job(source, output, hvsc, options.FilterFile, options.FileNameStyle, options.NFOStyle,
                  options.IncludeSIDs, options.FilterIDs, options.AutoSwap, options.ExtractT64, options.ForceUppercase,
                  options.TestMode);
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
  switch (job.Outcome()) {
    case TJobOutcome::joFinished: return kExitFinished;
    case TJobOutcome::joAborted: return kExitAborted;
    default: break;
  }
  err << "vqsd: the job failed.\n";
  return kExitFailed;
}

}  // namespace vq
