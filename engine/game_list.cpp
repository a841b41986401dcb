#include <string>
#include <vector>

#include "base/text.h"
#include "engine/text_file.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

std::u16string DoubleQuotes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'"') out += u'"';
    out += c;
  }
  return out;
}

}  // namespace

void TWorkThread::WriteGameList() {
  std::vector<std::u16string> lines;
  lines.reserve(ArchiveList.size() + 1);
  lines.push_back(u"\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"");
  for (const TArcInfo& game : ArchiveList) {
    lines.push_back(u"\"" + DoubleQuotes(game.Name) + u"\",\"" + game.RealOutPath + u"\",\"" +
                    IntToText(game.UniqueID) + u"\",\"" + Trim(game.ExtractionStatus) + u"\"");
  }
  WriteTextLines(FDestDir + (FFileNameStyle == fnsSD2IEC ? "gamelist.csv" : "GameList.csv"), lines);
}

}  // namespace vq
