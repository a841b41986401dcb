#pragma once

#include <string>
#include <vector>

namespace vq::tools {

// One member of a zip that WriteZipFile writes.
struct TZipWriterEntry {
  std::string Name;     // stored path, '/' separated; a trailing '/' makes a folder entry
  std::string Data;     // the bytes
  bool Deflate = true;  // deflated, else stored
};

// Writes a zip archive holding `entries` in the given order, replacing
// `path`. Every member is stamped 1994-06-21 12:00, so the same entries give
// the same bytes. Throws vq::Error("<path>: <cause>").
void WriteZipFile(const std::string& path, const std::vector<TZipWriterEntry>& entries);

}  // namespace vq::tools
