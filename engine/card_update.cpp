// Bringing an output folder up to date in place: the games whose zips did
// not change stay, or move with a rename; the rest is written as a fresh job
// writes it; every folder whose entries changed gets them again in the job's
// order, since the devices list a folder in the order of its entries.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <unordered_map>

#include "base/error.h"
#include "base/file_system.h"
#include "base/shell_delete.h"
#include "base/text.h"
#include "engine/folder_partition.h"
#include "engine/game_write.h"
#include "engine/manifest.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

// The folders that hold what an update moves aside. Names of eight upper-case
// letters and digits take the fewest directory slots on FAT.
constexpr const char* kHolder = kUpdateHolder;
constexpr const char* kSecondHolder = kSecondUpdateHolder;

// The folder that holds `path` ("A/AB/Game/" -> "A/AB/"; "Game/" -> "").
std::string ContainerOf(const std::string& path) {
  const size_t slash = path.find_last_of('/', path.size() - 2);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string_view ContainerOf(std::string_view path) {
  const size_t slash = path.find_last_of('/', path.size() - 2);
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// The last part of a folder path, with its '/'.
std::string_view LastPart(std::string_view path) { return path.substr(ContainerOf(path).size()); }

// Every folder's children, in the order the games' paths list them; views
// into `paths`.
std::map<std::string_view, std::vector<std::string_view>> Children(const std::vector<std::string_view>& paths) {
  std::map<std::string_view, std::vector<std::string_view>> children;
  for (const std::string_view path : paths) {
    for (std::string_view part = path; !part.empty(); part = ContainerOf(part)) {
      std::vector<std::string_view>& list = children[ContainerOf(part)];
      if (std::find(list.begin(), list.end(), LastPart(part)) == list.end()) list.push_back(LastPart(part));
    }
  }
  return children;
}

// The names in `folder` in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::string& folder) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

void Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int err = errno;
    throw SystemError(Format("Cannot move \"%s\" to \"%s\"", ClipText(from).c_str(), ClipText(to).c_str()), err);
  }
}

void MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) {
    const int err = errno;
    throw SystemError(Format("Unable to create directory \"%s\"", ClipText(path).c_str()), err);
  }
}

}  // namespace

std::string TWorkThread::RelativeZip(const std::string& zip) const {
  return zip.starts_with(FSourceDir) ? zip.substr(FSourceDir.size()) : zip;
}

TManifestGame TWorkThread::SourceRecord(const TArcInfo& game) const {
  TManifestGame record;
  record.Zip = RelativeZip(game.ZipFile);
  record.Size = game.ZipSize;
  record.Time = game.ZipTime;
  record.Crcs = game.ZipCrcs;
  record.Sids = game.SidKey;
  record.Name = Utf16ToUtf8(game.Name);
  record.SidFile = Utf16ToUtf8(game.SIDFile);
  record.IdFromNfo = game.IdFromNfo;
  return record;
}

void TWorkThread::LoadOldManifest() {
  FOldManifest = ReadManifest(FindManifest(FDestDir));
  for (size_t j = 0; j < FOldManifest->Games.size(); ++j) FOldByZip.emplace(FOldManifest->Games[j].Zip, j);
}

