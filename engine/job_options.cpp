#include "engine/job_options.h"

#include <sched.h>

#include <algorithm>
#include <thread>

#include "base/ini_file.h"
#include "base/text.h"

namespace vq {

std::string OutputFolderName(TFileNameStyle style) {
  std::string name = "Vondral SD";
  switch (style) {
    case fns1541U: return AsciiUpper(name);
    case fnsSD2IEC: return AsciiLower(name);
    case fnsNone: break;
  }
  return name;
}

std::string OutputFolder(const TJobOptions& options) {
  std::string folder = options.DestDir;
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + OutputFolderName(options.FileNameStyle);
}

int JobThreads(const TJobOptions& options) {
  if (options.Jobs > 0) return options.Jobs;
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0) return CPU_COUNT(&cpus);
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

TFileNameStyle FileNameStyleFromIndex(int index) {
  switch (index) {
    case 0: return fns1541U;
    case 1: return fnsSD2IEC;
    default: return fnsNone;
  }
}

TNFOStyle NFOStyleFromIndex(int index) {
  if (index <= 0) return nsOptimize;
  return index == 1 ? nsNoOptimize : nsExclude;
}

TJobOptions ReadJobOptions(const TIniFile& store) {
  const std::string_view s = kOptionsSection;
  TJobOptions o;
  o.SourceDir = store.ReadString(s, "SourceDir", "");
  o.DestDir = store.ReadString(s, "DestDir", "");
  o.FileNameStyle = FileNameStyleFromIndex(store.ReadInteger(s, kFileNameStyleKey, 0));
  o.NFOStyle = NFOStyleFromIndex(store.ReadInteger(s, kNFOStyleKey, 0));
  o.IncludeSIDs = store.ReadBool(s, "SIDs", false);
  o.HvscDir = store.ReadString(s, "HVSCDir", "");
  o.FilterIDs = store.ReadBool(s, "Filter", false);
  o.FilterFile = store.ReadString(s, "FilterFile", "");
  o.AutoSwap = store.ReadBool(s, "Autoswap", false);
  o.ExtractT64 = store.ReadBool(s, "ExtractT64", false);
  o.ForceUppercase = store.ReadBool(s, "Force1541UppercaseNames", false);
  o.TestMode = store.ReadBool(s, "TestMode", false);
  o.KeepGoing = store.ReadBool(s, "KeepGoing", false);
  return o;
}

void WriteJobOptions(const TJobOptions& o, TIniFile& store) {
  const std::string_view s = kOptionsSection;
  store.WriteString(s, "SourceDir", o.SourceDir);
  store.WriteString(s, "DestDir", o.DestDir);
  store.WriteInteger(s, kFileNameStyleKey, static_cast<int32_t>(o.FileNameStyle));
  store.WriteInteger(s, kNFOStyleKey, static_cast<int32_t>(o.NFOStyle));
  store.WriteBool(s, "SIDs", o.IncludeSIDs);
  store.WriteString(s, "HVSCDir", o.HvscDir);
  store.WriteString(s, "FilterFile", o.FilterFile);
  store.WriteBool(s, "Filter", o.FilterIDs);
  store.WriteBool(s, "Autoswap", o.AutoSwap);
  store.WriteBool(s, "ExtractT64", o.ExtractT64);
  store.WriteBool(s, "Force1541UppercaseNames", o.ForceUppercase);
  store.WriteBool(s, "TestMode", o.TestMode);
  store.WriteBool(s, "KeepGoing", o.KeepGoing);
}

}  // namespace vq
