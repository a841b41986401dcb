#include "tools/zip_writer.h"

#include <zip.h>

#include <ctime>
#include <memory>

#include "base/error.h"

namespace vq::tools {

namespace {

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};

// 1994-06-21 12:00 local time. libzip would stamp each member with the time
// of writing; one fixed stamp makes the bytes depend on the entries alone.
std::time_t MemberTime() {
  std::tm t{};
  t.tm_year = 94;
  t.tm_mon = 5;
  t.tm_mday = 21;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

}  // namespace

void WriteZipFile(const std::string& path, const std::vector<TZipWriterEntry>& entries) {
  int error = 0;
  std::unique_ptr<zip_t, ZipDiscard> archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
  if (!archive) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    const std::string cause = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    throw Error(path + ": " + cause);
  }
  const std::time_t mtime = MemberTime();
  for (const TZipWriterEntry& entry : entries) {
    zip_int64_t index = -1;
    if (!entry.Name.empty() && entry.Name.back() == '/') {
      index = zip_dir_add(archive.get(), entry.Name.c_str(), ZIP_FL_ENC_UTF_8);
      if (index < 0) throw Error(path + ": " + zip_strerror(archive.get()));
    } else {
      zip_source_t* source = zip_source_buffer(archive.get(), entry.Data.data(), entry.Data.size(), 0);
      if (!source) throw Error(path + ": " + zip_strerror(archive.get()));
      index = zip_file_add(archive.get(), entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
      if (index < 0) {
        zip_source_free(source);
        throw Error(path + ": " + zip_strerror(archive.get()));
      }
      zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index),
                               entry.Deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_file_set_mtime(archive.get(), static_cast<zip_uint64_t>(index), mtime, 0) < 0) {
      throw Error(path + ": " + zip_strerror(archive.get()));
    }
  }
  // zip_close reads the buffers, which stay alive until it returns.
  if (zip_close(archive.get()) < 0) {
    const std::string cause = zip_strerror(archive.get());
    throw Error(path + ": " + cause);
  }
  // zip_close freed the archive.
  static_cast<void>(archive.release());
}

}  // namespace vq::tools
