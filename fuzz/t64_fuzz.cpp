// libFuzzer harness for the T64 reader and the PC64 writer: every input is
// read as an archive, counted in test mode and written into a scratch folder.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "tape/t64_archive.h"

namespace {

// A folder of its own under /dev/shm (or /tmp), removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* root = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(root) + "/t64_fuzz.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFolder scratch;
  const vq::Tt64Archive archive(std::span<const uint8_t>(data, size), "FUZZ.T64");

  Check(archive.Valid() || archive.FileCount() == 0);
  const auto& files = archive.Files();
  Check(static_cast<int>(files.size()) == archive.FileCount());
  uint64_t total = 0;
  for (int i = 0; i < archive.FileCount(); ++i) {
    Check(files[i].FileTypeC64S != 0);
    if (i > 0) Check(files[i - 1].Offset <= files[i].Offset);
    total += archive.GetEntryLength(i);
  }
  // Lengths run from offset to offset, so they never add up past the end
  // of the archive or of the last offset.
  if (!files.empty()) Check(total <= std::max<uint64_t>(size, files.back().Offset));
  Check(archive.GetEntryLength(archive.FileCount()) == 0);

  const int32_t counted = archive.ExtractToPxx(scratch.path(), true);
  Check(counted >= 0 && counted <= archive.FileCount());
  const int32_t written = archive.ExtractToPxx(scratch.path(), false);
  Check(written == counted);
  return 0;
}
