#pragma once

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/arc_info.h"
#include "engine/job_options.h"
#include "engine/work_thread.h"
#include "temp_folder.h"

namespace vq::test {

// One test job: the job's options and how the test runs it.
struct TestJob : TJobOptions {
  // Create the output folder first, as the front ends do.
  bool CreateDest = true;
  // Called with each status on the worker; may call job.Terminate().
  std::function<void(const std::string&, TWorkThread&)> OnStatus;
  // The folder the job writes into.
  std::string Output() const { return OutputFolder(*this); }
};

// What a finished test job left.
struct JobResult : TJobCounts {
  std::vector<std::string> Statuses;
  std::string Final;
  TJobOutcome Outcome = TJobOutcome::joRunning;
  TArchiveList Archives;
  std::vector<TInvalidZip> InvalidZips;
  bool TerminateNoticeRan = false;
};

// Runs one job on its worker thread and waits for it.
JobResult RunJob(const TestJob& options);

// Writes a text file (bytes as given), creating parent folders.
void WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it does not exist.
std::string ReadFile(const std::string& path);
// An NFO text with CR LF line ends.
std::string Nfo(const std::string& title, int id = -1, const std::string& sid = {});
// A game zip holding VERSION.NFO and the given members (name, data).
void WriteGameZip(const std::string& path, const std::string& nfo,
                  const std::vector<std::pair<std::string, std::string>>& members = {});

// A T64 archive of PRG files (name, load address, data) laid out by hand.
std::string TapeArchive(const std::vector<std::tuple<std::string, uint16_t, std::string>>& files);

// The collection of hostile names: `root`games/ holds seven game zips
// whose titles, members and tune name FAT refuses or takes for one (names
// with ? : and line breaks, DOS device names, paths leaving the folder,
// members and titles equal ignoring case, "./" members, two tapes of one
// name), and `root`hvsc/ the one tune, named "Odd?Tune". `root` ends in '/'.
void WriteHostileCollection(const std::string& root);

// Every file under `root` (relative path -> content hash and size), for
// proving that a tree did not change.
std::map<std::string, std::string> TreeFingerprint(const std::string& root);
// Relative paths of every file and folder under `root` ("dir/" for folders), sorted.
std::vector<std::string> ListTree(const std::string& root);

}  // namespace vq::test
