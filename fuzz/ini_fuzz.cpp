// libFuzzer harness for the settings file and the job options read from it.
// The input bytes are the file's content. The store's text image (ToText) is
// split into sections and keys, which become the model every read is
// checked against:
//   - the image has the documented shape, and no two sections share a name
//     in any letter case;
//   - every key present, and every key the programs read, reads back as the
//     model says, in any letter case; integers and booleans follow their
//     documented syntax, and a missing or unreadable key gives the default;
//   - the image read again gives the same image, also through a file;
//   - writing back what was read changes nothing;
//   - integers and booleans written to any key read back after a reload;
//   - a value written may hold any bytes: it never adds a line or a
//     section, and reads back trimmed;
//   - the job options are within their ranges, agree with the plain reads
//     and come back unchanged when written and read again.
// A violation aborts with a message.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ini_file.h"
#include "base/text.h"
#include "engine/job_options.h"

namespace {

// A folder of its own under /dev/shm (or /tmp), removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* root = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(root) + "/ini_fuzz.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct TModelEntry {
  std::string key;
  std::string value;
};
struct TModelSection {
  std::string name;
  std::vector<TModelEntry> entries;
};
using TModel = std::vector<TModelSection>;

// The keys the command line and the window read, with the section they
// are read from.
struct TProgramKey {
  const char* section;
  const char* key;
};
constexpr TProgramKey kProgramKeys[] = {
    {"", "SourceDir"},        {"", "DestDir"},
    {"", "Filenamestyle"},    {"", "NFOStyle"},
    {"", "SIDs"},             {"", "HVSCDir"},
    {"", "Filter"},           {"", "FilterFile"},
    {"", "Autoswap"},         {"", "ExtractT64"},
    {"", "Force1541UppercaseNames"}, {"", "TestMode"},
    {"", "KeepGoing"},        {"FormState", "Saved"},
    {"FormState", "Left"},    {"FormState", "Top"},
    {"FormState", "Maximized"},
};

const std::string kMissing = "\n(missing)";

[[noreturn]] void Fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "ini_fuzz: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

bool SameIgnoringCase(std::string_view a, std::string_view b) { return vq::AsciiUpper(a) == vq::AsciiUpper(b); }

bool Trimmed(std::string_view s) {
  return s.empty() || (static_cast<unsigned char>(s.front()) > 0x20 && static_cast<unsigned char>(s.back()) > 0x20);
}

// Splits the text image: per section "[name]", "key=value" lines and an
// empty line, each line ending in CR LF.
TModel SplitImage(std::string_view text) {
  TModel model;
  size_t pos = 0;
  auto nextLine = [&]() {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string_view::npos) Fail("image line without CR LF", text);
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 2;
    if (line.find_first_of("\r\n") != std::string_view::npos) Fail("line break inside an image line", text);
    return line;
  };
  while (pos < text.size()) {
    const std::string_view header = nextLine();
    if (header.size() < 2 || header.front() != '[' || header.back() != ']') Fail("section without a header", text);
    TModelSection section{std::string(header.substr(1, header.size() - 2)), {}};
    for (std::string_view line = nextLine(); !line.empty(); line = nextLine()) {
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos) Fail("key line without '='", text);
      section.entries.push_back({std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
    }
    model.push_back(std::move(section));
  }
  return model;
}

void CheckModelShape(const TModel& model, std::string_view text) {
  for (size_t i = 0; i < model.size(); ++i) {
    if (!Trimmed(model[i].name)) Fail("section name not trimmed", text);
    for (size_t j = 0; j < i; ++j) {
      if (SameIgnoringCase(model[i].name, model[j].name)) Fail("two sections of one name", text);
    }
    for (const TModelEntry& entry : model[i].entries) {
      if (!Trimmed(entry.key) || !Trimmed(entry.value)) Fail("key or value not trimmed", text);
      if (entry.key.starts_with(';')) Fail("comment kept as a key", text);
    }
  }
}

