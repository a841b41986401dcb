#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace vq {

// The files of one game folder as FAT compares their names (Unicode simple
// case folding). Every path it hands out is valid on FAT32 and exFAT, and a
// path that would equal an earlier one gets "_2", "_3", ... before its
// extension, so no file of the folder overwrites another.
class TGameFiles {
 public:
  // Forgets every name: the next game folder starts empty.
  void Clear() {
    taken_.clear();
    paths_.clear();
    renamed_ = false;
  }
  // Marks the FAT-valid form of `relativePath` as taken by a file the job
  // writes itself later, so that no other file takes it first; returns it.
  std::string Reserve(const std::string& relativePath);
  // The FAT-valid, unique form of `relativePath` ('/'-separated), now taken.
  std::string Claim(const std::string& relativePath);
  // True when a path had to get a number since the last Clear.
  bool Renamed() const { return renamed_; }
  // Every path Claim handed out since the last Clear, in order.
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::unordered_set<std::u16string> taken_;  // folded full relative paths
  std::vector<std::string> paths_;
  bool renamed_ = false;
};

}  // namespace vq