void TWorkThread::PlanUpdate() {
  UpdateProgress("Comparing with the output folder...");
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  if (!FTestMode) RestoreLeftAside();
  const size_t n = ArchiveList.size();
  // Views into the games' paths: a large collection is planned without
  // copies of them.
  std::vector<std::string> newPaths;
  newPaths.reserve(n);
  std::unordered_map<std::string_view, int> newUses, oldUses;
  for (TArcInfo& game : ArchiveList) {
    game.RealOutPath = PlaceGame(game, n);
    ++newUses[newPaths.emplace_back(Utf16ToUtf8(game.RealOutPath))];
  }
  std::vector<std::string_view> oldPaths;
  oldPaths.reserve(old.size());
  for (const TManifestEntry& was : old) ++oldUses[oldPaths.emplace_back(was.Path)];
  // A game stays when its sources and folder name are the ones written, it
  // has its folder to itself, and the folder is there.
  FReuse.assign(n, -1);
  std::vector<bool> oldTaken(old.size(), false);
  std::vector<bool> oldFound(old.size(), false);
  for (size_t i = 0; i < n; ++i) {
    const TArcInfo& game = ArchiveList[i];
    const TManifestGame source = SourceRecord(game);
    const auto found = FOldByZip.find(source.Zip);
    if (found == FOldByZip.end()) {
      ++FUpdateCounts.Added;
      continue;
    }
    oldFound[found->second] = true;
    const TManifestEntry& was = old[found->second];
    const bool same = FOldManifest->Game(found->second).SameSource(source) && LastPart(was.Path) == LastPart(newPaths[i]) &&
                      newUses[newPaths[i]] == 1 && oldUses[was.Path] == 1 && !oldTaken[found->second] &&
                      DirectoryExists(FDestDir + was.Path);
    if (!same) {
      ++FUpdateCounts.Changed;
      continue;
    }
    FReuse[i] = static_cast<int>(found->second);
    oldTaken[found->second] = true;
    ++(was.Path == newPaths[i] ? FUpdateCounts.Kept : FUpdateCounts.Moved);
  }
  FUpdateCounts.Deleted = static_cast<int32_t>(std::count(oldFound.begin(), oldFound.end(), false));
  // The folders whose entries change: the output folder always (its game
  // list and record are written anew), and every folder whose list of
  // entries differs.
  std::vector<std::string_view> newViews(newPaths.begin(), newPaths.end());
  const auto before = Children(oldPaths);
  const auto after = Children(newViews);
  FChangedFolders = {""};
  for (const auto* side : {&before, &after}) {
    for (const auto& [folder, list] : *side) {
      const auto a = before.find(folder);
      const auto b = after.find(folder);
      const bool equal = a != before.end() && b != after.end() && a->second == b->second;
      if (!equal) FChangedFolders.emplace(folder);
    }
  }
  // A folder that holds more or other entries than its record says (an
  // update cut off, or a hand) is filled again as well.
  for (const auto& [folder, list] : before) {
    const std::string name(folder);
    if (name.empty() || FChangedFolders.count(name) || !DirectoryExists(FDestDir + name)) continue;
    std::vector<std::string> present = ListingOrder(FDestDir + name);
    std::vector<std::string> recorded;
    recorded.reserve(list.size());
    for (const std::string_view child : list) recorded.emplace_back(child.substr(0, child.size() - 1));
    std::sort(present.begin(), present.end());
    std::sort(recorded.begin(), recorded.end());
    if (present != recorded) FChangedFolders.insert(name);
  }
  // A game written anew is a new entry of its folder, even under its old
  // name: that folder is filled again too.
  for (size_t i = 0; i < n; ++i) {
    if (FReuse[i] < 0) FChangedFolders.insert(ContainerOf(newPaths[i]));
  }
}

std::string TWorkThread::AsideName(size_t oldGame) { return "g" + std::to_string(oldGame); }

std::string TWorkThread::AsideFolderName(const std::string& folder) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "c";
  for (const unsigned char c : folder) {
    name += kHex[c >> 4];
    name += kHex[c & 15];
  }
  return name;
}

