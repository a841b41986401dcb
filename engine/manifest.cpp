#include "engine/manifest.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <set>
#include <type_traits>

#include "base/error.h"
#include "base/fat_name.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"

namespace vq {

namespace {

// The first line of every manifest, before its version number.
constexpr std::string_view kHeaderStart = "# Vondral64 Quillem SD manifest ";
// Larger files are not manifests this program wrote.
constexpr size_t kMaxManifest = size_t{256} << 20;
// A longer line is not one this program wrote: a game of thousands of files
// still fits.
constexpr size_t kMaxLine = size_t{1} << 20;
constexpr size_t kGameFields = 22;
// A letter folder, a subfolder and the game folder.
constexpr size_t kMaxFolderParts = 3;
// Ends every item of a list field.
constexpr char kItemEnd = '\x1f';
// Separates a file's name, size and time in the files field.
constexpr char kFileSeparator = '\x1e';
// The names the job keeps at the top of the output folder.
constexpr std::string_view kOwnNames[] = {kManifestName, "vqsd-manifest.txt.tmp", kUpdateHolder, kSecondUpdateHolder,
                                          "GameList.csv", "GameList.csv.tmp"};

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

}  // namespace

std::string EscapeField(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  if (std::none_of(text.begin(), text.end(), [](char c) { return c == '\\' || IsControl(c); })) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (IsControl(c)) {
          out += "\\x";
          out += kHex[(c >> 4) & 15];
          out += kHex[c & 15];
        } else {
          out += c;
        }
    }
  }
  return out;
}

namespace {

// `text` in quotes for a message, its control characters shown as escapes.
std::string Quoted(std::string_view text) { return "\"" + ClipText(EscapeField(text)) + "\""; }

// A fault of the record `path` as a whole.
Error RecordFault(std::string_view path, const std::string& cause) {
  return Error("\"" + ClipText(path) + "\": " + cause);
}

Error TooLarge(std::string_view path) { return RecordFault(path, "the record is larger than 256 MiB"); }

// A line of a record, named in the messages of its faults.
class TPlace {
 public:
  TPlace(std::string_view path, size_t line) : path_(path), line_(line) {}
  Error Fault(const std::string& cause) const {
    return RecordFault(path_, "line " + std::to_string(line_) + ": " + cause);
  }

 private:
  std::string_view path_;
  size_t line_;
};

int HexDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; }

// The control character of the escape "\x" + hex[0..1], or -1 when Escape
// would not write it.
int EscapedControl(std::string_view hex) {
  if (hex.size() < 2 || HexDigit(hex[0]) < 0 || HexDigit(hex[1]) < 0) return -1;
  const char c = static_cast<char>(HexDigit(hex[0]) * 16 + HexDigit(hex[1]));
  return IsControl(c) && c != '\t' && c != '\n' && c != '\r' ? c : -1;
}

// What is wrong with a field as EscapeField writes it.
enum class TFieldFault { ffNone, ffControl, ffEscape };

// The value of a field as EscapeField wrote it, into `out`; a raw control
// character or an escape that EscapeField does not write is a fault.
TFieldFault UnescapeInto(std::string_view raw, std::string& out) {
  if (std::none_of(raw.begin(), raw.end(), [](char c) { return c == '\\' || IsControl(c); })) {
    out.assign(raw);
    return TFieldFault::ffNone;
  }
  out.clear();
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (IsControl(raw[i])) return TFieldFault::ffControl;
    if (raw[i] != '\\') {
      out += raw[i];
      continue;
    }
    const char kind = i + 1 < raw.size() ? raw[++i] : '\0';
    const int control = kind == 'x' ? EscapedControl(raw.substr(i + 1)) : -1;
    if (kind == 't' || kind == 'n' || kind == 'r' || kind == '\\') {
      out += kind == 't' ? '\t' : kind == 'n' ? '\n' : kind == 'r' ? '\r' : '\\';
    } else if (control >= 0) {
      out += static_cast<char>(control);
      i += 2;
    } else {
      return TFieldFault::ffEscape;
    }
  }
  return TFieldFault::ffNone;
}

// The value of a field as EscapeField wrote it; throws naming `what` on a
// raw control character or an escape that EscapeField does not write.
std::string Unescape(std::string_view raw, std::string_view what, const TPlace& at) {
  std::string out;
  switch (UnescapeInto(raw, out)) {
    case TFieldFault::ffControl: throw at.Fault(std::string(what) + " holds a control character");
    case TFieldFault::ffEscape: throw at.Fault(std::string(what) + " holds a malformed escape");
    case TFieldFault::ffNone: break;
  }
  return out;
}

