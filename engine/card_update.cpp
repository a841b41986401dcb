// Bringing an output folder up to date in place: the games whose zips did
// not change stay, or move with a rename; the rest is written as a fresh job
// writes it; every folder whose entries changed gets them again in the job's
// order, since the devices list a folder in the order of its entries. What
// the job did not write, and what changed on the card since the job wrote
// it, is never lost: it goes aside and comes back after the job's entries.
// Every path is resolved beneath the output folder (TCardFolder).
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "base/error.h"
#include "base/fat_name.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"
#include "engine/card_verify.h"
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
// The update's journal inside the holder: what it rewrites and what it keeps.
constexpr const char* kJournalName = "vqsd-update.txt";
constexpr const char* kJournalHeader = "# Vondral64 Quillem SD update 1";
// FAT keeps a file's time to two seconds.
constexpr int64_t kTimeTolerance = 2'000'000'000;
// Loop steps between two looks at the stop flag.
constexpr size_t kPollInterval = 512;

std::string InHolder(const std::string& holder, const std::string& name) { return holder + "/" + name; }

// The folder that holds `path` ("A/AB/Game/" -> "A/AB/"; "Game/" -> "").
std::string_view ContainerOf(std::string_view path) {
  if (path.size() < 2) return {};
  const size_t slash = path.find_last_of('/', path.size() - 2);
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// The last part of a path, with its '/' if it is a folder's.
std::string_view LastPart(std::string_view path) { return path.substr(ContainerOf(path).size()); }

std::string WithoutSlash(std::string_view path) {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

size_t Depth(std::string_view path) { return static_cast<size_t>(std::count(path.begin(), path.end(), '/')); }

// Every folder's children, in the order the games' paths list them; views
// into `paths`. Linear in the number of paths and their parts.
std::map<std::string_view, std::vector<std::string_view>> Children(const std::vector<std::string_view>& paths,
                                                                   const std::function<bool()>& stopped) {
  std::map<std::string_view, std::vector<std::string_view>> children;
  std::unordered_set<std::string_view> seen;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i % kPollInterval == 0 && stopped()) break;
    for (std::string_view part = paths[i]; !part.empty(); part = ContainerOf(part)) {
      if (!seen.insert(part).second) break;  // its containers are listed already
      children[ContainerOf(part)].push_back(LastPart(part));
    }
  }
  return children;
}

// A path of the journal: plain, a folder's with its one '/' at the end.
bool IsJournalPath(std::string_view path) { return IsPlainPath(WithoutSlash(path)); }

// The name under which an entry is kept when its own is taken, or when it is
// a file the job wrote that changed on the card: "<stem> (kept)<ext>", then
// "<stem> (kept 2)<ext>" and so on; the extension stays, so that a device
// still knows the file.
std::string KeptName(const std::string& name, bool folder, int n) {
  const size_t dot = folder ? std::string::npos : name.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  return stem + (n == 1 ? " (kept)" : " (kept " + std::to_string(n) + ")") + ext;
}

// What the folders that hold the games, old and new, hold: one listing of
// each, not one look-up per game.
class TGameFolders {
 public:
  // Lists every folder that holds a game or a game's folder. Refuses, before
  // anything changes, a link or a file where a new game needs a folder.
  TGameFolders(const TCardFolder& card, const std::vector<std::string>& newPaths,
               const std::vector<std::string_view>& oldPaths, const std::function<bool()>& stopped)
      : card_(card) {
    std::unordered_set<std::string_view> seen;
    std::vector<std::string_view> needed;
    for (const std::string& path : newPaths) {
      for (std::string_view part = path; !part.empty(); part = ContainerOf(part)) {
        if (!seen.insert(part).second) break;
        needed.push_back(part);
      }
    }
    std::unordered_set<std::string_view> holding;
    const auto addContainers = [&](std::string_view path) {
      for (std::string_view c = ContainerOf(path);; c = ContainerOf(c)) {
        if (!holding.insert(c).second || c.empty()) break;
      }
    };
    for (const std::string& path : newPaths) addContainers(path);
    for (const std::string_view path : oldPaths) addContainers(path);
    std::vector<std::string> containers(holding.begin(), holding.end());
    std::sort(containers.begin(), containers.end(),
              [](const std::string& a, const std::string& b) { return Depth(a) < Depth(b) || (Depth(a) == Depth(b) && a < b); });
    for (size_t k = 0; k < containers.size(); ++k) {
      if (k % kPollInterval == 0 && stopped()) return;
      const std::string& folder = containers[k];
      if (!folder.empty() && Kind(folder) != TCardKind::ckFolder) continue;
      std::vector<std::string>& names = listed_[folder];
      for (const TCardEntry& entry : card.List(folder)) {
        kinds_.emplace(folder + entry.Name + "/", entry.Kind);
        names.push_back(entry.Name + (entry.Kind == TCardKind::ckFolder ? "/" : ""));
      }
    }
    // The shallowest part first: a folder beneath a link is not looked at.
    std::sort(needed.begin(), needed.end(), [](std::string_view a, std::string_view b) { return Depth(a) < Depth(b); });
    for (const std::string_view part : needed) {
      const TCardKind kind = Kind(part);
      if (kind != TCardKind::ckMissing && kind != TCardKind::ckFolder) {
        throw Error(ClipText(card.FullPath(part)) + ": " + (kind == TCardKind::ckLink ? "a symbolic link" : "a file") +
                        " stands where the job needs a folder; nothing was changed",
                    ENOTDIR);
      }
    }
  }

