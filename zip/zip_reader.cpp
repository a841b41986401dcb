#include "zip/zip_reader.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/text.h"

namespace vq {

namespace {

// Size of the chunks that an extraction inflates and writes at a time.
constexpr size_t kCopyChunk = size_t{64} * 1024;

// A size limit as people write it: "64 MiB", "256 KiB", "1000 bytes".
std::string SizeText(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}
// The largest read buffer kept between archives.
constexpr size_t kKeptBuffer = size_t{1024} * 1024;

// A file inside an open archive, closed on every path.
struct FileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, FileClose>;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// True for a folder entry: its stored name ends in a separator.
bool IsFolderName(std::string_view name) { return name.empty() || IsSeparator(name.back()); }

// The stored name without its folder part; '\' counts as a separator too.
std::string_view BareName(std::string_view name) {
  const size_t cut = name.find_last_of("/\\");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

bool AsciiEqualCaseless(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The path, relative to the base folder, that an entry is written to, with
// '/' separators. A stored path that is absolute, names a drive or holds a
// ".." part could leave the base folder: such an entry keeps only its bare
// file name. Empty and "." parts are dropped. Returns an empty text for a
// name that cannot be written at all ("..").
std::string SafeRelativePath(std::string_view stored) {
  std::string bare(BareName(stored));
  if (bare.empty() || bare == "." || bare == "..") return {};
  if (IsSeparator(stored.front())) return bare;
  std::string result;
  size_t start = 0;
  bool first = true;
  while (start <= stored.size()) {
    size_t end = stored.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = stored.size();
    const std::string_view part = stored.substr(start, end - start);
    if (part == "..") return bare;
    // "C:" as the first part names a drive, an absolute path elsewhere.
    if (first && !part.empty() && part.back() == ':') return bare;
    if (!part.empty() && part != ".") {
      if (!result.empty()) result += '/';
      result.append(part);
    }
    first = false;
    start = end + 1;
  }
  return result;
}

}  // namespace

void TZipReader::ArchiveClose::operator()(zip* z) const {
  // The archive is read-only; discarding it never writes.
  zip_discard(z);
}

TZipReader::TZipReader() = default;
TZipReader::~TZipReader() = default;

void TZipReader::Open() {
  Close();
  int code = 0;
  zip* archive = zip_open(file_name_.c_str(), ZIP_RDONLY, &code);
  if (!archive) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string cause = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(ClipText(file_name_) + ": " + cause);
  }
  archive_.reset(archive);
  entry_count_ = zip_get_num_entries(archive, 0);
  next_index_ = entry_count_;
}

void TZipReader::Close() noexcept {
  archive_.reset();
  entry_count_ = 0;
  next_index_ = 0;
}

void TZipReader::RequireOpen() const {
  if (!archive_) Fail("archive is not open");
}

void TZipReader::Fail(const std::string& cause, int code) const {
  throw Error(ClipText(file_name_) + ": " + ClipText(cause, kMaxMessageText), code);
}

const char* TZipReader::EntryName(int64_t index) const {
  return zip_get_name(archive_.get(), static_cast<zip_uint64_t>(index), ZIP_FL_ENC_GUESS);
}

bool TZipReader::FindFirst(std::string_view mask, TZipEntry& entry) {
  RequireOpen();
  mask_.assign(mask);
  next_index_ = 0;
  return NextMatch(entry);
}

bool TZipReader::FindNext(TZipEntry& entry) {
  RequireOpen();
  return NextMatch(entry);
}

bool TZipReader::NextMatch(TZipEntry& entry) {
  while (next_index_ < entry_count_) {
    const int64_t index = next_index_++;
    const char* name = EntryName(index);
    if (!name || IsFolderName(name)) continue;
    const std::string_view bare = BareName(name);
    if (bare.empty() || !MatchesMask(bare, mask_)) continue;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0) {
      Fail(zip_strerror(archive_.get()));
    }
    entry.FileName.assign(bare);
    entry.StoredPath.assign(name);
    entry.Index = index;
    entry.Size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    entry.Crc = (st.valid & ZIP_STAT_CRC) ? static_cast<int64_t>(st.crc) : -1;
    return true;
  }
  return false;
}

int64_t TZipReader::LocateRootEntry(std::string_view name) const {
  for (int64_t index = 0; index < entry_count_; ++index) {
    const char* stored = EntryName(index);
    if (!stored) continue;
    // Tar-family tools store root entries as "./NAME".
    std::string_view path(stored);
    while (path.starts_with("./")) path.remove_prefix(2);
    if (AsciiEqualCaseless(path, name)) return index;
  }
  return -1;
}

void TZipReader::ReadEntry(int64_t index, std::vector<uint8_t>& out, uint64_t maxSize) {
  maxSize = std::min(maxSize, kMaxMemoryEntry);
  const std::string tooLarge = ": entry is larger than " + SizeText(maxSize);
  const char* name = EntryName(index);
  const std::string_view entry_name = name ? name : "?";
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0) {
    Fail(std::string(entry_name) + ": " + zip_strerror(archive_.get()));
  }
  const uint64_t declared = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
  if (declared > maxSize) Fail(std::string(entry_name) + tooLarge, EFBIG);
  ZipFilePtr file(zip_fopen_index(archive_.get(), static_cast<zip_uint64_t>(index), 0));
  if (!file) Fail(std::string(entry_name) + ": " + zip_strerror(archive_.get()));