// The parts of `text` between `separator`s.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// The items of a list field, each ended by kItemEnd.
std::vector<std::string_view> Items(std::string_view raw, std::string_view what, const TPlace& at) {
  if (raw.empty()) return {};
  if (raw.back() != kItemEnd) throw at.Fault(std::string(what) + " field has an unended item");
  return Split(raw.substr(0, raw.size() - 1), kItemEnd);
}

// A list field: its items escaped, each ended by kItemEnd, so that an empty
// item survives.
std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    out += EscapeField(item);
    out += kItemEnd;
  }
  return out;
}

// A CRC-32 as 8 hex digits; "-" when it is not known (a file kept from a
// record of an older version).
std::string CrcText(int64_t crc) {
  if (crc < 0) return "-";
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(crc));
  return hex;
}

// The files field: each file's name, size, time and CRC-32, ended by kItemEnd.
std::string Joined(const std::vector<TManifestFile>& files) {
  std::string out;
  for (const TManifestFile& file : files) {
    out += EscapeField(file.Name) + kFileSeparator + std::to_string(file.Size) + kFileSeparator +
           std::to_string(file.Time) + kFileSeparator + CrcText(file.Crc) + kItemEnd;
  }
  return out;
}

// The whole decimal number of a field, from `least` to `most`: no sign but
// '-', no blank, no escape, nothing after it. `what` names the field in the
// message of a fault; it is made only then.
template <typename T, typename TWhat>
T Number(std::string_view raw, const TWhat& what, T least, T most, const TPlace& at) {
  T value{};
  const auto [end, error] = std::from_chars(raw.data(), raw.data() + raw.size(), value);
  if (raw.empty() || error != std::errc() || end != raw.data() + raw.size() || value < least || value > most) {
    std::string shown;
    if constexpr (std::is_invocable_v<TWhat>) {
      shown = what();
    } else {
      shown = what;
    }
    throw at.Fault(shown + " " + Quoted(raw) + " is not a whole number from " + std::to_string(least) + " to " +
                   std::to_string(most));
  }
  return value;
}

template <typename TWhat>
int64_t Int64(std::string_view raw, const TWhat& what, int64_t least, const TPlace& at) {
  return Number<int64_t>(raw, what, least, INT64_MAX, at);
}

int32_t Count(std::string_view raw, const char* what, const TPlace& at) {
  return Number<int32_t>(raw, what, 0, INT32_MAX, at);
}

}  // namespace

bool IsPlainPath(std::string_view path) {
  for (const char c : path) {
    if (c == '\\' || IsControl(c)) return false;
  }
  for (const std::string_view part : Split(path, '/')) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

std::optional<std::vector<std::string>> SplitEscapedFields(std::string_view line) {
  std::vector<std::string> fields;
  for (const std::string_view raw : Split(line, '\t')) {
    if (UnescapeInto(raw, fields.emplace_back()) != TFieldFault::ffNone) return std::nullopt;
  }
  return fields;
}

namespace {

bool IsFatName(std::string_view name) { return FatName(name) == name; }

bool IsOwnName(std::string_view name) {
  // The names are ASCII: an ASCII name is one of them ignoring ASCII case
  // alone; another may fold to one (a long s to an s).
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::string upper = ascii ? AsciiUpper(name) : std::string();
  const std::u16string key = ascii ? std::u16string() : FatKey(Utf8ToUtf16(name));
  return std::any_of(std::begin(kOwnNames), std::end(kOwnNames), [&](std::string_view own) {
    return ascii ? AsciiUpper(own) == upper : FatKey(Utf8ToUtf16(own)) == key;
  });
}

// A relative path in the output folder: plain, every part valid on FAT.
template <typename TShown>
void CheckOutputPath(std::string_view path, const TShown& shown, const TPlace& at) {
  if (!IsPlainPath(path)) throw at.Fault(shown() + " is not a plain relative path");
  for (const std::string_view part : Split(path, '/')) {
    if (!IsFatName(part)) throw at.Fault(shown() + ": " + Quoted(part) + " is not a valid FAT name");
  }
}

void CheckGameFolder(const std::string& path, const TPlace& at) {
  const auto shown = [&path] { return "game folder " + Quoted(path); };
  if (path.empty() || path.back() != '/') throw at.Fault(shown() + " does not end in '/'");
  const std::string_view inner = std::string_view(path).substr(0, path.size() - 1);
  CheckOutputPath(inner, shown, at);
  const std::vector<std::string_view> parts = Split(inner, '/');
  if (parts.size() > kMaxFolderParts) throw at.Fault(shown() + " has more than 3 parts");
  if (IsOwnName(parts[0])) throw at.Fault(shown() + " takes a name the job keeps at the top of the output folder");
}

bool IsCrc(std::string_view text) {
  return text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) { return HexDigit(c) >= 0; });
}

