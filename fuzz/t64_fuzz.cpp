// libFuzzer harness for the T64 reader and the PC64 writer: every input is
// read as an archive, counted in test mode and written into memory.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/file_sink.h"
#include "tape/t64_archive.h"
#include "tape/t64_format.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Keeps the size of each file made through it, and checks that every file
// is committed once and only written before that.
class SizeTarget final : public vq::TFileTarget {
 public:
  std::unique_ptr<vq::TFileSink> Create(const std::string& relativePath) override {
    Names.push_back(relativePath);
    Sizes.push_back(0);
    Committed.push_back(false);
    return std::make_unique<Sink>(*this, Sizes.size() - 1);
  }

  std::vector<std::string> Names;
  std::vector<uint64_t> Sizes;
  std::vector<bool> Committed;

 private:
  class Sink final : public vq::TFileSink {
   public:
    Sink(SizeTarget& target, size_t index) : target_(target), index_(index) {}
    void Write(const void* data, size_t size) override {
      Check(data != nullptr || size == 0);
      Check(!target_.Committed[index_]);
      target_.Sizes[index_] += size;
    }
    void Commit() override {
      Check(!target_.Committed[index_]);
      target_.Committed[index_] = true;
    }

   private:
    SizeTarget& target_;
    size_t index_;
  };
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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

  // Test mode names the same files as a real run and creates none.
  std::vector<std::string> counting, writing;
  SizeTarget counted_target, target;
  const int32_t counted = archive.ExtractToPxx(counted_target, true, [&counting](const std::string& name) {
    counting.push_back(name);
    return name;
  });
  Check(counted >= 0 && counted <= archive.FileCount());
  Check(counted_target.Names.empty());
  const int32_t written = archive.ExtractToPxx(target, false, [&writing](const std::string& name) {
    writing.push_back(name);
    return name;
  });
  Check(written == counted);
  Check(writing == counting);
  Check(target.Names == writing);
  // Every file is whole: a PC64 header and at most the archive's bytes.
  for (size_t i = 0; i < target.Names.size(); ++i) {
    Check(target.Committed[i]);
    Check(target.Sizes[i] >= uint64_t{vq::t64::kPc64HeaderSize} &&
          target.Sizes[i] <= uint64_t{vq::t64::kPc64MaxHeaderSize} + size);
  }
  return 0;
}