// The value of the first `key` in the section named `section`, both in any
// letter case.
std::optional<std::string> ModelFind(const TModel& model, std::string_view section, std::string_view key) {
  for (const TModelSection& s : model) {
    if (!SameIgnoringCase(s.name, section)) continue;
    for (const TModelEntry& entry : s.entries) {
      if (SameIgnoringCase(entry.key, key)) return entry.value;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// Hexadecimal digits to 32 bits; eight digits may set the sign bit.
std::optional<int32_t> ModelHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t v = 0;
  for (const char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// An integer as documented: decimal with an optional sign, or hexadecimal
// after "$", "0x" or "0X".
std::optional<int32_t> ModelInteger(std::string_view text) {
  if (text.starts_with('$')) return ModelHex(text.substr(1));
  if (text.starts_with("0x") || text.starts_with("0X")) return ModelHex(text.substr(2));
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

// Every read of `key` in `section` agrees with the model, also with the
// names in other letter case.
void CheckReads(const vq::TIniFile& ini, const TModel& model, const std::string& section, const std::string& key,
                std::string_view text) {
  const std::optional<std::string> expected = ModelFind(model, section, key);
  const std::pair<std::string, std::string> spellings[] = {
      {section, key}, {vq::AsciiUpper(section), vq::AsciiLower(key)}, {vq::AsciiLower(section), vq::AsciiUpper(key)}};
  for (const auto& [s, k] : spellings) {
    if (ini.ValueExists(s, k) != expected.has_value()) Fail("ValueExists disagrees", text);
    if (ini.ReadString(s, k, kMissing) != expected.value_or(kMissing)) Fail("ReadString disagrees", text);
  }
  const std::optional<int32_t> number = expected ? ModelInteger(*expected) : std::nullopt;
  for (const int32_t def : {0, 1, -7}) {
    if (ini.ReadInteger(section, key, def) != number.value_or(def)) Fail("ReadInteger disagrees", text);
  }
  for (const bool def : {false, true}) {
    if (ini.ReadBool(section, key, def) != (number ? *number != 0 : def)) Fail("ReadBool disagrees", text);
  }
}

// True for the first entry of its key in its section.
bool FirstOfItsKey(const TModelSection& section, size_t index) {
  for (size_t j = 0; j < index; ++j) {
    if (SameIgnoringCase(section.entries[j].key, section.entries[index].key)) return false;
  }
  return true;
}

uint32_t Fnv1a(std::string_view s) {
  uint32_t h = 2166136261u;
  for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

// Writing every value back as it was read leaves the image as it was.
void CheckRewrite(vq::TIniFile ini, const TModel& model, const std::string& image) {
  for (const TModelSection& section : model) {
    for (size_t i = 0; i < section.entries.size(); ++i) {
      if (FirstOfItsKey(section, i)) ini.WriteString(section.name, section.entries[i].key, section.entries[i].value);
    }
  }
  if (ini.ToText() != image) Fail("writing back what was read changed the image", image);
}

// Integers and booleans written over every key read back after a reload.
void CheckNumbersWritten(vq::TIniFile ini, const TModel& model, const std::string& image) {
  struct TWritten {
    std::string section;
    std::string key;
    int32_t value;
    bool isBool;
  };
  std::vector<TWritten> written;
  for (const TModelSection& section : model) {
    for (size_t i = 0; i < section.entries.size(); ++i) {
      if (!FirstOfItsKey(section, i)) continue;
      const TModelEntry& entry = section.entries[i];
      const uint32_t h = Fnv1a(entry.key + '=' + entry.value);
      const bool isBool = (h & 1) != 0;
      const auto value = isBool ? static_cast<int32_t>((h >> 1) & 1) : static_cast<int32_t>(h);
      if (isBool) {
        ini.WriteBool(section.name, entry.key, value != 0);
      } else {
        ini.WriteInteger(section.name, entry.key, value);
      }
      written.push_back({section.name, entry.key, value, isBool});
    }
  }
  const vq::TIniFile back = vq::TIniFile::FromText(ini.ToText());
  for (const TWritten& w : written) {
    if (w.isBool ? back.ReadBool(w.section, w.key, w.value == 0) != (w.value != 0)
                 : back.ReadInteger(w.section, w.key, ~w.value) != w.value) {
      Fail("number written did not read back", image);
    }
  }
}

// A value of arbitrary bytes stays on its line and reads back trimmed.
void CheckAnyValueWritten(vq::TIniFile ini, const TModel& model, std::string_view value, const std::string& image) {
  const std::string section = model.empty() ? std::string() : model.front().name;
  ini.WriteString(section, "Written", value);
  std::string oneLine(value);
  for (char& c : oneLine) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  if (ini.ReadString(section, "Written", kMissing) != oneLine) Fail("value not kept in memory", image);
  const std::string text = ini.ToText();
  const size_t sections = model.empty() ? 1 : model.size();
  if (SplitImage(text).size() != sections) Fail("a written value added a section", text);
  const vq::TIniFile back = vq::TIniFile::FromText(text);
  if (SplitImage(back.ToText()).size() != sections) Fail("a written value added a section on reading", text);
  if (back.ReadString(section, "Written", kMissing) != vq::Trim(oneLine)) Fail("written value read back", text);
}

void CheckJobOptions(const vq::TIniFile& ini, const std::string& image) {
  const vq::TJobOptions o = vq::ReadJobOptions(ini);
  const std::string_view s = vq::kOptionsSection;
  if (static_cast<int>(o.FileNameStyle) > static_cast<int>(vq::fnsNone)) Fail("name style out of range", image);
  if (static_cast<int>(o.NFOStyle) > static_cast<int>(vq::nsExclude)) Fail("NFO style out of range", image);
  if (o.FileNameStyle != vq::FileNameStyleFromIndex(ini.ReadInteger(s, vq::kFileNameStyleKey, 0)) ||
      o.NFOStyle != vq::NFOStyleFromIndex(ini.ReadInteger(s, vq::kNFOStyleKey, 0)) ||
      o.SourceDir != ini.ReadString(s, "SourceDir", "") || o.FilterFile != ini.ReadString(s, "FilterFile", "") ||
      o.AutoSwap != ini.ReadBool(s, "Autoswap", false) || o.KeepGoing != ini.ReadBool(s, "KeepGoing", false)) {
    Fail("job options disagree with the plain reads", image);
  }
  if (o.Jobs != 0 || o.Update) Fail("an option never stored was read", image);

  vq::TIniFile over = ini;
  vq::WriteJobOptions(o, over);
  if (vq::ReadJobOptions(over) != o) Fail("job options written over the file differ in memory", image);
  if (vq::ReadJobOptions(vq::TIniFile::FromText(over.ToText())) != o) {
    Fail("job options written over the file differ after reading", image);
  }
  vq::TIniFile fresh = vq::TIniFile::FromText("");
  vq::WriteJobOptions(o, fresh);
  if (vq::ReadJobOptions(vq::TIniFile::FromText(fresh.ToText())) != o) {
    Fail("job options written anew differ after reading", image);
  }
}

// The image written to a file by UpdateFile loads as the same image.
void CheckFile(const std::string& image, const std::string& folder) {
  const std::string path = folder + "/settings.ini";
  vq::TIniFile::FromText(image, path).UpdateFile();
  const vq::TIniFile loaded(path);
  if (!loaded.LoadError().empty()) Fail("written file could not be read", loaded.LoadError());
  if (loaded.ToText() != image) Fail("file image differs", image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFolder scratch;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const vq::TIniFile ini = vq::TIniFile::FromText(bytes);
  const std::string image = ini.ToText();
  const TModel model = SplitImage(image);
  CheckModelShape(model, image);

  for (const TModelSection& section : model) {
    for (const TModelEntry& entry : section.entries) CheckReads(ini, model, section.name, entry.key, image);
    CheckReads(ini, model, section.name, "\n", image);
  }
  for (const TProgramKey& k : kProgramKeys) CheckReads(ini, model, k.section, k.key, image);
  CheckReads(ini, model, "\n", "", image);

  if (vq::TIniFile::FromText(image).ToText() != image) Fail("image changed on reading it again", image);
  CheckRewrite(ini, model, image);
  CheckNumbersWritten(ini, model, image);
  CheckAnyValueWritten(ini, model, bytes.substr(0, 256), image);
  CheckJobOptions(ini, image);
  CheckFile(image, scratch.path());
  return 0;
}
