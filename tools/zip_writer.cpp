#include "tools/zip_writer.h"

#include <zip.h>

#include <memory>

#include "base/error.h"

namespace vq::tools {

namespace {

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};

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
  for (const TZipWriterEntry& entry : entries) {
    if (!entry.Name.empty() && entry.Name.back() == '/') {
      if (zip_dir_add(archive.get(), entry.Name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
        throw Error(path + ": " + zip_strerror(archive.get()));
      }
      continue;
    }
    zip_source_t* source = zip_source_buffer(archive.get(), entry.Data.data(), entry.Data.size(), 0);
    if (!source) throw Error(path + ": " + zip_strerror(archive.get()));
    const zip_int64_t index =
        zip_file_add(archive.get(), entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      throw Error(path + ": " + zip_strerror(archive.get()));
    }
    zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index),
                             entry.Deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
  }
  // zip_close reads the buffers, which stay alive until it returns.
  if (zip_close(archive.get()) < 0) {
    const std::string cause = zip_strerror(archive.get());
    throw Error(path + ": " + cause);
  }
  archive.release();
}

}  // namespace vq::tools
