#include "engine/text_file.h"

#include "base/file_system.h"
#include "base/text.h"

namespace vq {

void WriteTextLines(const std::string& path, const std::vector<std::u16string>& lines) {
  std::string data;
  size_t size = 0;
  for (const std::u16string& line : lines) size += line.size() + 2;
  data.reserve(size);
  for (const std::u16string& line : lines) {
    data += EncodeCp1252(line);
    data += "\r\n";
  }
  WriteWholeFile(path, data.data(), data.size());
}

}  // namespace vq
