#include <sys/stat.h>

#include <cstring>
#include <exception>

#include "base/text.h"
#include "engine/directory_listing.h"
#include "engine/ordered_pipeline.h"
#include "engine/work_thread.h"
#include "engine/zip_work.h"
#include "filter/rom_list.h"

namespace vq {

// One step of the scan, in the order the source tree is walked.
struct TScanStep {
  enum TKind { skFolder, skUnreadable, skFolderDone, skZip } Kind;
  std::string Path;  // the folder, or the zip's folder
  std::string Name;  // the zip's file name
  int Error = 0;     // why the folder could not be read
};

namespace {

// "*.zip", ignoring letter case.
bool IsZipName(const std::string& name) {
  if (name.size() < 4) return false;
  return AsciiLower(std::string_view(name).substr(name.size() - 4)) == ".zip";
}

// Zips read ahead of the one the scan takes, per thread.
constexpr size_t kZipsAheadPerThread = 64;

}  // namespace

void TWorkThread::ScanDirectory(const std::string& ADir, TArchiveList& AList) {
  std::vector<TScanStep> steps;
  WalkSourceTree(ADir, steps);
  std::vector<const TScanStep*> zips;
  for (const TScanStep& step : steps) {
    if (step.Kind == TScanStep::skZip) zips.push_back(&step);
  }
  const int threads = PipelineThreads();
  TOrderedPipeline<TScannedZip> pipeline(
      zips.size(), threads, kZipsAheadPerThread * static_cast<size_t>(threads),
      [&](size_t i, int thread) { return ScanZip(zips[i]->Path + zips[i]->Name, Worker(thread)); },
      [this] { return Terminated(); });
  // Every status, count and game in walking order, as one thread finds them.
  for (const TScanStep& step : steps) {
    if (Terminated()) return;
    switch (step.Kind) {
      case TScanStep::skFolder:
        UpdateProgress(Format("Scanning zip files. (%d so far.)\r\n%s", FScannedArchives, ClipText(step.Path).c_str()));
        break;
      case TScanStep::skUnreadable:
        ++FUnreadableFolders;
        UpdateProgress(
            Format("Cannot read folder \"%s\": %s", ClipText(step.Path).c_str(), std::strerror(step.Error)));
        break;
      case TScanStep::skFolderDone:
        ++FLoadedDirectories;
        break;
      case TScanStep::skZip: {
        ++FScannedArchives;
        UpdateProgress(
            Format("Scanning zip files. (%d so far.)\r\n%s", FScannedArchives, ClipText(step.Name).c_str()));
        std::optional<TScannedZip> scanned = pipeline.Take();
        if (!scanned) return;
        const std::string path = step.Path + step.Name;
        if (scanned->Valid) {
          AddGame(path, *scanned, AList);
        } else {
          RefuseZip(path, std::move(scanned->Reason));
        }
        break;
      }
    }
  }
}

TScannedZip TWorkThread::ScanZip(const std::string& path, TZipWorker& worker) const {
  // An update takes a zip whose size and time are the recorded ones from
  // its record, without opening it.
  if (FOldManifest) {
    const auto found = FOldByZip.find(RelativeZip(path));
    struct stat st {};
    if (found != FOldByZip.end() && ::stat(path.c_str(), &st) == 0) {
      const TManifestEntry& was = FOldManifest->Games[found->second];
      const int64_t time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      if (static_cast<uint64_t>(st.st_size) == was.Size && time == was.Time) {
        return worker.FromRecord(FOldManifest->Game(found->second));
      }
    }
  }
  return worker.Scan(path);
}

void TWorkThread::WalkSourceTree(const std::string& ADir, std::vector<TScanStep>& steps) {
  steps.push_back({TScanStep::skFolder, ADir, {}, 0});
  const TDirectoryListing listing = ListDirectory(ADir);
  if (listing.Error != 0) steps.push_back({TScanStep::skUnreadable, ADir, {}, listing.Error});
  for (const std::string& folder : listing.Folders) {
    if (Terminated()) return;
    WalkSourceTree(ADir + folder + '/', steps);
  }
  steps.push_back({TScanStep::skFolderDone, ADir, {}, 0});
  for (const std::string& file : listing.Files) {
    if (Terminated()) return;
    if (IsZipName(file)) steps.push_back({TScanStep::skZip, ADir, file, 0});
  }
}

void TWorkThread::AddGame(const std::string& path, TScannedZip& scanned, TArchiveList& AList) {
  TArcInfo info;
  info.ZipFile = path;
  info.Name = std::move(scanned.Name);
  info.UniqueID = scanned.UniqueID.value_or(static_cast<int32_t>(AList.size()));
  info.IdFromNfo = scanned.UniqueID.has_value();
  info.SIDFile = std::move(scanned.SIDFile);
  info.ZipSize = scanned.Size;
  info.ZipTime = scanned.Time;
  info.ZipCrcs = std::move(scanned.Crcs);
  info.SidKey = std::move(scanned.SidKey);
  if (FFilterIDs && FRomList && !FRomList->GetContainsID(info.UniqueID)) {
    ++FFilteredCount;
  } else {
    AList.push_back(std::move(info));
    ++FLoadedArchives;
  }
}

void TWorkThread::RefuseZip(const std::string& path, std::string reason) {
  ++FIgnoredZipfiles;
  // The zip reader's messages begin with the zip's path, which is known.
  if (reason.starts_with(path + ": ")) reason.erase(0, path.size() + 2);
  FInvalidZips.push_back({path, std::move(reason)});
}

}  // namespace vq
