#include "tape/t64_archive.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"

namespace vq {

namespace {

// Largest block handed to one write call.
constexpr size_t kCopyBlockSize = size_t{1024} * 1024;

// The name part of `path`: the text after its last '/', '\' or ':'.
std::string BaseName(const std::string& path) {
  const size_t sep = path.find_last_of("/\\:");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// `name` with the text from its last dot replaced by `extension` (appended
// when there is no dot).
std::string ChangeExtension(const std::string& name, const std::string& extension) {
  const size_t dot = name.find_last_of('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + extension;
}

// The PC64 letter of a CBM file type byte, or 0 when the entry is skipped.
char Pc64Letter(uint8_t fileType1541) {
  switch (fileType1541) {
    case 0:
      return 0;
    case t64::kType1541Del:
      return 'D';
    case t64::kType1541Seq:
      return 'S';
    case t64::kType1541Usr:
      return 'U';
    default:
      return 'P';
  }
}

}  // namespace

Tt64Archive::Tt64Archive(const std::string& FileName) {
  if (!FileExists(FileName)) throw Error("File does not exist");
  FOwnedData = ReadWholeFile(FileName);
  FArchiveStream = FOwnedData;
  FFileName = FileName;
  InitFiles();
}

Tt64Archive::Tt64Archive(std::span<const uint8_t> MemoryStream, std::string OriginalFileName)
    : FArchiveStream(MemoryStream), FFileName(std::move(OriginalFileName)) {
  InitFiles();
}

void Tt64Archive::InitFiles() {
  FFiles.clear();
  FTapeName.clear();
  FTapeHeader = t64::Tt64FileHeader{};
  FValid = false;

  if (FArchiveStream.size() < static_cast<size_t>(t64::kHeaderSize)) return;
  FTapeHeader = t64::DecodeFileHeader(FArchiveStream.first<t64::kHeaderSize>());

  const std::string signature(reinterpret_cast<const char*>(FTapeHeader.Signature), 3);
  if (AsciiUpper(signature) != "C64") return;

  // Cp1252ToUtf8 gives bytes above 0x20 for every character above U+0020,
  // so trimming the UTF-8 bytes removes exactly the characters up to U+0020.
  FTapeName = TrimRight(Cp1252ToUtf8(std::string_view(
      reinterpret_cast<const char*>(FTapeHeader.TapeName), sizeof FTapeHeader.TapeName)));

  if (FTapeHeader.UsedEntries > FTapeHeader.MaxEntries) return;
  const size_t directoryEnd =
      t64::kHeaderSize + static_cast<size_t>(t64::kSlotSize) * FTapeHeader.MaxEntries;
  if (FArchiveStream.size() < directoryEnd) return;

  FFiles.reserve(FTapeHeader.UsedEntries);
  for (size_t slot = 0; slot < FTapeHeader.UsedEntries; ++slot) {
    const auto bytes = FArchiveStream.subspan(t64::kHeaderSize + slot * t64::kSlotSize)
                           .first<t64::kSlotSize>();
    const t64::Tt64DirectoryEntry entry = t64::DecodeDirectoryEntry(bytes);
    if (entry.FileTypeC64S != 0) FFiles.push_back(entry);
  }
  // Stable, so entries sharing an offset keep their directory order.
  std::stable_sort(FFiles.begin(), FFiles.end(),
                   [](const t64::Tt64DirectoryEntry& a, const t64::Tt64DirectoryEntry& b) {
                     return a.Offset < b.Offset;
                   });
  FValid = true;
}

uint64_t Tt64Archive::EntryLength(size_t i) const {
  if (i >= FFiles.size()) return 0;
  const uint64_t offset = FFiles[i].Offset;
  if (i + 1 < FFiles.size()) return FFiles[i + 1].Offset - offset;
  const uint64_t size = FArchiveStream.size();
  return offset <= size ? size - offset : 0;
}

uint32_t Tt64Archive::GetEntryLength(int i) const {
  if (i < 0) return 0;
  return static_cast<uint32_t>(
      std::min<uint64_t>(EntryLength(static_cast<size_t>(i)), std::numeric_limits<uint32_t>::max()));
}

int32_t Tt64Archive::ExtractToPxx(TFileTarget& OutFolder, bool TestMode, const TNameChooser& ChooseName) const {
  std::string base = BaseName(FFileName);
  int32_t written = 0;
  int nextNumber = 0;
  const uint64_t archiveSize = FArchiveStream.size();
  for (size_t i = 0; i < FFiles.size(); ++i) {
    const t64::Tt64DirectoryEntry& entry = FFiles[i];
    if (entry.FileTypeC64S != t64::kC64sNormalFile) continue;
    const uint64_t length = EntryLength(i);
    if (entry.Offset > archiveSize || length > archiveSize - entry.Offset) continue;
    const char letter = Pc64Letter(entry.FileType1541);
    if (letter == 0) continue;
    ++written;
    // Named in test mode too: a caller that claims names sees the claims of
    // a real run.
    base = ChangeExtension(base, Format(".%c%.2d", letter, nextNumber++));
    const std::string name = ChooseName ? ChooseName(base) : base;
    if (TestMode) continue;

    const std::unique_ptr<TFileSink> out = OutFolder.Create(name);
    WritePc64File(*out, entry, letter == 'P', length);
    out->Commit();
  }
  return written;
}

void Tt64Archive::WritePc64File(TFileSink& Out, const t64::Tt64DirectoryEntry& Entry, bool IsPFile,
                                uint64_t Length) const {
  std::array<uint8_t, t64::kPc64MaxHeaderSize> header{};
  std::memcpy(header.data(), t64::kPc64Magic, sizeof t64::kPc64Magic - 1);
  uint8_t* name = header.data() + 8;
  std::memcpy(name, Entry.FileName, t64::kFileNameSize);
  for (int k = t64::kFileNameSize - 1; k >= 0 && name[k] == 0x20; --k) name[k] = 0;
  size_t headerSize = t64::kPc64HeaderSize;
  if (IsPFile) {
    t64::WriteLe16(header.data() + headerSize, Entry.StartAddress);
    headerSize += 2;
  }

  Out.Write(header.data(), headerSize);
  const std::span<const uint8_t> data =
      FArchiveStream.subspan(Entry.Offset, static_cast<size_t>(Length));
  for (size_t done = 0; done < data.size();) {
    const size_t block = std::min(kCopyBlockSize, data.size() - done);
    Out.Write(data.data() + done, block);
    done += block;
  }
}

}  // namespace vq