  // True when the folder `path` (ending in '/') is there.
  bool IsFolder(std::string_view path) const { return Kind(path) == TCardKind::ckFolder; }
  // The entries of the folder `folder` that holds games, as listed (a
  // folder's name with '/' after it); null when it was not listed.
  const std::vector<std::string>* Listed(const std::string& folder) const {
    const auto it = listed_.find(folder);
    return it == listed_.end() ? nullptr : &it->second;
  }

 private:
  // What is at `path` (ending in '/'): as its folder's listing found it, or,
  // where that did not list it, as the card says (which finds a name in
  // another case on FAT, and refuses a link on the way).
  TCardKind Kind(std::string_view path) const {
    const auto it = kinds_.find(std::string(path));
    return it != kinds_.end() ? it->second : card_.Stat(path).Kind;
  }

  const TCardFolder& card_;
  std::unordered_map<std::string, TCardKind> kinds_;
  std::unordered_map<std::string, std::vector<std::string>> listed_;
};

// The names of `folder`'s entries (a folder's with '/' after it), in the
// order the file system lists them.
std::vector<std::string> ListedNames(const TCardFolder& card, const std::string& folder) {
  std::vector<std::string> names;
  for (const TCardEntry& entry : card.List(folder)) {
    names.push_back(entry.Name + (entry.Kind == TCardKind::ckFolder ? "/" : ""));
  }
  return names;
}