  // One byte beyond the declared size lets the first read reach the end of
  // the data, so the check sum is verified; a header that understates the
  // size only makes the buffer grow, never past the limit. Reserving first
  // keeps the vector from doubling its capacity on resize.
  out.clear();
  out.reserve(static_cast<size_t>(declared) + 1);
  out.resize(static_cast<size_t>(declared) + 1);
  size_t total = 0;
  for (;;) {
    if (total == out.size()) {
      if (total > maxSize) Fail(std::string(entry_name) + tooLarge, EFBIG);
      const size_t grown = static_cast<size_t>(
          std::min<uint64_t>(std::max<uint64_t>(2 * total, kCopyChunk), maxSize + 1));
      out.reserve(grown);
      out.resize(grown);
    }
    const zip_int64_t n = zip_fread(file.get(), out.data() + total, out.size() - total);
    if (n < 0) Fail(std::string(entry_name) + ": " + zip_file_strerror(file.get()));
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  out.resize(total);
}

void TZipReader::ExtractToMemory(std::string_view name, std::vector<uint8_t>& out, uint64_t maxSize) {
  RequireOpen();
  const int64_t index = LocateRootEntry(name);
  if (index < 0) Fail(std::string(name) + ": entry not found");
  ReadEntry(index, out, maxSize);
}

void TZipReader::ExtractEntryToMemory(const TZipEntry& entry, std::vector<uint8_t>& out, uint64_t maxSize) {
  RequireOpen();
  if (entry.Index < 0 || entry.Index >= entry_count_) {
    Fail(entry.StoredPath + ": entry not found");
  }
  ReadEntry(entry.Index, out, maxSize);
}

std::string TZipReader::CrcList() const {
  RequireOpen();
  std::string list;
  char hex[16];
  for (int64_t index = 0; index < entry_count_; ++index) {
    zip_stat_t st;
    zip_stat_init(&st);
    const bool known = zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &st) == 0 &&
                       (st.valid & ZIP_STAT_CRC) != 0;
    std::snprintf(hex, sizeof hex, "%08x", known ? static_cast<unsigned>(st.crc) : 0u);
    if (index) list += ',';
    list += hex;
  }
  return list;
}

std::string TZipReader::RootEntryName(std::string_view name) const {
  RequireOpen();
  const int64_t index = LocateRootEntry(name);
  if (index < 0) Fail(std::string(name) + ": entry not found");
  return std::string(BareName(EntryName(index)));
}

std::string TZipReader::ExtractToString(std::string_view name, uint64_t maxSize) {
  // The buffer is kept for the next archive unless an unusually large entry grew it.
  auto trim_buffer = [this] {
    if (buffer_.capacity() > kKeptBuffer) std::vector<uint8_t>().swap(buffer_);
  };
  try {
    ExtractToMemory(name, buffer_, maxSize);
  } catch (const Error&) {
    trim_buffer();
    throw;
  }
  std::string text =
      Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(buffer_.data()), buffer_.size()));
  trim_buffer();
  return text;
}

void TZipReader::RequireEntry(const TZipEntry& entry) const {
  RequireOpen();
  if (entry.Index < 0 || entry.Index >= entry_count_) Fail(entry.StoredPath + ": entry not found");
}

bool TZipReader::ExtractEntry(const TZipEntry& entry, TFileTarget& folder) {
  RequireEntry(entry);
  const std::string relative = TargetPath(entry);
  if (relative.empty()) return false;
  const char* name = EntryName(entry.Index);
  std::unique_ptr<TFileSink> out;
  WriteEntry(entry.Index, name ? name : entry.StoredPath, [&]() -> TFileSink& {
    out = folder.Create(relative);
    return *out;
  });
  try {
    out->Commit();
  } catch (const Error& e) {
    Fail(e.what(), e.Code());
  }
  return true;
}

std::string TZipReader::TargetPath(const TZipEntry& entry) {
  if (IsFolderName(entry.StoredPath)) return {};
  return SafeRelativePath(entry.StoredPath);
}

void TZipReader::ExtractEntryTo(const TZipEntry& entry, TFileSink& out) {
  RequireEntry(entry);
  const char* name = EntryName(entry.Index);
  WriteEntry(entry.Index, name ? name : entry.StoredPath, [&out]() -> TFileSink& { return out; });
}

void TZipReader::ExtractRootEntryTo(std::string_view name, TFileSink& out) {
  RequireOpen();
  const int64_t index = LocateRootEntry(name);
  if (index < 0) Fail(std::string(name) + ": entry not found");
  WriteEntry(index, EntryName(index), [&out]() -> TFileSink& { return out; });
}

void TZipReader::WriteEntry(int64_t index, const std::string& name, const std::function<TFileSink&()>& sink) {
  ZipFilePtr file(zip_fopen_index(archive_.get(), static_cast<zip_uint64_t>(index), 0));
  if (!file) Fail(name + ": " + zip_strerror(archive_.get()));
  try {
    // The sink's errors ("<path>: <cause>", with the system's code) and the
    // archive's own come out naming the archive.
    TFileSink& out = sink();
    buffer_.resize(kCopyChunk);
    for (;;) {
      const zip_int64_t n = zip_fread(file.get(), buffer_.data(), buffer_.size());
      if (n < 0) throw Error(name + ": " + zip_file_strerror(file.get()));
      if (n == 0) break;
      out.Write(buffer_.data(), static_cast<size_t>(n));
    }
  } catch (const Error& e) {
    Fail(e.what(), e.Code());
  }
}

}  // namespace vq
