#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_sink.h"
#include "base/file_system.h"

namespace vq::test {

// A sink over base's TNewFile: the file is removed again unless committed.
class TNewFileSink final : public TFileSink {
 public:
  explicit TNewFileSink(std::string path) : file_(std::move(path)) {}
  void Write(const void* data, size_t size) override { file_.Write(data, size); }
  void Commit() override { file_.Commit(); }

 private:
  TNewFile file_;
};

// A folder on disk as a target, for tests: each file made by base's TNewFile
// below `folder` (which must be there), its sub-folders by ForceDirectories.
class TFolderTarget final : public TFileTarget {
 public:
  explicit TFolderTarget(std::string folder) : folder_(IncludeTrailingDelimiter(std::move(folder))) {}

  std::unique_ptr<TFileSink> Create(const std::string& relativePath) override {
    const std::string path = folder_ + relativePath;
    if (relativePath.find('/') != std::string::npos) {
      const std::string parent = ExtractFilePath(path);
      if (!ForceDirectories(parent)) {
        const int err = errno;
        throw SystemError(parent, err);
      }
    }
    Created.push_back(relativePath);
    return std::make_unique<TNewFileSink>(path);
  }
  // The folder, ending in '/'.
  const std::string& Folder() const { return folder_; }

  // Every path Create was asked for, in order.
  std::vector<std::string> Created;

 private:
  std::string folder_;
};

// A target that keeps the files in memory, for tests that only need bytes:
// a file lands in Files when its sink commits.
class TMemoryTarget final : public TFileTarget {
 public:
  std::unique_ptr<TFileSink> Create(const std::string& relativePath) override {
    Created.push_back(relativePath);
    return std::make_unique<TPendingFile>(*this, relativePath);
  }

  // Every path Create was asked for, in order.
  std::vector<std::string> Created;
  // The committed files by path.
  std::map<std::string, std::string> Files;

 private:
  class TPendingFile final : public TFileSink {
   public:
    TPendingFile(TMemoryTarget& target, std::string path) : target_(target), path_(std::move(path)) {}
    void Write(const void* data, size_t size) override { bytes_.append(static_cast<const char*>(data), size); }
    void Commit() override { target_.Files[path_] = std::move(bytes_); }

   private:
    TMemoryTarget& target_;
    std::string path_;
    std::string bytes_;
  };
};

// A sink that keeps the bytes written to it, or fails as a full disk does
// once more than `room` bytes were written: Error("<path>: <cause>", ENOSPC).
class TMemorySink final : public TFileSink {
 public:
  explicit TMemorySink(size_t room = SIZE_MAX) : room_(room) {}
  void Write(const void* data, size_t size) override {
    if (size > room_ - Bytes.size()) throw SystemError("/card/full.d64", ENOSPC);
    Bytes.append(static_cast<const char*>(data), size);
  }
  void Commit() override { Committed = true; }

  std::string Bytes;
  bool Committed = false;

 private:
  size_t room_;
};

}  // namespace vq::test