// The folders of a game folder that its files make, "" for the game folder
// itself, each with its entries in the order the job wrote them: a file,
// or the folder a file lies in ("Disks/").
std::map<std::string, std::vector<std::string>> GameFolderChildren(const std::vector<TManifestFile>& files) {
  std::map<std::string, std::vector<std::string>> children;
  std::unordered_set<std::string> seen;
  for (const TManifestFile& file : files) {
    for (size_t start = 0; start < file.Name.size();) {
      const size_t slash = file.Name.find('/', start);
      const size_t end = slash == std::string::npos ? file.Name.size() : slash + 1;
      if (seen.insert(file.Name.substr(0, end)).second) {
        children[file.Name.substr(0, start)].push_back(file.Name.substr(start, end - start));
      }
      start = end;
    }
  }
  return children;
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

std::vector<std::string> TWorkThread::PlannedPaths() const {
  std::vector<std::string> paths(FChangedFolders.begin(), FChangedFolders.end());
  paths.insert(paths.end(), FTouched.begin(), FTouched.end());
  paths.insert(paths.end(), FFilesToRemove.begin(), FFilesToRemove.end());
  paths.insert(paths.end(), FFoldersToRemove.begin(), FFoldersToRemove.end());
  paths.insert(paths.end(), FLeftovers.begin(), FLeftovers.end());
  for (const TUserEntry& e : FUserEntries) paths.push_back(e.Path);
  for (const auto& [path, aside] : FPrevAside) paths.push_back(path);
  if (FOldManifest) {
    for (const int j : FReuse) {
      if (j >= 0) paths.push_back(FOldManifest->Games[static_cast<size_t>(j)].Path);
    }
  }
  return paths;
}

void TWorkThread::LoadOldManifest() {
  if (!FOldManifest) FOldManifest = ReadManifest(*FCard, FindManifest(*FCard));
  for (size_t j = 0; j < FOldManifest->Games.size(); ++j) FOldByZip.emplace(FOldManifest->Games[j].Zip, j);
  // The record a job that was cut off left becomes the folder's record,
  // marked unfinished, before anything changes: an update cut off in turn
  // goes back to it as to any record.
  if (!FTestMode && HasUnfinishedManifest(*FCard)) WriteManifest(*FCard, kManifestName, *FOldManifest);
}

void TWorkThread::PlanUpdate() {
  UpdateProgress("Comparing with the output folder...");
  const std::function<bool()> stopped = [this] { return Terminated(); };
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  if (!FTestMode) {
    RestoreLeftAside();
  } else {
    ReadJournal();
  }
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
  if (Terminated()) return;
  // The job refuses before it changes anything where it needs a folder and
  // finds a link or a file.
  const TGameFolders folders(*FCard, newPaths, oldPaths, stopped);
  CheckHolders();
  if (Terminated()) return;
  // A game stays when its sources and folder name are the ones written, it
  // has its folder to itself, the folder is there, and no update cut off
  // was rewriting it.
  FReuse.assign(n, -1);
  FResort.clear();
  // Only a card's file system lists a folder in the order of its entries;
  // others list them in an order of their own, which says nothing.
  const bool orderShown = IsRemovableCardFileSystem(FDestDir);
  std::vector<bool> oldTaken(old.size(), false);
  std::vector<bool> oldFound(old.size(), false);
  for (size_t i = 0; i < n; ++i) {
    if (i % kPollInterval == 0 && Terminated()) return;
    const TArcInfo& game = ArchiveList[i];
    const TManifestGame source = SourceRecord(game);
    const auto found = FOldByZip.find(source.Zip);
    if (found == FOldByZip.end()) {
      ++FUpdateCounts.Added;
      continue;
    }
    oldFound[found->second] = true;
    const TManifestEntry& was = old[found->second];
    const TManifestGame wasGame = FOldManifest->Game(found->second);
    const bool same = wasGame.SameSource(source) && LastPart(was.Path) == LastPart(newPaths[i]) &&
                      newUses[newPaths[i]] == 1 && oldUses[was.Path] == 1 && !oldTaken[found->second] &&
                      !FPrevTouched.count(was.Path) && folders.IsFolder(was.Path) &&
                      (!FOldManifest->Unfinished || GameIsWhole(wasGame));
    const TFolderState state = same ? GameFolderState(wasGame, orderShown) : TFolderState();
    if (!state.Whole) {
      ++FUpdateCounts.Changed;
      continue;
    }
    FReuse[i] = static_cast<int>(found->second);
    oldTaken[found->second] = true;
    ++(was.Path == newPaths[i] ? FUpdateCounts.Kept : FUpdateCounts.Moved);
    // A game that also moves keeps its order until the next update: its
    // entries aside are named after the place the record gives it.
    if (!state.InOrder && was.Path == newPaths[i]) {
      FResort.insert(i);
      ++FUpdateCounts.Reordered;
    }
  }
  FUpdateCounts.Deleted = static_cast<int32_t>(std::count(oldFound.begin(), oldFound.end(), false));
  std::vector<std::string_view> newViews(newPaths.begin(), newPaths.end());
  const auto before = Children(oldPaths, stopped);
  const auto after = Children(newViews, stopped);
  if (Terminated()) return;
  PlanChangedFolders(before, after, newPaths);
  // A folder whose entries stand in another order than the job's is filled
  // again too, which puts them back in its order.
  for (const auto& [folder, list] : before) {
    if (!orderShown) break;
    const std::vector<std::string>* listed = folders.Listed(std::string(folder));
    if (listed && !InJobOrder(*listed, list) && FChangedFolders.emplace(folder).second) ++FUpdateCounts.Reordered;
  }
  // A job that was cut off wrote what it did not record at the places its
  // games take: that is its own unfinished work, not anyone else's.
  FUnfinishedPlaces.clear();
  if (FOldManifest->Unfinished) {
    for (const std::string& path : newPaths) {
      for (std::string_view part = path; !part.empty(); part = ContainerOf(part)) {
        if (!FUnfinishedPlaces.insert(std::string(part)).second) break;
      }
    }
  }
  if (Terminated()) return;
  ClassifyEntries(before);
}

TWorkThread::TFolderState TWorkThread::GameFolderState(const TManifestGame& game, bool orderShown) const {
  // A game that lost a file on the card is written again; one whose folder
  // a copy put in another order gets its entries back in the job's order.
  TFolderState state;
  for (const auto& [inner, order] : GameFolderChildren(game.Files)) {
    const std::string folder = game.Path + inner;
    if (!inner.empty() && !FCard->IsFolder(folder)) {
      state.Whole = false;
      return state;
    }
    const std::vector<std::string> listed = ListedNames(*FCard, folder);
    const std::unordered_set<std::string_view> present(listed.begin(), listed.end());
    if (!std::all_of(order.begin(), order.end(), [&](const std::string& name) { return present.count(name) > 0; })) {
      state.Whole = false;
      return state;
    }
    if (orderShown && !InJobOrder(listed, std::vector<std::string_view>(order.begin(), order.end()))) state.InOrder = false;
  }
  state.Whole = true;
  return state;
}

bool TWorkThread::GameIsWhole(const TManifestGame& game) const {
  // A power cut can leave a file the record lists without its bytes.
  std::vector<char> buffer;
  int64_t bytes = 0;
  for (const TManifestFile& file : game.Files) {
    const std::string path = game.Path + file.Name;
    const TCardStat stat = FCard->Stat(path);
    if (stat.Kind != TCardKind::ckFile || (file.Size >= 0 && static_cast<int64_t>(stat.Size) != file.Size)) return false;
    if (file.Crc >= 0 && CardFileCrc(*FCard, path, buffer, bytes) != file.Crc) return false;
  }
  return true;
}

void TWorkThread::CheckHolders() const {
  for (const char* holder : {kHolder, kSecondHolder}) {
    const TCardKind kind = FCard->Stat(holder).Kind;
    if (kind != TCardKind::ckMissing && kind != TCardKind::ckFolder) {
      throw Error(ClipText(FCard->FullPath(holder)) + ": a symbolic link or a file stands where the update needs its "
                                                      "holder folder; nothing was changed",
                  ENOTDIR);
    }
  }
}

void TWorkThread::PlanChangedFolders(const std::map<std::string_view, std::vector<std::string_view>>& before,
                                     const std::map<std::string_view, std::vector<std::string_view>>& after,
                                     const std::vector<std::string>& newPaths) {
  // The folders whose entries change: the output folder always (its game
  // list and record are written anew), and every folder whose list of
  // entries differs.
  FChangedFolders = {""};
  for (const auto* side : {&before, &after}) {
    for (const auto& [folder, list] : *side) {
      const auto a = before.find(folder);
      const auto b = after.find(folder);
      const bool equal = a != before.end() && b != after.end() && a->second == b->second;
      if (!equal) FChangedFolders.emplace(folder);
    }
  }
  // A folder that misses an entry its record lists is filled again as well,
  // and so is one that an update cut off was filling. Entries the record
  // does not list are not the job's: they stay where they are.
  size_t step = 0;
  for (const auto& [folder, list] : before) {
    if (++step % kPollInterval == 0 && Terminated()) return;
    const std::string name(folder);
    if (name.empty() || FChangedFolders.count(name)) continue;
    if (FPrevTouched.count(name)) {
      FChangedFolders.insert(name);
      continue;
    }
    if (!FCard->IsFolder(name)) continue;
    std::unordered_set<std::string> present;
    for (const TCardEntry& entry : FCard->List(name)) {
      present.insert(entry.Kind == TCardKind::ckFolder ? entry.Name + "/" : entry.Name);
    }
    for (const std::string_view child : list) {
      if (!present.count(std::string(child))) {
        FChangedFolders.insert(name);
        break;
      }
    }
  }
  // A game written anew is a new entry of its folder, even under its old
  // name: that folder is filled again too.
  for (size_t i = 0; i < newPaths.size(); ++i) {
    if (FReuse[i] < 0) FChangedFolders.insert(std::string(ContainerOf(newPaths[i])));
  }
}

bool TWorkThread::ChangedOnCard(const std::string& path, const TManifestFile& file) const {
  if (FPrevUser.count(path)) return true;
  const TCardStat now = FCard->Stat(path);
  if (now.Kind != TCardKind::ckFile) return now.Kind != TCardKind::ckMissing;
  // What a job that was cut off left is its own, whole or not.
  if (FOldManifest->Unfinished) return false;
  // A record of an older version holds no sizes: its files count as written.
  if (file.Size < 0) return false;
  if (static_cast<int64_t>(now.Size) != file.Size) return true;
  // The same size and time (FAT keeps it to two seconds): as written. Where
  // the time differs, a copy that did not keep times is told from a change
  // by the bytes, when the record has their CRC-32.
  const int64_t drift = now.Time > file.Time ? now.Time - file.Time : file.Time - now.Time;
  if (drift <= kTimeTolerance) return false;
  if (file.Crc < 0) return true;
  std::vector<char> buffer;
  int64_t bytes = 0;
  return CardFileCrc(*FCard, path, buffer, bytes) != file.Crc;
}

void TWorkThread::KeepAside(const std::string& path, bool changed) {
  FUserEntries.push_back({path, "u" + std::to_string(FUserEntries.size() + 1), changed});
}

void TWorkThread::ClassifyGameFolder(const std::string& folder, const std::map<std::string, TManifestFile>& files) {
  // The files the games wrote there go, unless they changed on the card;
  // anything else in the folder is not the job's and stays. After an update
  // that was cut off while rewriting the folder, only what that update kept
  // is anyone else's.
  const bool rewriting = FPrevTouched.count(folder) > 0;
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    const std::string at = std::move(pending.back());
    pending.pop_back();
    FFoldersToRemove.push_back(at);
    for (const TCardEntry& entry : FCard->List(at)) {
      const std::string path = at + entry.Name;
      const std::string inner = path.substr(folder.size());
      const auto file = files.find(inner);
      if (file != files.end()) {
        if (rewriting ? FPrevUser.count(path) > 0 : ChangedOnCard(path, file->second)) {
          KeepAside(path, true);
        } else {
          FFilesToRemove.push_back(path);
        }
        continue;
      }
      const bool holdsFiles = entry.Kind == TCardKind::ckFolder &&
                              std::any_of(files.begin(), files.end(), [&](const auto& f) { return f.first.starts_with(inner + "/"); });
      if (holdsFiles) {
        pending.push_back(path + "/");
      } else if (rewriting && !FPrevUser.count(path)) {
        FFilesToRemove.push_back(entry.Kind == TCardKind::ckFolder ? path + "/" : path);
      } else {
        KeepAside(entry.Kind == TCardKind::ckFolder ? path + "/" : path, false);
      }
    }
  }
}

