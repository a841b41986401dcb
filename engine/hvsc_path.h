#pragma once

#include <string>
#include <string_view>
#include <mutex>
#include <unordered_map>

namespace vq {

// The file-name part of an NFO's SID path: the text after its last '\',
// '/' or ':' (the whole text when it holds none).
std::u16string SidBaseName(std::u16string_view sidFile);

// The file `root` + `relative`, where `relative` may use '\' or '/'. When
// that exact path does not exist, each component is looked up ignoring
// letter case. Returns the path found, or the exact path when there is none;
// empty when `relative` steps out of `root` with "..".
// `listings` keeps the folder listings read for the look-up ignoring case,
// for later look-ups in the same collection.
class THvscListings;
std::string ResolveHvscPath(const std::string& root, std::string_view relative, THvscListings& listings);

// Folder listings of a collection that does not change while a job runs,
// keyed by lower-cased name; bounded, forgotten when full. Shared by the
// threads of a job.
class THvscListings {
 public:
  // The entry of `dir` equal to `name` ignoring case; empty if none.
  std::string Find(const std::string& dir, const std::string& name);

 private:
  static constexpr size_t kMaxNames = 20000;
  std::mutex mutex_;
  std::unordered_map<std::string, std::unordered_map<std::u16string, std::string>> folders_;
  size_t names_ = 0;
};

}  // namespace vq