void CheckCrcList(std::string_view raw, const TPlace& at) {
  if (raw.empty()) return;
  for (const std::string_view crc : Split(raw, ',')) {
    if (!IsCrc(crc)) throw at.Fault("crc list " + Quoted(raw) + " is not 8-digit hex values separated by commas");
  }
}

int64_t DecodeCrc(std::string_view text, const std::string& name, const TPlace& at) {
  if (text == "-") return -1;
  if (!IsCrc(text)) throw at.Fault("crc of file " + Quoted(name) + " " + Quoted(text) + " is not 8 hex digits or \"-\"");
  return static_cast<int64_t>(std::stoul(std::string(text), nullptr, 16));
}

TManifestFile DecodeFile(std::string_view item, int version, const TPlace& at) {
  if (version == 1) return {Unescape(item, "file", at)};
  const std::vector<std::string_view> parts = Split(item, kFileSeparator);
  const size_t fields = version == 2 ? 3 : 4;
  if (parts.size() != fields) {
    throw at.Fault("file entry " + Quoted(item) + (version == 2 ? " is not a name, a size and a time"
                                                                 : " is not a name, a size, a time and a crc"));
  }
  TManifestFile file{Unescape(parts[0], "file", at)};
  file.Size = Int64(parts[1], [&file] { return "size of file " + Quoted(file.Name); }, -1, at);
  file.Time = Int64(parts[2], [&file] { return "time of file " + Quoted(file.Name); }, INT64_MIN, at);
  if (version >= 3) file.Crc = DecodeCrc(parts[3], file.Name, at);
  return file;
}

std::vector<TManifestFile> DecodeFiles(std::string_view raw, int version, bool check, const TPlace& at) {
  std::vector<TManifestFile> files;
  std::set<std::u16string> keys;
  for (const std::string_view item : Items(raw, "files", at)) {
    const TManifestFile& file = files.emplace_back(DecodeFile(item, version, at));
    if (!check) continue;
    CheckOutputPath(file.Name, [&file] { return "file " + Quoted(file.Name); }, at);
    if (!keys.insert(FatKey(Utf8ToUtf16(file.Name))).second) {
      throw at.Fault("file " + Quoted(file.Name) + " is listed twice");
    }
  }
  return files;
}

std::vector<std::string> DecodeList(std::string_view raw, std::string_view what, const TPlace& at) {
  std::vector<std::string> items;
  for (const std::string_view item : Items(raw, what, at)) items.push_back(Unescape(item, what, at));
  return items;
}

// The game of a line's fields (kGameFields of them, unescaped here), every
// field checked on its own.
TManifestGame DecodeGame(const std::vector<std::string_view>& f, int version, bool check, const TPlace& at) {
  if (f.size() != kGameFields) {
    throw at.Fault("a game line has " + std::to_string(f.size()) + " fields, not " + std::to_string(kGameFields));
  }
  TManifestGame g;
  g.Zip = Unescape(f[1], "zip path", at);
  if (check && !IsPlainPath(g.Zip)) throw at.Fault("zip path " + Quoted(g.Zip) + " is not a plain relative path");
  g.Size = static_cast<uint64_t>(Int64(f[2], "zip size", 0, at));
  g.Time = Int64(f[3], "zip time", INT64_MIN, at);
  if (check) CheckCrcList(f[4], at);
  g.Crcs = f[4];
  g.Sids = Unescape(f[5], "tune sources", at);
  g.Path = Unescape(f[6], "game folder", at);
  if (check) CheckGameFolder(g.Path, at);
  g.Files = DecodeFiles(f[7], version, check, at);
  g.UniqueID = Number<int32_t>(f[8], "unique id", INT32_MIN, INT32_MAX, at);
  g.ExtractedFileCount = Count(f[9], "extracted file count", at);
  g.UnhandledFileCount = Count(f[10], "unhandled file count", at);
  g.Status = Unescape(f[11], "status", at);
  g.Extensions = DecodeList(f[12], "extensions", at);
  g.TapeArchives = Count(f[13], "tape archive count", at);
  g.TapeFiles = Count(f[14], "tape file count", at);
  g.TapesNotExtracted = Count(f[15], "failed tape count", at);
  g.SidCount = Count(f[16], "tune count", at);
  g.SidErrors = Count(f[17], "tune error count", at);
  g.Name = Unescape(f[18], "title", at);
  g.SidFile = Unescape(f[19], "tune path", at);
  if (f[20] != "0" && f[20] != "1") throw at.Fault("id-from-nfo flag " + Quoted(f[20]) + " is not 0 or 1");
  g.IdFromNfo = f[20] == "1";
  if (f[21] != "end") throw at.Fault("the last field is " + Quoted(f[21]) + ", not \"end\"");
  return g;
}

}  // namespace

