#include "tools/game_writer.h"

#include <algorithm>
#include <iterator>

#include "base/file_system.h"
#include "base/text.h"
#include "tools/byte_fields.h"
#include "tools/sample_images.h"
#include "tools/sample_nfo.h"
#include "tools/sample_titles.h"

namespace vq::tools {

namespace {

// Names of the PRG files beside a game's main program.
constexpr const char* kExtraPrgNames[] = {"INTRO", "LOADER", "PART 2", "PART 3", "HISCORE",
                                          "LEVELS", "MUSIC", "END", "EDITOR", "DOCS"};

// Overwrites the start of the first member's compressed data with 0xFF
// bytes: a deflate block of the reserved type, which no reader accepts.
void DamageFirstMember(std::string& zip) {
  const size_t data = 30 + Get16(zip, 26) + Get16(zip, 28);
  const size_t length = std::min<size_t>(Get32(zip, 18), 16);
  for (size_t i = 0; i < length && data + i < zip.size(); ++i) zip[data + i] = '\xFF';
}

// True for the upper-cased extensions that count as images.
bool IsImageExtension(const std::string& ext) {
  static constexpr const char* kImages[] = {".D64", ".D81", ".CRT", ".TAP", ".G64", ".REU", ".T64"};
  return std::find(std::begin(kImages), std::end(kImages), ext) != std::end(kImages);
}

}  // namespace

std::string& TGameWriter::Add(const std::string& name, bool deflate) {
  const size_t i = entries_.size();
  if (pool_.size() <= i) pool_.resize(i + 1);
  entries_.push_back({name, std::move(pool_[i]), deflate});
  entries_.back().Data.clear();
  return entries_.back().Data;
}

void TGameWriter::AddD64Set(TRandom& rng, const TGamePlan& plan, int disks, const std::string& folder) {
  const std::string& base = plan.BaseName;
  const uint32_t form = rng.Below(5);
  const char* ext = rng.Percent(50) ? ".d64" : ".D64";
  for (int d = 1; d <= disks; ++d) {
    const std::string n = std::to_string(d);
    std::string name;
    if (disks == 1) {
      name = rng.Percent(10) ? AsciiLower(base) : base;
      name += rng.Percent(15) ? ".d64" : ext;
    } else if (form == 0) {
      name.assign(base).append(" (Disk ").append(n).append(")").append(ext);
    } else if (form == 1) {
      name.assign(base).append("_Disk").append(n).append(ext);
    } else if (form == 2) {
      name = base + " Side " + std::string(1, static_cast<char>('A' + d - 1)) + ext;
    } else if (form == 3) {
      name.assign(base).append("-").append(n).append(ext);
    } else {
      name = std::string(d == 2 ? "Disk" : "disk") + n + (d == 3 ? ".D64" : ".d64");
    }
    std::vector<std::string> files;
    if (d == 1) files.push_back(base);
    const int count = rng.Range(d == 1 ? 0 : 1, 5);
    for (int f = 0; f < count; ++f) files.push_back(rng.Pick(kExtraPrgNames) + std::string(" ") + n);
    std::string label = base;
    if (disks > 1) label.append(" ").append(n);
    BuildD64(label, files, Add(folder + name, !rng.Percent(1)));
  }
}

void TGameWriter::AddT64(TRandom& rng, const TGamePlan& plan, TSampleGame& game) {
  prgs_.resize(static_cast<size_t>(rng.Range(2, 5)));
  for (size_t i = 0; i < prgs_.size(); ++i) {
    prgs_[i].first = i == 0 ? C64Name(game.Title, 16) : std::string(rng.Pick(kExtraPrgNames));
    prgs_[i].second = "\x01\x08";
    AppendProgramBytes(prgs_[i].second, rng, static_cast<size_t>(rng.Range(200, 6000)));
  }
  const char* ext = rng.Percent(60) ? ".t64" : ".T64";
  BuildT64(C64Name(game.Title, 24), prgs_, Add(plan.BaseName + ext, !rng.Percent(10)));
  game.TapeFileCount += static_cast<int>(prgs_.size());
}

void TGameWriter::Count(TSampleGame& game) const {
  for (const TZipWriterEntry& e : entries_) {
    game.Entries.push_back(e.Name);
    if (e.Name.back() == '/') continue;
    const std::string file = ExtractFileName(e.Name);
    const size_t dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : AsciiUpper(file.substr(dot));
    if (ext == ".NFO") continue;
    if (!IsImageExtension(ext)) {
      ++game.UnhandledCount;
      continue;
    }
    ++game.ImageCount;
    if (ext == ".D64") ++game.D64Count;
  }
}

void TGameWriter::Write(const TGamePlan& plan, TSampleGame& game) {
  TRandom rng(plan.Seed);
  entries_.clear();
  if (game.Flaw == sfNotAZip) {
    const std::string text = "This is not a zip archive, only a text file named like one.\r\n";
    WriteWholeFile(game.ZipPath, text.data(), text.size());
    return;
  }
  const bool nfoFirst = game.Flaw == sfCorruptNfo || rng.Percent(55);
  std::string nfo;
  if (game.Flaw != sfNoNfo) nfo = Utf8ToCp1252(MakeNfo(rng, game, plan));
  const bool nfoDeflate = game.Flaw == sfCorruptNfo || !rng.Percent(10);
  if (nfoFirst && !nfo.empty()) Add("VERSION.NFO", nfoDeflate) = nfo;

  const std::string& base = plan.BaseName;
  const std::string folder = rng.Percent(3) ? (rng.Percent(50) ? "Disks/" : "extras/") : std::string();
  if (!folder.empty() && rng.Percent(50)) Add(folder, true);
  const uint32_t kind = plan.Special == spReadmeOnly ? 1000 : plan.Special == spBadTape ? 0 : rng.Below(100);
  if (kind < 58) {
    const uint32_t r = rng.Below(100);
    AddD64Set(rng, plan, r < 72 ? 1 : r < 88 ? 2 : r < 95 ? 3 : 4, folder);
    if (plan.Special == spBadTape) {
      Add(base + ".t64", true) = std::string("This file was damaged in transfer.\r\n") + std::string(200, '\0');
      game.BadTape = true;
    } else if (rng.Percent(8)) {
      AddT64(rng, plan, game);
    }
  } else if (kind < 76) {
    AddT64(rng, plan, game);
    if (rng.Percent(10)) AddD64Set(rng, plan, 1, folder);
  } else if (kind < 95) {
    const bool lower = rng.Percent(60);
    const bool deflate = !rng.Percent(10);
    if (kind < 84) {
      BuildCrt(game.Title, rng, Add(folder + base + (lower ? ".crt" : ".CRT"), deflate));
    } else if (kind < 90) {
      BuildTap(rng, Add(folder + base + (lower ? ".tap" : ".TAP"), deflate));
      if (rng.Percent(20)) AddT64(rng, plan, game);
    } else {
      BuildG64(rng, Add(folder + base + (lower ? ".g64" : ".G64"), deflate));
      if (rng.Percent(30)) AddD64Set(rng, plan, 1, std::string());
    }
  } else if (kind < 98) {
    BuildSmallImage("(D)", game.Title, rng, 12288, Add(folder + base + ".d81", true));
  } else if (kind < 100) {
    BuildSmallImage("REU", game.Title, rng, 16384, Add(base + ".reu", true));
    AddD64Set(rng, plan, 1, folder);
  }

  if (plan.Special == spReadmeOnly || rng.Percent(8)) {
    const char* name = rng.Pick({"readme.txt", "README.TXT", "Readme.txt"});
    Add(name, true) = "Readme for " + Utf8ToCp1252(game.Title) + "\r\nLoad with LOAD\"*\",8,1\r\n";
  }
  if (plan.Special != spReadmeOnly) {
    if (rng.Percent(2)) Add("FILE_ID.DIZ", true) = "Vondral 64 collection\r\n";
    if (rng.Percent(1)) Add("LOADER", false) = "\x01\x08\x60";
    if (rng.Percent(1)) Add("cover.jpg", false) = "\xFF\xD8\xFF\xE0 not really a picture";
    if (rng.Percent(2)) Add("info.nfo", true) = "Additional notes.\r\n";
  }
  if (!nfoFirst && !nfo.empty()) Add("VERSION.NFO", nfoDeflate) = nfo;
  Count(game);

  WriteZipFile(game.ZipPath, entries_);
  for (size_t i = 0; i < entries_.size(); ++i) pool_[i] = std::move(entries_[i].Data);
  entries_.clear();

  if (game.Flaw != sfTruncated && game.Flaw != sfCorruptNfo) return;
  zip_ = ReadWholeFileAsString(game.ZipPath);
  if (game.Flaw == sfTruncated) zip_.resize(zip_.size() / 2);
  if (game.Flaw == sfCorruptNfo) DamageFirstMember(zip_);
  WriteWholeFile(game.ZipPath, zip_.data(), zip_.size());
}

}  // namespace vq::tools
