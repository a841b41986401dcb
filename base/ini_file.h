#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vq {

// The in-memory image of one ini settings file (UTF-8 text). Loaded once,
// it keeps every section and key it found, in their order, takes writes in
// memory only and replaces the whole file when flushed with UpdateFile.
// Section and key names compare without regard to ASCII case.
class TIniFile {
 public:
  // The largest file a store loads.
  static constexpr size_t kMaxFileSize = 16u << 20;

  // Loads `fileName`; a missing file gives an empty store. A file that
  // cannot be read (no permission, a folder, larger than kMaxFileSize) gives
  // an empty store too, with LoadError set; such a store is never written.
  explicit TIniFile(std::string fileName);
  // A store over `text` as if read from a file named `fileName`.
  static TIniFile FromText(std::string_view text, std::string fileName = {});

  // The value of `key` in `section`, or `def` when missing.
  std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
  // Decimal, or hexadecimal after "$" or "0x"; `def` when missing or unreadable.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // An integer: 0 is false, any other number true; `def` when unreadable.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // True when `key` exists in `section`.
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Sets a value; a new section or key goes at the end, an existing key keeps its place.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Sets a value written in decimal.
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  // Sets a value written as "1" or "0".
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The file content: per section "[name]", "key=value" lines, an empty line; CR LF.
  std::string ToText() const;
  // Writes ToText() to FileName(), replacing it. Throws vq::Error("<path>: <cause>"),
  // also when the file could not be read at load.
  void UpdateFile() const;
  // The path the store was loaded from and is written to.
  const std::string& FileName() const { return file_name_; }
  // Why the file could not be read ("<path>: <cause>"); empty when it was
  // read or did not exist.
  const std::string& LoadError() const { return load_error_; }

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  // An empty store with no file name.
  TIniFile() = default;
  // Appends the sections and keys of `text` (already UTF-8, no byte-order mark).
  void Parse(std::string_view text);
  // The first section named `name` (ignoring case), or nullptr.
  Section* FindSection(std::string_view name);
  const Section* FindSection(std::string_view name) const;
  // The section named `name`, appended when missing.
  Section& SectionFor(std::string_view name);
  // The first entry `key` of `section` (ignoring case), or nullptr.
  const Entry* Find(std::string_view section, std::string_view key) const;

  std::string file_name_;
  std::string load_error_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> index_;  // lower-cased section name -> position
};

}  // namespace vq
