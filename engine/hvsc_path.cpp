#include "engine/hvsc_path.h"

#include <dirent.h>

#include <memory>
#include <vector>

#include "base/file_system.h"
#include "base/text.h"

namespace vq {

namespace {

struct DirClose {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::string THvscListings::Find(const std::string& dir, const std::string& name) {
  const std::lock_guard lock(mutex_);
  auto folder = folders_.find(dir);
  if (folder == folders_.end()) {
    if (names_ > kMaxNames) {
      folders_.clear();
      names_ = 0;
    }
    std::unordered_map<std::u16string, std::string> names;
    std::unique_ptr<DIR, DirClose> handle(opendir(dir.empty() ? "." : dir.c_str()));
    while (handle) {
      const dirent* entry = readdir(handle.get());
      if (!entry) break;
      const std::string candidate = entry->d_name;
      if (candidate == "." || candidate == "..") continue;
      // Several candidates: the one first in byte order, as without a cache.
      std::string& kept = names[LowerCase(Utf8ToUtf16(candidate))];
      if (kept.empty() || candidate < kept) kept = candidate;
    }
    names_ += names.size();
    folder = folders_.emplace(dir, std::move(names)).first;
  }
  const auto found = folder->second.find(LowerCase(Utf8ToUtf16(name)));
  return found == folder->second.end() ? std::string() : found->second;
}

std::u16string SidBaseName(std::u16string_view sidFile) {
  const size_t cut = sidFile.find_last_of(u"\\/:");
  return std::u16string(cut == std::u16string_view::npos ? sidFile : sidFile.substr(cut + 1));
}

std::string ResolveHvscPath(const std::string& root, std::string_view relative, THvscListings& listings) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : relative) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  for (const std::string& p : parts) {
    if (p == "..") return {};  // a tune never lies outside the collection
  }

  std::string exact = root;
  for (size_t i = 0; i < parts.size(); ++i) exact += (i ? "/" : "") + parts[i];
  if (FileExists(exact)) return exact;

  std::string path = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    const std::string direct = path + p;
    const bool last = i + 1 == parts.size();
    std::string next;
    if (p == ".") {
      next = path.empty() ? "." : path.substr(0, path.size() - 1);
    } else if (last ? FileExists(direct) : DirectoryExists(direct)) {
      next = direct;
    } else {
      const std::string match = listings.Find(path, p);
      if (match.empty()) return exact;
      next = path + match;
    }
    path = last ? next : next + "/";
  }
  return FileExists(path) ? path : exact;
}

}  // namespace vq
