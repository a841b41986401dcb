#include "ui/job_options.h"

#include "engine/work_thread.h"

namespace vq {

TThread* CreateWorkThread(const TJobOptions& options, TStatusCallback onProgress) {
  auto* job = new TWorkThread(options.SourceDir, options.DestDir, options.HvscDir, options.FilterFile,
                              options.FileNameStyle, options.NFOStyle, options.IncludeSIDs, options.FilterIDs,
                              options.AutoSwap, options.ExtractT64, options.ForceUppercase, options.TestMode);
  job->SetOnProgressUpdate(std::move(onProgress));
  return job;
}

}  // namespace vq