std::string FindManifest(const TCardFolder& card) {
  for (const std::string& path : {std::string(kManifestName), std::string(kUpdateHolder) + "/" + kManifestName,
                                  std::string(kSecondUpdateHolder) + "/" + kManifestName}) {
    if (card.Stat(path).Kind == TCardKind::ckFile) return path;
  }
  return HasUnfinishedManifest(card) ? kUnfinishedManifestName : std::string();
}

bool HasUnfinishedManifest(const TCardFolder& card) {
  // A record at its place, or in a holder, is the one to go by.
  for (const std::string& path : {std::string(kManifestName), std::string(kUpdateHolder) + "/" + kManifestName,
                                  std::string(kSecondUpdateHolder) + "/" + kManifestName}) {
    if (card.Stat(path).Kind != TCardKind::ckMissing) return false;
  }
  return card.Stat(kUnfinishedManifestName).Kind == TCardKind::ckFile;
}

std::string OptionsFingerprint(const TJobOptions& options) {
  // Only what shapes the tree: which games there are is the update's own
  // business, and so are the sources of the tunes.
  return Format("style=%d nfo=%d sids=%d autoswap=%d t64=%d uppercase=%d", static_cast<int>(options.FileNameStyle),
                static_cast<int>(options.NFOStyle), options.IncludeSIDs ? 1 : 0, options.AutoSwap ? 1 : 0,
                options.ExtractT64 ? 1 : 0, options.ForceUppercase ? 1 : 0);
}

namespace {

// Checks a record line by line, and across its lines: each zip recorded
// once, each game folder claimed by one game (or by consecutive games that
// share it) and lying in no other game's folder. Sorted maps keep a record
// of 30,000 games at n log n.
class TRecordParser {
 public:
  // Fills `manifest`, whose Text holds the record; `path` names it.
  TRecordParser(const std::string& path, TManifest& manifest) : path_(path), manifest_(manifest) {}
  void Run();

 private:
  void Header(std::string_view line);
  void Line(std::string_view line, size_t number);
  void Options(const std::vector<std::string_view>& f, const TPlace& at);
  void OwnFile(const std::vector<std::string_view>& f, const TPlace& at);
  void Game(std::string_view line, const std::vector<std::string_view>& f, size_t number, const TPlace& at);
  void ClaimZip(std::string_view zip, size_t number, const TPlace& at);
  void ClaimFolder(const std::string& folder, size_t number, const TPlace& at);

  const std::string& path_;
  TManifest& manifest_;
  bool options_ = false;
  std::map<std::string_view, size_t> zips_;       // zip path (a view into Text) -> its line
  std::map<std::u16string, size_t> folders_;      // FatKey of a game folder -> its line
  std::map<std::u16string, size_t> containers_;   // FatKey of a folder holding game folders -> the first one's line
  std::string lastFolder_;                        // the previous game's folder
};

void TRecordParser::Run() {
  const std::string& text = manifest_.Text;
  if (text.empty()) throw RecordFault(path_, "the record is empty");
  if (text.size() > kMaxManifest) throw TooLarge(path_);
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (line.size() > kMaxLine) throw TPlace(path_, number).Fault("the line is longer than 1 MiB");
    if (number == 1) {
      Header(line);
    } else {
      Line(line, number);
    }
  }
  if (!options_) throw RecordFault(path_, "no options line");
}