void TWorkThread::ClassifyEntries(const std::map<std::string_view, std::vector<std::string_view>>& before) {
  // Every old game that is not kept: its folder's content, sorted into what
  // the job wrote and what stays.
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  std::vector<bool> kept(old.size(), false);
  for (const int j : FReuse) {
    if (j >= 0) kept[static_cast<size_t>(j)] = true;
  }
  std::map<std::string, std::map<std::string, TManifestFile>> gone;  // folder -> its recorded files
  for (size_t j = 0; j < old.size(); ++j) {
    if (j % kPollInterval == 0 && Terminated()) return;
    if (kept[j]) continue;
    std::map<std::string, TManifestFile>& files = gone[old[j].Path];
    for (const TManifestFile& file : FOldManifest->Game(j).Files) files[file.Name] = file;
  }
  for (const auto& [folder, files] : gone) {
    if (Terminated()) return;
    if (!FCard->IsFolder(folder)) continue;
    FTouched.insert(folder);
    ClassifyGameFolder(folder, files);
  }
  // Every folder filled again: what its record does not list stays, unless
  // an update cut off while filling it left it there.
  std::unordered_set<std::string> recorded;
  for (const auto& [folder, list] : before) {
    for (const std::string_view child : list) recorded.insert(std::string(folder) + std::string(child));
  }
  const std::string gameList = GameListName(FFileNameStyle);
  const std::unordered_set<std::string> jobFiles = {kManifestName, std::string(kManifestName) + ".tmp", gameList,
                                                    gameList + ".tmp", kHolder, kSecondHolder};
  for (const std::string& folder : FChangedFolders) {
    if (Terminated()) return;
    if (!FCard->IsFolder(folder)) continue;
    FTouched.insert(folder);
    const bool refilling = FPrevTouched.count(folder) > 0;
    for (const TCardEntry& entry : FCard->List(folder)) {
      const std::string path = folder + entry.Name + (entry.Kind == TCardKind::ckFolder ? "/" : "");
      if (folder.empty() && jobFiles.count(entry.Name)) continue;
      if (recorded.count(path) || gone.count(path)) continue;
      if ((refilling && !FPrevUser.count(path)) || FUnfinishedPlaces.count(path)) {
        FLeftovers.insert(path);
      } else {
        KeepAside(path, false);
      }
    }
  }
  FKeptEntries.clear();
  for (const TUserEntry& e : FUserEntries) FKeptEntries.push_back({e.Path, e.Path, e.Changed});
}