void TWorkThread::RestoreLeftAside() {
  // An update cut off leaves folders and kept games aside, named after
  // where they were: they go back there, so that this update finds the
  // folder as its record describes it. The rest aside is thrown away later.
  if (DirectoryExists(FDestDir + kSecondHolder)) {
    if (!DirectoryExists(FDestDir + kHolder)) MakeFolder(FDestDir + kHolder);
    for (const std::string& name : ListingOrder(FDestDir + kSecondHolder)) {
      Rename(FDestDir + kSecondHolder + "/" + name, FDestDir + kHolder + "/" + name);
    }
    TShellDelete(nullptr).Delete(FDestDir + kSecondHolder);
  }
  if (!DirectoryExists(FDestDir + kHolder)) return;
  const std::string record = FindManifest(FDestDir);
  if (record != FDestDir + kManifestName) Rename(record, FDestDir + kManifestName);
  std::vector<std::pair<std::string, std::string>> back;  // path, name aside
  for (const std::string& name : ListingOrder(FDestDir + kHolder)) {
    if (name.size() < 2 || name[0] != 'c' || name.size() % 2 == 0) continue;
    std::string path;
    for (size_t i = 1; i + 1 < name.size(); i += 2) {
      path += static_cast<char>(std::stoi(name.substr(i, 2), nullptr, 16));
    }
    if (AsideFolderName(path) == name) back.emplace_back(path, name);
  }
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  for (size_t j = 0; j < old.size(); ++j) {
    if (DirectoryExists(FDestDir + kHolder + "/" + AsideName(j))) back.emplace_back(old[j].Path, AsideName(j));
  }
  // Outer folders first, so that the inner ones find their place.
  std::stable_sort(back.begin(), back.end(), [](const auto& a, const auto& b) {
    return std::count(a.first.begin(), a.first.end(), '/') < std::count(b.first.begin(), b.first.end(), '/');
  });
  for (const auto& [path, name] : back) {
    const std::string to = FDestDir + path;
    if (!DirectoryExists(to) && DirectoryExists(ExtractFilePath(to.substr(0, to.size() - 1)))) {
      Rename(FDestDir + kHolder + "/" + name, to);
    }
  }
}

void TWorkThread::StageUpdate() {
  UpdateProgress("Making room for the update...");
  if (!DirectoryExists(FDestDir + kHolder)) MakeFolder(FDestDir + kHolder);
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  std::vector<bool> kept(old.size(), false);
  for (const int j : FReuse) {
    if (j >= 0) kept[static_cast<size_t>(j)] = true;
  }
  // The games that are not kept go first.
  for (size_t j = 0; j < old.size(); ++j) {
    if (Terminated()) return;
    if (!kept[j] && DirectoryExists(FDestDir + old[j].Path)) TShellDelete(nullptr).Delete(FDestDir + old[j].Path);
  }
  // Every changed folder is emptied into the holder, the deepest first, so
  // that it can be filled again in the job's order. A game keeps its number
  // aside, for an update that has to finish this one.
  std::unordered_map<std::string, size_t> oldByPath;
  for (size_t j = 0; j < old.size(); ++j) oldByPath.emplace(old[j].Path, j);
  std::vector<std::string> folders(FChangedFolders.begin(), FChangedFolders.end());
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  int counter = 0;
  for (const std::string& folder : folders) {
    if (!DirectoryExists(FDestDir + folder)) continue;
    for (const std::string& name : ListingOrder(FDestDir + folder)) {
      if (folder.empty() && (name == kHolder || name == kSecondHolder)) continue;
      std::string path = folder + name;
      const bool isFolder = DirectoryExists(FDestDir + path);
      if (isFolder) path += '/';
      const auto game = oldByPath.find(path);
      std::string aside;
      if (folder.empty() && name == kManifestName) {
        aside = name;  // the record keeps its name, so that an update cut off finds it
      } else if (game != oldByPath.end() && kept[game->second]) {
        aside = AsideName(game->second);
      } else if (isFolder) {
        aside = AsideFolderName(path);  // named after its place, to go back there if cut off
      } else {
        do {
          aside = "x" + std::to_string(++counter);
        } while (::access((FDestDir + kHolder + "/" + aside).c_str(), F_OK) == 0);
      }
      // Something aside under that name already could not go back: it is
      // left over, and gives way.
      const std::string target = FDestDir + kHolder + "/" + aside;
      if (::access(target.c_str(), F_OK) == 0) TShellDelete(nullptr).Delete(target);
      Rename(FDestDir + path, target);
      FStaged[path] = aside;
    }
  }
  // The holder now is the output folder's only entry. A folder is filled at
  // its first free place, so the holder must stand at the front: a second,
  // made now, takes the front when the first one does not.
  MakeFolder(FDestDir + kSecondHolder);
  const std::vector<std::string> order = ListingOrder(FDestDir);
  const auto first = std::find(order.begin(), order.end(), kHolder);
  const auto second = std::find(order.begin(), order.end(), kSecondHolder);
  if (second < first) {
    for (const std::string& name : ListingOrder(FDestDir + kHolder)) {
      Rename(FDestDir + kHolder + "/" + name, FDestDir + kSecondHolder + "/" + name);
    }
    TShellDelete(nullptr).Delete(FDestDir + kHolder);
    FHolder = kSecondHolder;
  } else {
    TShellDelete(nullptr).Delete(FDestDir + kSecondHolder);
    FHolder = kHolder;
  }
}