void TRecordParser::Header(std::string_view line) {
  if (!line.starts_with(kHeaderStart)) throw RecordFault(path_, "not a record of this program");
  const std::string_view version = line.substr(kHeaderStart.size());
  if (version != "1" && version != "2" && version != "3") {
    throw RecordFault(path_, "record version " + Quoted(version) + " is not one this program reads");
  }
  manifest_.Version = version[0] - '0';
}

void TRecordParser::Line(std::string_view line, size_t number) {
  // An empty line holds no field: there is nothing in it to misread.
  if (line.empty()) return;
  const TPlace at(path_, number);
  const std::vector<std::string_view> f = Split(line, '\t');
  if (f[0] == "options") {
    Options(f, at);
  } else if (f[0] == "game") {
    Game(line, f, number, at);
  } else if (f[0] == "file" && manifest_.Version >= 3) {
    OwnFile(f, at);
  } else if (f[0] == "unfinished" && f.size() == 1 && manifest_.Version >= 3 && options_ && manifest_.Games.empty()) {
    manifest_.Unfinished = true;
  } else {
    throw at.Fault("unknown line kind " + Quoted(f[0]));
  }
}

void TRecordParser::Options(const std::vector<std::string_view>& f, const TPlace& at) {
  if (options_) throw at.Fault("a second options line");
  if (f.size() != 2) throw at.Fault("the options line has " + std::to_string(f.size()) + " fields, not 2");
  manifest_.Fingerprint = Unescape(f[1], "options", at);
  options_ = true;
}

void TRecordParser::OwnFile(const std::vector<std::string_view>& f, const TPlace& at) {
  if (!options_) throw at.Fault("a file comes before the options line");
  if (f.size() != 5) throw at.Fault("a file line has " + std::to_string(f.size()) + " fields, not 5");
  TManifestFile file{Unescape(f[1], "file", at)};
  // Only the game list is written there, beside the record itself.
  const bool gameList = file.Name == "GameList.csv" || file.Name == "gamelist.csv";
  if (!gameList) throw at.Fault("file " + Quoted(file.Name) + " is not a file the job writes at the top");
  for (const TManifestFile& other : manifest_.OwnFiles) {
    if (AsciiUpper(other.Name) == AsciiUpper(file.Name)) throw at.Fault("file " + Quoted(file.Name) + " is listed twice");
  }
  file.Size = Int64(f[2], [&file] { return "size of file " + Quoted(file.Name); }, 0, at);
  file.Time = Int64(f[3], [&file] { return "time of file " + Quoted(file.Name); }, INT64_MIN, at);
  file.Crc = DecodeCrc(f[4], file.Name, at);
  manifest_.OwnFiles.push_back(std::move(file));
}

void TRecordParser::Game(std::string_view line, const std::vector<std::string_view>& f, size_t number,
                         const TPlace& at) {
  if (!options_) throw at.Fault("a game comes before the options line");
  TManifestGame g = DecodeGame(f, manifest_.Version, true, at);
  ClaimZip(f[1], number, at);
  ClaimFolder(g.Path, number, at);
  manifest_.Games.push_back({std::move(g.Zip), std::move(g.Path), g.Size, g.Time, line, number});
}

void TRecordParser::ClaimZip(std::string_view zip, size_t number, const TPlace& at) {
  // A plain path is written as it is: its field is its one spelling.
  const auto [was, added] = zips_.emplace(zip, number);
  if (!added) throw at.Fault("zip path " + Quoted(zip) + " was already recorded on line " + std::to_string(was->second));
}

void TRecordParser::ClaimFolder(const std::string& folder, size_t number, const TPlace& at) {
  // Games of equal name and ID share their folder, one after the other.
  if (folder == lastFolder_) return;
  lastFolder_ = folder;
  const std::string shown = "game folder " + Quoted(folder);
  const std::u16string key = FatKey(Utf8ToUtf16(folder));
  if (const auto was = folders_.find(key); was != folders_.end()) {
    throw at.Fault(shown + " was already claimed on line " + std::to_string(was->second));
  }
  if (const auto inner = containers_.find(key); inner != containers_.end()) {
    throw at.Fault(shown + " holds the game folder of line " + std::to_string(inner->second));
  }
  // Every folder above it: its letter folder and subfolder.
  for (size_t slash = key.find(u'/'); slash + 1 < key.size(); slash = key.find(u'/', slash + 1)) {
    const std::u16string container = key.substr(0, slash + 1);
    if (const auto outer = folders_.find(container); outer != folders_.end()) {
      throw at.Fault(shown + " lies inside the game folder of line " + std::to_string(outer->second));
    }
    containers_.emplace(container, number);
  }
  folders_.emplace(key, number);
}

}  // namespace

