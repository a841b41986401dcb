#pragma once

#include <string>
#include <vector>

namespace vq {

// Writes `lines` to `path` in Windows-1252 ('?' for characters it lacks),
// without a byte-order mark, every line ended by CR LF, replacing an existing
// file. Throws vq::Error("<path>: <cause>").
void WriteTextLines(const std::string& path, const std::vector<std::u16string>& lines);

}  // namespace vq
