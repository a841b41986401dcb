#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/job_options.h"
#include "engine/manifest.h"

namespace vq {

// What can keep a job from starting, in the order the checks run.
enum class TJobProblemKind {
  jpNoFolders,     // source or destination not given
  jpNoSource,      // the source folder does not exist
  jpNoHvsc,        // SIDs included, but the HVSC folder does not exist
  jpNoFilter,      // the filter is on, but its file cannot be read
  jpDestination,   // the destination exists and is no folder
  jpOverlap,       // the output folder and the source lie inside one another
  jpOutputExists,  // the output folder exists: deleting it needs consent
  jpCannotUpdate,  // an update was asked for, but the output folder cannot be updated
};

// One problem: its kind, the message the user sees and the path it is about
// (empty where none applies).
struct TJobProblem {
  TJobProblemKind Kind;
  std::string Message;
  std::string Path;
};

// The options of a job, checked before it starts.
struct TJobCheck {
  // The options with their four texts trimmed, the source ending in '/',
  // the HVSC folder ending in '/' when SIDs are included.
  TJobOptions Options;
  // The output folder, without a trailing '/'.
  std::string OutputFolder;
  // Every problem found; empty when the job may start.
  std::vector<TJobProblem> Problems;
  // For an update: the output folder's record, read and checked whole (see
  // TWorkThread::SetRecord).
  std::shared_ptr<const TManifest> Record;

  // True when nothing but an existing output folder stands in the way.
  bool OnlyOutputExists() const;
};

// Checks `options` before a job starts: the folders given and existing, the
// filter file readable, the destination a folder, the output folder and the
// source apart, and whether the output folder exists. Touches nothing.
TJobCheck CheckJob(const TJobOptions& options);

// "" when `fileName` is a filter file with game IDs, else what is wrong
// with it. Reads the whole file.
std::string CheckFilterFile(const std::string& fileName);

}  // namespace vq