TManifestGame TManifest::Game(size_t index) const {
  const TManifestEntry& entry = Games[index];
  // Its line was checked whole when the record was read.
  return DecodeGame(Split(entry.Line, '\t'), Version, false, TPlace(kManifestName, entry.LineNumber));
}

std::unique_ptr<TManifest> ParseManifest(std::string text, const std::string& path) {
  auto manifest = std::make_unique<TManifest>();
  manifest->Text = std::move(text);
  TRecordParser(path, *manifest).Run();
  return manifest;
}

std::unique_ptr<TManifest> ParseUnfinishedManifest(std::string text, const std::string& path) {
  // A power cut can leave the file longer than what reached the card, the
  // rest zeros; what follows the last whole line was never finished.
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  const size_t lastEnd = text.rfind('\n');
  text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  if (text.empty()) throw RecordFault(path, "the record of the job that was cut off is empty");
  auto manifest = ParseManifest(std::move(text), path);
  manifest->Unfinished = true;
  manifest->OwnFiles.clear();
  return manifest;
}

std::unique_ptr<TManifest> ReadManifest(const TCardFolder& card, const std::string& relative) {
  const std::string path = card.FullPath(relative);
  std::string text;
  try {
    text = card.ReadFile(relative, kMaxManifest);
  } catch (const Error& e) {
    if (e.Code() != EFBIG) throw;
    throw TooLarge(path);
  }
  if (relative == kUnfinishedManifestName) return ParseUnfinishedManifest(std::move(text), path);
  return ParseManifest(std::move(text), path);
}

std::string ManifestHead(const std::string& fingerprint, bool unfinished) {
  return std::string(kHeaderStart) + std::to_string(kManifestVersion) + "\noptions\t" + EscapeField(fingerprint) +
         "\n" + (unfinished ? "unfinished\n" : "");
}

std::string ManifestFileLine(const TManifestFile& file) {
  return "file\t" + EscapeField(file.Name) + "\t" + std::to_string(file.Size) + "\t" + std::to_string(file.Time) +
         "\t" + CrcText(file.Crc) + "\n";
}

std::string ManifestLine(const TManifestGame& g) {
  const std::string fields[] = {
      "game", EscapeField(g.Zip), std::to_string(g.Size), std::to_string(g.Time), EscapeField(g.Crcs), EscapeField(g.Sids),
      EscapeField(g.Path), Joined(g.Files), std::to_string(g.UniqueID), std::to_string(g.ExtractedFileCount),
      std::to_string(g.UnhandledFileCount), EscapeField(g.Status), Joined(g.Extensions), std::to_string(g.TapeArchives),
      std::to_string(g.TapeFiles), std::to_string(g.TapesNotExtracted), std::to_string(g.SidCount),
      std::to_string(g.SidErrors), EscapeField(g.Name), EscapeField(g.SidFile), g.IdFromNfo ? "1" : "0", "end"};
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += field;
  }
  line += '\n';
  return line;
}

TManifestWriter::TManifestWriter(const TCardFolder& card, std::string relative, const std::string& fingerprint,
                                 bool unfinished)
    : card_(card), path_(std::move(relative)), file_(card.CreateFile(path_ + ".tmp")) {
  buffer_ = ManifestHead(fingerprint, unfinished);
}

TManifestWriter::~TManifestWriter() = default;

void TManifestWriter::Add(const TManifestGame& g) {
  buffer_ += ManifestLine(g);
  Flush();
}

void TManifestWriter::AddFile(const TManifestFile& file) { buffer_ += ManifestFileLine(file); }

void TManifestWriter::Keep() {
  // On a full card the last line may not fit: a line cut short is not read
  // back, so what was written is kept all the same.
  try {
    Flush();
  } catch (const Error&) {
    buffer_.clear();
  }
  file_->Commit();
}

void TManifestWriter::Flush() {
  if (buffer_.empty()) return;
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
  TManifestWriter writer(card, relative, manifest.Fingerprint, manifest.Unfinished);
  for (size_t j = 0; j < manifest.Games.size(); ++j) writer.Add(manifest.Game(j));
  for (const TManifestFile& file : manifest.OwnFiles) writer.AddFile(file);
  writer.Commit();
}

}  // namespace vq