void TWorkThread::EnsureFolder(const std::string& folder) {
  // Each missing level comes back from the holder, or is made.
  for (size_t slash = folder.find('/'); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    const std::string level = folder.substr(0, slash + 1);
    if (DirectoryExists(FDestDir + level)) continue;
    const auto staged = FStaged.find(level);
    if (staged != FStaged.end()) {
      Rename(FDestDir + FHolder + "/" + staged->second, FDestDir + level);
      FStaged.erase(staged);
    } else {
      MakeFolder(FDestDir + level);
    }
  }
}

void TWorkThread::PlaceKeptGame(TGameWrite& w, size_t index) {
  TArcInfo& game = *w.Game;
  const TManifestGame was = FOldManifest->Game(static_cast<size_t>(FReuse[index]));
  const std::string path = Utf16ToUtf8(game.RealOutPath);
  w.Folder = FDestDir + path;
  EnsureFolder(ContainerOf(path));
  if (!DirectoryExists(w.Folder)) {
    const auto staged = FStaged.find(was.Path);
    if (staged == FStaged.end()) throw Error(Format("\"%s\" has gone", ClipText(FDestDir + was.Path).c_str()));
    Rename(FDestDir + FHolder + "/" + staged->second, w.Folder);
    FStaged.erase(staged);
  }
  // The game list and the summary show it as the job that wrote it did.
  game.ExtractedFileCount = was.ExtractedFileCount;
  game.UnhandledFileCount = was.UnhandledFileCount;
  game.ExtractionStatus = Utf8ToUtf16(was.Status);
  for (const std::string& ext : was.Extensions) AddSortedUnique(FCollator, FUnknownExtensions, Utf8ToUtf16(ext));
  w.Tally.FGameCount = 1;
  w.Tally.FExtractedTapeArchives = was.TapeArchives;
  w.Tally.FExtractedTapeFiles = was.TapeFiles;
  w.Tally.FTapeArchivesNotExtracted = was.TapesNotExtracted;
  w.Tally.FSIDCount = was.SidCount;
  w.Tally.FSIDErrors = was.SidErrors;
  w.Record = was;
  w.Record.Path = path;
  w.Record.UniqueID = game.UniqueID;
  w.Kept = true;
  w.Done = true;
}

void TWorkThread::FinishUpdate() {
  // What is left aside belonged to games and folders that are gone.
  if (!FHolder.empty() && DirectoryExists(FDestDir + FHolder)) TShellDelete(nullptr).Delete(FDestDir + FHolder);
  FHolder.clear();
  FStaged.clear();
}

std::string TWorkThread::UpdateText() const {
  return Format("Update: %d added, %d changed, %d moved, %d deleted, %d kept.", FUpdateCounts.Added,
                FUpdateCounts.Changed, FUpdateCounts.Moved, FUpdateCounts.Deleted, FUpdateCounts.Kept);
}

}  // namespace vq
