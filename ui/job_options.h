#pragma once

#include <functional>
#include <string>

#include "engine/arc_info.h"
#include "engine/thread.h"

namespace vq {

// The twelve options the window hands to a job, in the order of the job's
// constructor.
struct TJobOptions {
  std::string SourceDir;   // trimmed, ending in '/'
  std::string DestDir;     // the output folder itself, without a trailing '/'
  std::string HvscDir;     // trimmed; '/' added only when SIDs are included
  std::string FilterFile;  // trimmed
  TFileNameStyle FileNameStyle = fns1541U;
  TNFOStyle NFOStyle = nsOptimize;
  bool IncludeSIDs = false;
  bool FilterIDs = false;
  bool AutoSwap = false;
  bool ExtractT64 = false;
  bool ForceUppercase = false;
  bool TestMode = false;
};

// The job's status callback (UTF-8 text), called on the UI thread.
using TStatusCallback = std::function<void(const std::string& status)>;
// Creates a suspended job with its status callback set. The caller sets the
// termination handler, the dispatcher and self-freeing, then starts it; from
// then on the thread owns itself.
using TJobFactory = std::function<TThread*(const TJobOptions& options, TStatusCallback onProgress)>;

// The real job: a TWorkThread built from `options`.
TThread* CreateWorkThread(const TJobOptions& options, TStatusCallback onProgress);

}  // namespace vq