void TWorkThread::ReadJournal() {
  FPrevTouched.clear();
  FPrevUser.clear();
  FPrevAside.clear();
  const std::string journal = InHolder(kHolder, kJournalName);
  if (FCard->Stat(journal).Kind != TCardKind::ckFile) return;
  const std::string text = FCard->ReadFile(journal, kMaxManifestSize);
  // A journal that is not whole is not used: then every entry the record
  // does not list counts as someone else's, which loses nothing.
  std::set<std::string> touched, user;
  std::vector<std::pair<std::string, std::string>> aside;
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return;  // cut off in the middle of a line
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (first) {
      if (line != kJournalHeader) return;
      first = false;
      continue;
    }
    const std::optional<std::vector<std::string>> fields = SplitEscapedFields(line);
    if (!fields) return;
    const std::vector<std::string>& f = *fields;
    if (f[0] == "touched" && f.size() == 2 && (f[1].empty() || IsJournalPath(f[1]))) {
      touched.insert(f[1]);
    } else if (f[0] == "kept" && f.size() == 3 && IsJournalPath(f[1]) && f[2].size() > 1 && f[2][0] == 'u' &&
               f[2].find_first_not_of("0123456789", 1) == std::string::npos) {
      user.insert(f[1]);
      aside.emplace_back(f[1], f[2]);
    } else if (f[0] != "end" || f.size() != 1) {
      return;
    }
  }
  FPrevTouched = std::move(touched);
  FPrevUser = std::move(user);
  FPrevAside = std::move(aside);
}

