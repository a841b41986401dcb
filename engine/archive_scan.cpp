#include <cstring>
#include <exception>

#include "base/text.h"
#include "engine/directory_listing.h"
#include "engine/work_thread.h"
#include "filter/rom_list.h"
#include "zip/zip_reader.h"

namespace vq {

namespace {

// "*.zip", ignoring letter case.
bool IsZipName(const std::string& name) {
  if (name.size() < 4) return false;
  return AsciiLower(std::string_view(name).substr(name.size() - 4)) == ".zip";
}

}  // namespace

void TWorkThread::ScanDirectory(const std::string& ADir, TArchiveList& AList) {
  UpdateProgress(Format("Scanning zip files. (%d so far.)\r\n%s", FScannedArchives, ClipText(ADir).c_str()));
  const TDirectoryListing listing = ListDirectory(ADir);
  if (listing.Error != 0) {
    ++FUnreadableFolders;
    UpdateProgress(Format("Cannot read folder \"%s\": %s", ClipText(ADir).c_str(), std::strerror(listing.Error)));
  }
  for (const std::string& folder : listing.Folders) {
    if (Terminated()) return;
    ScanDirectory(ADir + folder + '/', AList);
  }
  ++FLoadedDirectories;
  for (const std::string& file : listing.Files) {
    if (Terminated()) return;
    if (!IsZipName(file)) continue;
    ScanArchive(ADir, file, AList);
  }
}

void TWorkThread::ScanArchive(const std::string& ADir, const std::string& fileName, TArchiveList& AList) {
  ++FScannedArchives;
  UpdateProgress(Format("Scanning zip files. (%d so far.)\r\n%s", FScannedArchives, ClipText(fileName).c_str()));
  const std::string path = ADir + fileName;
  FZipper->SetFileName(path);
  try {
    // A file that is not a readable zip counts as invalid like one without
    // a usable VERSION.NFO.
    FZipper->Open();
    AddGame(path, FZipper->ExtractToString("VERSION.NFO"), AList);
  } catch (const std::exception& e) {
    RefuseZip(path, e.what());
  }
  FZipper->Close();
}

void TWorkThread::AddGame(const std::string& path, const std::string& nfo, TArchiveList& AList) {
  RegexMatch match;
  if (!FNameRegex.Search(nfo, match)) {
    RefuseZip(path, "VERSION.NFO has no \"Name:\" line");
    return;
  }
  TArcInfo info;
  info.ZipFile = path;
  info.Name = Trim(Utf8ToUtf16(match.Group(nfo, 1)));
  int32_t id = static_cast<int32_t>(AList.size());
  if (FRegexUniqueID.Search(nfo, match)) {
    int32_t parsed = 0;
    if (TryParseInt32(match.Group(nfo, 1), parsed)) id = parsed;
  }
  info.UniqueID = id;
  if (FIncludeSIDs && FSIDRegex.Search(nfo, match)) info.SIDFile = Utf8ToUtf16(match.Group(nfo, 1));
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
