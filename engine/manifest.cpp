#include "engine/manifest.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"

namespace vq {

namespace {

// The first line of every manifest; the number counts format changes.
constexpr const char* kHeader = "# Vondral64 Quillem SD manifest 1";
// Larger files are not manifests this program wrote.
constexpr size_t kMaxManifest = size_t{256} << 20;

// A field with its tab, line end and backslash written as \t, \n, \r, \\.
std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

// Items each ended by `separator`, so that an empty item survives.
std::string Joined(const std::vector<std::string>& items, char separator) {
  std::string out;
  for (const std::string& item : items) {
    out += item;
    out += separator;
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    items.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  return items;
}

std::string FileNames(const std::vector<TManifestFile>& files) {
  std::string out;
  for (const TManifestFile& file : files) {
    out += file.Name;
    out += '\x1f';
  }
  return out;
}

int64_t Number(const std::string& text, const std::string& path) {
  size_t used = 0;
  try {
    const long long value = std::stoll(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw Error(path + ": not a manifest of this program (bad number \"" + ClipText(text) + "\")");
}

}  // namespace

std::string FindManifest(const TCardFolder& card) {
  for (const std::string& path : {std::string(kManifestName), std::string(kUpdateHolder) + "/" + kManifestName,
                                  std::string(kSecondUpdateHolder) + "/" + kManifestName}) {
    if (card.Stat(path).Kind == TCardKind::ckFile) return path;
  }
  return {};
}

std::string OptionsFingerprint(const TJobOptions& options) {
  // Only what shapes the tree: which games there are is the update's own
  // business, and so are the sources of the tunes.
  return Format("style=%d nfo=%d sids=%d autoswap=%d t64=%d uppercase=%d", static_cast<int>(options.FileNameStyle),
                static_cast<int>(options.NFOStyle), options.IncludeSIDs ? 1 : 0, options.AutoSwap ? 1 : 0,
                options.ExtractT64 ? 1 : 0, options.ForceUppercase ? 1 : 0);
}

namespace {

// The game of a line's fields, all of them checked; throws naming `path`.
TManifestGame ParseGame(const std::vector<std::string>& f, const std::string& path) {
  TManifestGame g;
  g.Zip = f[1];
  g.Size = static_cast<uint64_t>(Number(f[2], path));
  g.Time = Number(f[3], path);
  g.Crcs = f[4];
  g.Sids = f[5];
  g.Path = f[6];
  for (std::string& name : Split(f[7], '\x1f')) g.Files.push_back({std::move(name), -1, 0});
  g.UniqueID = static_cast<int32_t>(Number(f[8], path));
  g.ExtractedFileCount = static_cast<int32_t>(Number(f[9], path));
  g.UnhandledFileCount = static_cast<int32_t>(Number(f[10], path));
  g.Status = f[11];
  g.Extensions = Split(f[12], '\x1f');
  g.TapeArchives = static_cast<int32_t>(Number(f[13], path));
  g.TapeFiles = static_cast<int32_t>(Number(f[14], path));
  g.TapesNotExtracted = static_cast<int32_t>(Number(f[15], path));
  g.SidCount = static_cast<int32_t>(Number(f[16], path));
  g.SidErrors = static_cast<int32_t>(Number(f[17], path));
  g.Name = f[18];
  g.SidFile = f[19];
  g.IdFromNfo = f[20] == "1";
  return g;
}

constexpr size_t kGameFields = 22;

}  // namespace

TManifestGame TManifest::Game(size_t index) const {
  return ParseGame(Fields(Games[index].Line), kManifestName);
}

std::unique_ptr<TManifest> ReadManifest(const TCardFolder& card, const std::string& relative) {
  return ParseManifest(card.ReadFile(relative, kMaxManifest), card.FullPath(relative));
}

std::unique_ptr<TManifest> ParseManifest(std::string text_, const std::string& path) {
  auto manifest = std::make_unique<TManifest>();
  manifest->Text = std::move(text_);
  const std::string& text = manifest->Text;
  size_t start = 0;
  int lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    const auto bad = [&] {
      return Error(path + ": not a manifest of this program (line " + std::to_string(lineNumber) + ")");
    };
    if (lineNumber == 1) {
      if (line != kHeader) throw Error(path + ": not a manifest of this program");
      continue;
    }
    const std::vector<std::string> f = Fields(line);
    if (f[0] == "options" && f.size() == 2) {
      manifest->Fingerprint = f[1];
    } else if (f[0] == "game" && f.size() == kGameFields) {
      if (f[kGameFields - 1] != "end") throw bad();
      // Checked whole now; kept as text, parsed again where needed.
      const TManifestGame g = ParseGame(f, path);
      manifest->Games.push_back({g.Zip, g.Path, g.Size, g.Time, line});
    } else if (!line.empty()) {
      throw bad();
    }
  }
  if (lineNumber == 0) throw Error(path + ": not a manifest of this program (empty)");
  return manifest;
}

TManifestWriter::TManifestWriter(const TCardFolder& card, std::string relative, const std::string& fingerprint)
    : card_(card), path_(std::move(relative)), file_(card.CreateFile(path_ + ".tmp")) {
  buffer_ = std::string(kHeader) + "\noptions\t" + Escape(fingerprint) + "\n";
}

TManifestWriter::~TManifestWriter() = default;

void TManifestWriter::Add(const TManifestGame& g) {
  // Lists are ended item by item by the unit separator, which no written
  // name holds.
  const std::string fields[] = {
      "game", g.Zip, std::to_string(g.Size), std::to_string(g.Time), g.Crcs, g.Sids, g.Path,
      FileNames(g.Files), std::to_string(g.UniqueID), std::to_string(g.ExtractedFileCount),
      std::to_string(g.UnhandledFileCount), g.Status, Joined(g.Extensions, '\x1f'), std::to_string(g.TapeArchives),
      std::to_string(g.TapeFiles), std::to_string(g.TapesNotExtracted), std::to_string(g.SidCount),
      std::to_string(g.SidErrors), g.Name, g.SidFile, g.IdFromNfo ? "1" : "0", "end"};
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) buffer_ += '\t';
    first = false;
    buffer_ += Escape(field);
  }
  buffer_ += '\n';
  if (buffer_.size() >= (64u << 10)) Flush();
}

void TManifestWriter::Flush() {
  file_->Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void TManifestWriter::Commit() {
  Flush();
  file_->Commit();
  const std::string temporary = path_ + ".tmp";
  try {
    card_.ReplaceFile(temporary, path_);
  } catch (const Error&) {
    if (card_.Exists(temporary)) card_.Remove(temporary);
    throw;
  }
}

void WriteManifest(const TCardFolder& card, const std::string& relative, const TManifest& manifest) {
  TManifestWriter writer(card, relative, manifest.Fingerprint);
  for (size_t j = 0; j < manifest.Games.size(); ++j) writer.Add(manifest.Game(j));
  writer.Commit();
}

}  // namespace vq