void TWorkThread::WriteJournal() {
  std::string text = std::string(kJournalHeader) + "\n";
  std::set<std::string> touched(FTouched.begin(), FTouched.end());
  touched.insert(FPrevTouched.begin(), FPrevTouched.end());
  for (const std::string& folder : touched) text += "touched\t" + EscapeField(folder) + "\n";
  for (const TUserEntry& e : FUserEntries) text += "kept\t" + EscapeField(e.Path) + "\t" + e.Aside + "\n";
  text += "end\n";
  const std::string journal = InHolder(kHolder, kJournalName);
  const std::unique_ptr<TCardFile> file = FCard->CreateFile(journal + ".tmp");
  file->Write(text.data(), text.size());
  file->Commit();
  FCard->ReplaceFile(journal + ".tmp", journal);
  // On a card, the journal must be there before the first entry moves.
  if (IsRemovableCardFileSystem(FDestDir)) FCard->Sync();
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

std::string TWorkThread::FreeName(const std::string& path, bool changed) const {
  // Names equal ignoring case are one name on FAT.
  const std::string container(ContainerOf(path));
  const bool folder = !path.empty() && path.back() == '/';
  const std::string name = WithoutSlash(LastPart(path));
  std::unordered_set<std::u16string> taken;
  if (FCard->IsFolder(container)) {
    for (const std::string& other : FCard->ListNames(container)) taken.insert(FatKey(Utf8ToUtf16(other)));
  }
  if (!changed && !taken.count(FatKey(Utf8ToUtf16(name)))) return container + name;
  for (int n = 1;; ++n) {
    const std::string candidate = KeptName(name, folder, n);
    if (!taken.count(FatKey(Utf8ToUtf16(candidate)))) return container + candidate;
  }
}

void TWorkThread::PutBack(const std::string& aside, const std::string& path, bool changed) {
  const std::string target = FreeName(path, changed);
  const std::string container(ContainerOf(target));
  if (!container.empty()) FCard->MakeFolders(container);
  const bool folder = !path.empty() && path.back() == '/';
  FCard->Rename(aside, target);
  FKeptEntries.push_back({target + (folder && target.back() != '/' ? "/" : ""), path, changed});
}

void TWorkThread::RestoreLeftAside() {
  // An update cut off leaves folders and kept games aside, named after
  // where they were, and the entries it keeps, listed in its journal: they
  // go back there, so that this update finds the folder as its record
  // describes it. The rest aside is the job's, thrown away later.
  if (FCard->IsFolder(kSecondHolder)) {
    if (!FCard->IsFolder(kHolder)) FCard->MakeFolder(kHolder);
    for (const std::string& name : FCard->ListNames(kSecondHolder)) {
      FCard->Rename(InHolder(kSecondHolder, name), InHolder(kHolder, name));
    }
    FCard->Remove(kSecondHolder);
  }
  if (!FCard->IsFolder(kHolder)) return;
  const std::string record = FindManifest(*FCard);
  if (record != kManifestName) FCard->Rename(record, kManifestName);
  ReadJournal();
  std::vector<std::pair<std::string, std::string>> back;  // path, name aside
  for (const std::string& name : FCard->ListNames(kHolder)) {
    if (name.size() < 2 || name[0] != 'c' || name.size() % 2 == 0) continue;
    if (name.find_first_not_of("0123456789abcdef", 1) != std::string::npos) continue;
    std::string path;
    for (size_t i = 1; i + 1 < name.size(); i += 2) {
      path += static_cast<char>(std::stoi(name.substr(i, 2), nullptr, 16));
    }
    if (AsideFolderName(path) == name && IsJournalPath(path)) back.emplace_back(path, name);
  }
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  for (size_t j = 0; j < old.size(); ++j) {
    if (FCard->IsFolder(InHolder(kHolder, AsideName(j)))) back.emplace_back(old[j].Path, AsideName(j));
  }
  // Entries of game folders put back in order, named after their game.
  std::vector<std::pair<std::string, std::string>> entries;  // path, name aside
  for (const std::string& name : FCard->ListNames(kHolder)) {
    std::string path = ResortedPath(name);
    if (path.empty()) continue;
    if (FCard->IsFolder(InHolder(kHolder, name))) path += "/";
    entries.emplace_back(std::move(path), name);
  }
  // Outer folders first, so that the inner ones find their place.
  std::stable_sort(back.begin(), back.end(), [](const auto& a, const auto& b) { return Depth(a.first) < Depth(b.first); });
  for (const auto& [path, name] : back) {
    if (!FCard->IsFolder(std::string(ContainerOf(path)))) continue;
    if (!FCard->Exists(path)) {
      FCard->Rename(InHolder(kHolder, name), path);
    } else if (name[0] == 'c' && FCard->IsFolder(path)) {
      MergeBack(InHolder(kHolder, name) + "/", path);
    }
  }
  for (const auto& [path, name] : entries) {
    FCard->MakeFolders(std::string(ContainerOf(path)));
    FCard->Rename(InHolder(kHolder, name), FCard->Exists(path) ? FreeName(path, false) : path);
  }
  RestoreKeptEntries();
}

std::string TWorkThread::ResortedPath(const std::string& name) const {
  // "r<game>_<folder>_<name>" (ResortName): where it was.
  const auto number = [&name](size_t from, size_t& value) {
    const size_t gap = name.find('_', from);
    if (gap == std::string::npos || gap == from) return std::string::npos;
    const auto [end, error] = std::from_chars(name.data() + from, name.data() + gap, value);
    return error == std::errc() && end == name.data() + gap ? gap + 1 : std::string::npos;
  };
  size_t j = 0, k = 0;
  if (name.size() < 6 || name[0] != 'r') return {};
  const size_t second = number(1, j);
  const size_t rest = second == std::string::npos || j >= FOldManifest->Games.size() ? std::string::npos : number(second, k);
  if (rest == std::string::npos || rest >= name.size()) return {};
  const auto children = GameFolderChildren(FOldManifest->Game(j).Files);
  if (k >= children.size()) return {};
  return FOldManifest->Games[j].Path + std::next(children.begin(), static_cast<std::ptrdiff_t>(k))->first +
         name.substr(rest);
}

void TWorkThread::MergeBack(const std::string& aside, const std::string& path) {
  // A folder emptied into a new one of its name when the update was cut
  // off: what is still aside joins what went back; nothing is dropped.
  for (const TCardEntry& entry : FCard->List(aside)) {
    const bool folder = entry.Kind == TCardKind::ckFolder;
    const std::string target = path + entry.Name + (folder ? "/" : "");
    FCard->Rename(aside + entry.Name, FCard->Exists(target) ? FreeName(target, false) : target);
  }
  FCard->Remove(aside);
}

void TWorkThread::RestoreKeptEntries() {
  // What the journal kept goes back to its place. A file there now was
  // written by the update that was cut off, in a folder it was rewriting.
  std::unordered_set<std::string> restored;
  for (const auto& [path, aside] : FPrevAside) {
    const std::string from = InHolder(kHolder, aside);
    if (!FCard->Exists(from)) continue;
    const TCardKind there = FCard->Stat(path).Kind;
    if (there == TCardKind::ckFile && FPrevTouched.count(std::string(ContainerOf(path)))) FCard->Remove(path);
    const std::string container(ContainerOf(path));
    if (!container.empty()) FCard->MakeFolders(container);
    const std::string target = FCard->Exists(path) ? FreeName(path, false) : path;
    FCard->Rename(from, target);
    restored.insert(aside);
  }
  // Without a journal to say where they were, entries kept aside come back
  // at the top of the output folder.
  for (const std::string& name : FCard->ListNames(kHolder)) {
    if (name.size() > 1 && name[0] == 'u' && !restored.count(name)) {
      const bool folder = FCard->IsFolder(InHolder(kHolder, name));
      FCard->Rename(InHolder(kHolder, name), FreeName(name + (folder ? "/" : ""), false));
    }
  }
}

void TWorkThread::StageUpdate() {
  UpdateProgress("Making room for the update...");
  if (!FCard->IsFolder(kHolder)) FCard->MakeFolder(kHolder);
  // The journal first: an update cut off from here on is finished by the next.
  WriteJournal();
  for (const TUserEntry& e : FUserEntries) {
    if (FCard->Exists(e.Path)) FCard->Rename(e.Path, InHolder(kHolder, e.Aside));
  }
  // What the games that are not kept wrote goes; their folders too, once
  // empty, the deepest first.
  for (size_t k = 0; k < FFilesToRemove.size(); ++k) {
    if (k % kPollInterval == 0 && Terminated()) return;
    FCard->RemoveTree(FFilesToRemove[k]);
  }
  std::sort(FFoldersToRemove.begin(), FFoldersToRemove.end(),
            [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  for (const std::string& folder : FFoldersToRemove) {
    if (FCard->IsFolder(folder) && FCard->List(folder).empty()) FCard->Remove(folder);
  }
  EmptyChangedFolders();
  // The holder now is the output folder's only entry. A folder is filled at
  // its first free place, so the holder must stand at the front: a second,
  // made now, takes the front when the first one does not.
  FCard->MakeFolder(kSecondHolder);
  const std::vector<std::string> order = FCard->ListNames("");
  const auto first = std::find(order.begin(), order.end(), kHolder);
  const auto second = std::find(order.begin(), order.end(), kSecondHolder);
  if (second < first) {
    for (const std::string& name : FCard->ListNames(kHolder)) {
      FCard->Rename(InHolder(kHolder, name), InHolder(kSecondHolder, name));
    }
    FCard->Remove(kHolder);
    FHolder = kSecondHolder;
  } else {
    FCard->Remove(kSecondHolder);
    FHolder = kHolder;
  }
}

void TWorkThread::EmptyChangedFolders() {
  // Every changed folder is emptied into the holder, the deepest first, so
  // that it can be filled again in the job's order. A game keeps its number
  // aside, for an update that has to finish this one. Only what the job
  // wrote moves: anything else went aside already, or stays.
  const std::vector<TManifestEntry>& old = FOldManifest->Games;
  std::unordered_map<std::string, size_t> oldByPath;
  for (size_t j = 0; j < old.size(); ++j) oldByPath.emplace(old[j].Path, j);
  std::unordered_set<size_t> kept;
  for (const int j : FReuse) {
    if (j >= 0) kept.insert(static_cast<size_t>(j));
  }
  std::unordered_set<std::string> containers;
  for (const TManifestEntry& was : old) {
    for (std::string_view part = ContainerOf(was.Path); !part.empty(); part = ContainerOf(part)) {
      if (!containers.insert(std::string(part)).second) break;
    }
  }
  const std::string gameList = GameListName(FFileNameStyle);
  std::vector<std::string> folders(FChangedFolders.begin(), FChangedFolders.end());
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  int counter = 0;
  for (const std::string& folder : folders) {
    if (!FCard->IsFolder(folder)) continue;
    for (const TCardEntry& entry : FCard->List(folder)) {
      const bool isFolder = entry.Kind == TCardKind::ckFolder;
      const std::string path = folder + entry.Name + (isFolder ? "/" : "");
      if (folder.empty() && (entry.Name == kHolder || entry.Name == kSecondHolder)) continue;
      const auto game = oldByPath.find(path);
      std::string aside;
      if (folder.empty() && entry.Name == kManifestName) {
        aside = entry.Name;  // the record keeps its name, so that an update cut off finds it
      } else if (isFolder && game != oldByPath.end() && kept.count(game->second)) {
        aside = AsideName(game->second);
      } else if (isFolder && containers.count(path)) {
        aside = AsideFolderName(path);  // named after its place, to go back there if cut off
      } else if (FLeftovers.count(path) ||
                 (folder.empty() && (entry.Name == gameList || entry.Name == gameList + ".tmp" ||
                                     entry.Name == std::string(kManifestName) + ".tmp"))) {
        do {
          aside = "x" + std::to_string(++counter);
        } while (FCard->Exists(InHolder(kHolder, aside)));
      } else {
        continue;  // not the job's, and not known when the update was planned: it stays
      }
      // Something aside under that name already could not go back: it is
      // left over, and gives way.
      const std::string target = InHolder(kHolder, aside);
      if (FCard->Exists(target)) FCard->RemoveTree(target);
      FCard->Rename(path, target);
      FStaged[path] = aside;
    }
  }
}

void TWorkThread::EnsureFolder(const std::string& folder) {
  // Each missing level comes back from the holder, or is made.
  for (size_t slash = folder.find('/'); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    const std::string level = folder.substr(0, slash + 1);
    if (FCard->IsFolder(level)) continue;
    const auto staged = FStaged.find(level);
    if (staged != FStaged.end()) {
      FCard->Rename(InHolder(FHolder, staged->second), level);
      FStaged.erase(staged);
    } else {
      FCard->MakeFolder(level);
    }
  }
}

void TWorkThread::PlaceKeptGame(TGameWrite& w, size_t index) {
  TArcInfo& game = *w.Game;
  const TManifestGame was = FOldManifest->Game(static_cast<size_t>(FReuse[index]));
  const std::string path = Utf16ToUtf8(game.RealOutPath);
  w.Folder = path;
  EnsureFolder(std::string(ContainerOf(path)));
  if (!FCard->IsFolder(path)) {
    const auto staged = FStaged.find(was.Path);
    if (staged == FStaged.end()) throw Error(Format("\"%s\" has gone", ClipText(FCard->FullPath(was.Path)).c_str()));
    FCard->Rename(InHolder(FHolder, staged->second), path);
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
  if (FResort.count(index)) ResortGameFolder(static_cast<size_t>(FReuse[index]), path, was.Files);
  w.Record = was;
  w.Record.Path = path;
  w.Record.UniqueID = game.UniqueID;
  w.Kept = true;
  w.Done = true;
}

void TWorkThread::ResortGameFolder(size_t oldGame, const std::string& path, const std::vector<TManifestFile>& files) {
  // Each of its folders whose entries stand in another order: the game
  // folder itself, and the folders inside it that hold its files.
  const std::map<std::string, std::vector<std::string>> children = GameFolderChildren(files);
  size_t k = 0;
  for (auto it = children.begin(); it != children.end(); ++it, ++k) {
    const std::string folder = path + it->first;
    const std::vector<std::string>& order = it->second;
    std::vector<std::string> names = ListedNames(*FCard, folder);
    if (!InJobOrder(names, std::vector<std::string_view>(order.begin(), order.end()))) ResortFolder(oldGame, k, folder, order);
  }
}

void TWorkThread::ResortFolder(size_t oldGame, size_t inner, const std::string& folder,
                               const std::vector<std::string>& order) {
  // Every entry goes into the holder, then back in the job's order: a
  // folder is filled at its first free place, and no folder is made, which
  // on a card would write a whole cluster. Aside, an entry is named after
  // its game, the folder inside it and its name (ResortName), so that an
  // update cut off here brings it back (RestoreLeftAside).
  const std::vector<std::string> names = ListedNames(*FCard, folder);
  for (const std::string& name : names) {
    if (ResortName(oldGame, inner, name).empty()) return;  // too long for FAT aside: left as it is
  }
  for (const std::string& name : names) FCard->Rename(folder + name, InHolder(FHolder, ResortName(oldGame, inner, name)));
  const std::unordered_set<std::string> present(names.begin(), names.end());
  std::vector<std::string> sorted;
  for (const std::string& name : order) {
    if (present.count(name)) sorted.push_back(name);
  }
  const std::unordered_set<std::string> job(sorted.begin(), sorted.end());
  for (const std::string& name : names) {
    if (!job.count(name)) sorted.push_back(name);
  }
  for (const std::string& name : sorted) FCard->Rename(InHolder(FHolder, ResortName(oldGame, inner, name)), folder + name);
}

std::string TWorkThread::ResortName(size_t oldGame, size_t inner, const std::string& name) {
  // "r<game>_<folder>_<name>", the folder counted in GameFolderChildren's
  // order; empty when FAT cannot hold it (255 UTF-16 units).
  const std::string aside = "r" + std::to_string(oldGame) + "_" + std::to_string(inner) + "_" + WithoutSlash(name);
  return Utf8ToUtf16(aside).size() <= 255 ? aside : std::string();
}

void TWorkThread::FinishUpdate() {
  // What is left aside of the job's own belonged to games and folders that
  // are gone; what the job did not write comes back, after the job's
  // entries of its folder.
  UpdateProgress("Putting back what the job did not write...");
  // On a card the new record must be there before the old one goes with
  // the holder: FAT writes its folders back in no set order.
  if (IsRemovableCardFileSystem(FDestDir)) FCard->Sync();
  std::unordered_set<std::string> user;
  for (const TUserEntry& e : FUserEntries) user.insert(e.Aside);
  for (const std::string& name : FCard->ListNames(FHolder)) {
    if (!user.count(name) && name != kJournalName) FCard->RemoveTree(InHolder(FHolder, name));
  }
  FKeptEntries.clear();
  for (const TUserEntry& e : FUserEntries) {
    const std::string aside = InHolder(FHolder, e.Aside);
    if (FCard->Exists(aside)) PutBack(aside, e.Path, e.Changed);
  }
  FCard->RemoveTree(FHolder);
  FHolder.clear();
  FStaged.clear();
}

std::string TWorkThread::UpdateText() const {
  std::string text = Format("Update: %d added, %d changed, %d moved, %d deleted, %d kept.", FUpdateCounts.Added,
                            FUpdateCounts.Changed, FUpdateCounts.Moved, FUpdateCounts.Deleted, FUpdateCounts.Kept);
  if (FOldManifest && FOldManifest->Unfinished) text = "Resumed the job that was cut off. " + text;
  if (FUpdateCounts.Reordered > 0) text += Format(" %d folders put back in the job's order.", FUpdateCounts.Reordered);
  const auto changed = static_cast<int>(
      std::count_if(FKeptEntries.begin(), FKeptEntries.end(), [](const TKeptEntry& e) { return e.Changed; }));
  const int others = static_cast<int>(FKeptEntries.size()) - changed;
  if (others > 0) text += Format(" %d entries the job did not write were kept.", others);
  if (changed > 0) text += Format(" %d files changed on the card were kept as \"<name> (kept)\" copies.", changed);
  return text;
}

}  // namespace vq
