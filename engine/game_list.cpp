#include <string>
#include <vector>

#include "base/error.h"
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

std::string GameListName(TFileNameStyle style) { return style == fnsSD2IEC ? "gamelist.csv" : "GameList.csv"; }

void TWorkThread::WriteGameList() {
  std::vector<std::u16string> lines;
  lines.reserve(ArchiveList.size() + 1);
  lines.push_back(u"\"Game Title\",\"Path\",\"Unique-ID\",\"Error\"");
  for (const TArcInfo& game : ArchiveList) {
    std::u16string& line = lines.emplace_back(u"\"");
    line += DoubleQuotes(game.Name);
    line += u"\",\"";
    line += game.RealOutPath;
    line += u"\",\"";
    line += IntToText(game.UniqueID);
    line += u"\",\"";
    line += Trim(game.ExtractionStatus);
    line += u'"';
  }
  // Written whole beside its final name, then renamed: a game list is there
  // only when the job finished, and then complete.
  const std::string name = GameListName(FFileNameStyle);
  Card();
  try {
    const TWrittenText written = WriteTextLines(*FCard, name + ".tmp", lines);
    FCard->ReplaceFile(name + ".tmp", name);
    FGameListFile = {name, static_cast<int64_t>(written.Stat.Size), written.Stat.Time, written.Crc};
  } catch (const Error&) {
    if (FCard->Exists(name + ".tmp")) FCard->Remove(name + ".tmp");
    throw;
  }
}

}  // namespace vq
