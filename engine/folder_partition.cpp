#include "engine/folder_partition.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <vector>

#include "base/fat_name.h"
#include "base/text.h"

namespace vq {

namespace {

constexpr size_t kLargestUnsplitGroup = 250;  // a letter group of more games is split
constexpr size_t kNominalLastOffset = 199;    // first candidate: a subfolder's 200th game
constexpr size_t kLowestLastOffset = 40;      // moving down stops at the 41st game
constexpr size_t kHighestLastOffset = 250;    // moving up stops at the 251st game
constexpr size_t kDirectPlacementLimit = 250; // fewer games sit directly in the destination
constexpr std::array<size_t, 3> kPrefixLengths = {2, 3, 4};

std::u16string_view Prefix(std::u16string_view name, size_t n) { return name.substr(0, std::min(n, name.size())); }

// The names of one letter group, which ends before `end` in the sorted list.
// A position at or past `end` counts as differing from every game of the
// group; for names whose letters match their OutLetter this is the same as
// looking into the next group, whose first character differs.
class TGroup {
 public:
  TGroup(const TArchiveList& list, size_t end) : list_(list), end_(end) {}

  // The folder name at `pos` (inside the group).
  std::u16string_view Name(size_t pos) const { return list_[pos].OutFolderName; }
  // Whether the n-prefixes at `a` (inside) and `b` are equal.
  bool SamePrefix(size_t a, size_t b, size_t n) const {
    return b < end_ && SameName(Prefix(Name(a), n), Prefix(Name(b), n));
  }
  // Whether the folder names at `a` (inside) and `b` are equal.
  bool SameFolderName(size_t a, size_t b) const { return b < end_ && SameName(Name(a), Name(b)); }
  // The group's last position.
  size_t Last() const { return end_ - 1; }

 private:
  const TArchiveList& list_;
  size_t end_;
};

// Stage n moving down from `last`; true when a boundary is found at `last`.
bool MoveDown(const TGroup& group, size_t start, size_t& last, size_t n) {
  const size_t next = last + 1;  // its prefix stays fixed
  while (last - start > kLowestLastOffset && group.SamePrefix(last, next, n)) --last;
  return !group.SamePrefix(last, next, n);
}

// Stage n moving up from `cand`; true when a boundary is found at `last`.
bool MoveUp(const TGroup& group, size_t start, size_t cand, size_t& last, size_t n) {
  last = cand;
  while (last - start < kHighestLastOffset && group.SamePrefix(last, last + 1, n)) ++last;
  return !group.SamePrefix(last, last + 1, n);
}

// The last position of the subfolder that starts at `start`.
size_t SubfolderLast(const TGroup& group, size_t start) {
  const size_t cand = std::min(start + kNominalLastOffset, group.Last());
  size_t last = cand;
  for (size_t n : kPrefixLengths) {
    if (MoveDown(group, start, last, n)) return last;
    if (MoveUp(group, start, cand, last, n)) return last;
  }
  // No prefix boundary near the candidate: cut between two different names
  // at or below it, never inside a run of equal names.
  last = cand;
  while (last > start && group.SameFolderName(last, last + 1)) --last;
  if (group.SameFolderName(last, last + 1)) {
    // The run of equal names begins at the subfolder's first game: keep all
    // of it in this subfolder, however long it is.
    while (group.SameFolderName(last, last + 1)) ++last;
  }
  return last;
}

bool IsReservedName(std::u16string_view name) {
  return SameName(name, u"CON") || SameName(name, u"AUX") || SameName(name, u"NUL");
}

// `name` without leading and trailing characters of code 32 or lower.
std::u16string_view TrimView(std::u16string_view name) {
  size_t b = 0;
  size_t e = name.size();
  while (b < e && name[b] <= u' ') ++b;
  while (e > b && name[e - 1] <= u' ') --e;
  return name.substr(b, e - b);
}

}  // namespace

int CompareArcInfo(const TArcInfo& a, const TArcInfo& b) {
  if (const int c = CompareNames(a.OutFolderName, b.OutFolderName); c != 0) return c;
  // The sign of a.UniqueID - b.UniqueID, without its overflow.
  return (a.UniqueID > b.UniqueID) - (a.UniqueID < b.UniqueID);
}

void SortArchiveList(TArchiveList& list) {
  std::sort(list.begin(), list.end(), [](const TArcInfo& a, const TArcInfo& b) { return CompareArcInfo(a, b) < 0; });
}

std::u16string NextSubDirName(std::u16string_view last, std::u16string_view next, std::u16string_view current) {
  const size_t longest = std::max(last.size(), next.size());
  size_t length = 2;
  while (length <= longest && SameName(Prefix(last, length), Prefix(next, length))) ++length;
  std::u16string_view name = TrimView(Prefix(next, length));
  // After a subfolder that holds only games named "X", the trim turns the
  // prefix "X " of "X Y" back into "X": take more of `next` so that the two
  // subfolders do not end up in one folder.
  while (SameName(name, current) && length < next.size()) name = TrimView(Prefix(next, ++length));
  std::u16string result(name);
  if (IsReservedName(name)) {
    result = TrimView(Prefix(next, 4));
    if (result.size() == 3) result += u'_';
  }
  // Still the current name (the reserved-name rule, or a title used up):
  // an underscore keeps the two subfolders apart.
  while (SameName(result, current)) result += u'_';
  return result;
}

void BuildOutputMatrix(TArchiveList& list, const std::function<bool()>& terminated) {
  // Subfolder names given so far, per letter folder. The two groups of "0"
  // share one letter folder, and a later prefix can trim down to a name used
  // before ("0" from "0 Ahead"): a name already taken gets underscores, so
  // that no two runs of games fill one subfolder.
  std::map<std::u16string, std::vector<std::u16string>> taken;
  auto unused = [&taken](const std::u16string& letter, std::u16string name) {
    std::vector<std::u16string>& names = taken[letter];
    auto isTaken = [&names](const std::u16string& n) {
      return std::any_of(names.begin(), names.end(), [&n](const std::u16string& t) { return SameName(t, n); });
    };
    while (isTaken(name)) name += u'_';
    names.push_back(name);
    return name;
  };

  size_t first = 0;
  while (first < list.size()) {
    if (terminated && terminated()) return;
    size_t end = first + 1;
    while (end < list.size() && list[end].OutLetter == list[first].OutLetter) ++end;
    for (size_t i = first; i < end; ++i) list[i].OutSubDir.clear();
    if (end - first > kLargestUnsplitGroup) {
      const TGroup group(list, end);
      const std::u16string letter = list[first].OutLetter;
      // The first subfolder is named after the letter; the second group of
      // "0" names its first subfolder after its first title instead.
      std::u16string name = taken.count(letter) ? NextSubDirName(u"", group.Name(first), letter) : letter;
      size_t start = first;
      while (start < end) {
        const size_t last = SubfolderLast(group, start);
        name = unused(letter, name);
        const std::u16string subDir = FatName(AsciiUpper(name));
        for (size_t i = start; i <= last; ++i) list[i].OutSubDir = subDir;
        if (last + 1 < end) name = NextSubDirName(group.Name(last), group.Name(last + 1), name);
        start = last + 1;
      }
    }
    first = end;
  }
}

std::u16string PlaceGame(const TArcInfo& info, size_t gameCount) {
  std::u16string path;
  if (gameCount >= kDirectPlacementLimit) {
    path += info.OutLetter;
    path += u'/';
    if (!info.OutSubDir.empty()) {
      path += info.OutSubDir;
      path += u'/';
    }
  }
  path += info.OutFolderName;
  path += u'/';
  return path;
}

}  // namespace vq
