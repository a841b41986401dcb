#include "engine/text_file.h"

#include "base/crc32.h"
#include "base/text.h"

namespace vq {

std::string TextFileBytes(const std::vector<std::u16string>& lines) {
  std::string data;
  size_t size = 0;
  for (const std::u16string& line : lines) size += line.size() + 2;
  data.reserve(size);
  for (const std::u16string& line : lines) {
    data += EncodeCp1252(line);
    data += "\r\n";
  }
  return data;
}

TWrittenText WriteTextLines(const TCardFolder& card, const std::string& relative, const std::vector<std::u16string>& lines) {
  const std::string data = TextFileBytes(lines);
  const std::unique_ptr<TCardFile> file = card.CreateFile(relative);
  file->Write(data.data(), data.size());
  file->Commit();
  TCrc32 crc;
  crc.Add(data.data(), data.size());
  return {file->Written(), crc.Value()};
}

}  // namespace vq
