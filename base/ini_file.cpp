#include "base/ini_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"

namespace vq {

namespace {

char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal digits to a 32-bit value; eight digits may set the sign bit
// ("$FFFFFFFF" is -1). False when empty, not hexadecimal or too large.
bool ParseHex(std::string_view digits, int32_t& value) {
  if (digits.empty()) return false;
  uint64_t v = 0;
  for (const char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

// An integer value: decimal, or hexadecimal after "$", "0x" or "0X".
bool ParseInteger(std::string_view text, int32_t& value) {
  if (text.starts_with('$')) return ParseHex(text.substr(1), value);
  if (text.starts_with("0x") || text.starts_with("0X")) return ParseHex(text.substr(2), value);
  return TryParseInt32(text, value);
}

// A line break inside a name or value would split its line in the file and
// turn the rest into other keys or sections; it is stored as a blank instead.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : file_name_(std::move(fileName)) {
  std::string bytes;
  try {
    bytes = ReadWholeFileAsString(file_name_, kMaxFileSize);
  } catch (const Error& e) {
    // A missing file is an empty store; any other failure is kept to be told.
    if (e.Code() != ENOENT) load_error_ = e.what();
    return;
  }
  Parse(DecodeMarkedText(bytes, false));
}

TIniFile TIniFile::FromText(std::string_view text, std::string fileName) {
  TIniFile ini;
  ini.file_name_ = std::move(fileName);
  ini.Parse(DecodeMarkedText(text, false));
  return ini;
}

void TIniFile::Parse(std::string_view text) {
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    // CR LF, LF and a lone CR all end a line.
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &SectionFor(Trim(std::string_view(line).substr(1, line.size() - 2)));
      continue;
    }
    if (current == nullptr) continue;  // before the first header
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      current->entries.push_back({line, std::string()});
    } else {
      const std::string_view view(line);
      current->entries.push_back({TrimRight(view.substr(0, eq)), TrimLeft(view.substr(eq + 1))});
    }
  }
}

TIniFile::Section* TIniFile::FindSection(std::string_view name) {
  const auto found = index_.find(AsciiLower(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
  const auto found = index_.find(AsciiLower(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

TIniFile::Section& TIniFile::SectionFor(std::string_view name) {
  if (Section* found = FindSection(name)) return *found;
  index_.emplace(AsciiLower(name), sections_.size());
  sections_.push_back({std::string(name), {}});
  return sections_.back();
}

const TIniFile::Entry* TIniFile::Find(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return nullptr;
  for (const Entry& entry : found->entries) {
    if (SameIgnoringCase(entry.key, key)) return &entry;
  }
  return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& def) const {
  const Entry* entry = Find(section, key);
  return entry != nullptr ? entry->value : def;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  const Entry* entry = Find(section, key);
  int32_t value = 0;
  if (entry == nullptr || !ParseInteger(entry->value, value)) return def;
  return value;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const Entry* entry = Find(section, key);
  int32_t value = 0;
  if (entry == nullptr || !ParseInteger(entry->value, value)) return def;
  return value != 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string name = OneLine(key);
  Section& target = SectionFor(OneLine(section));
  for (Entry& entry : target.entries) {
    if (SameIgnoringCase(entry.key, name)) {
      // The key keeps its place; it takes the spelling it is written with.
      entry.key = name;
      entry.value = OneLine(value);
      return;
    }
  }
  target.entries.push_back({name, OneLine(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::ToText() const {
  std::string text;
  for (const Section& section : sections_) {
    text += '[';
    text += section.name;
    text += "]\r\n";
    for (const Entry& entry : section.entries) {
      text += entry.key;
      text += '=';
      text += entry.value;
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

void TIniFile::UpdateFile() const {
  // A file that could not be read is never replaced by what was made of it.
  if (!load_error_.empty()) throw Error(load_error_);
  // Written beside the file and renamed over it, so a full disk or a failed
  // write leaves the former settings whole instead of an empty file.
  const std::string text = ToText();
  const std::string temporary = file_name_ + ".tmp";
  try {
    FileHandle file = CreateFileForWriting(temporary);
    WriteAll(file, text.data(), text.size(), file_name_);
    file.Close(file_name_);
  } catch (const Error& e) {
    ::unlink(temporary.c_str());
    // The message names the settings file, which the user knows, not its
    // temporary twin.
    std::string message = e.what();
    if (message.starts_with(temporary)) message.replace(0, temporary.size(), file_name_);
    throw Error(message);
  }
  if (::rename(temporary.c_str(), file_name_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    throw SystemError(file_name_, err);
  }
}

}  // namespace vq
