#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Little- and big-endian fields in byte strings, for the sample images and
// zips. The caller keeps every offset inside the string.
namespace vq::tools {

// Writes a 16-bit little-endian value at `at`.
inline void Put16(std::string& b, size_t at, unsigned v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
// Writes a 32-bit little-endian value at `at`.
inline void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
// Writes a 16-bit big-endian value at `at`.
inline void PutBE16(std::string& b, size_t at, unsigned v) {
  b[at] = static_cast<char>((v >> 8) & 0xFF);
  b[at + 1] = static_cast<char>(v & 0xFF);
}
// Writes a 32-bit big-endian value at `at`.
inline void PutBE32(std::string& b, size_t at, uint32_t v) {
  PutBE16(b, at, v >> 16);
  PutBE16(b, at + 2, v & 0xFFFF);
}
// Copies at most `width` bytes of `text` to `at`; the rest of the field stays.
inline void PutText(std::string& b, size_t at, std::string_view text, size_t width) {
  for (size_t i = 0; i < width && i < text.size(); ++i) b[at + i] = text[i];
}
// Reads a 16-bit little-endian value at `at`.
inline uint16_t Get16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
// Reads a 32-bit little-endian value at `at`.
inline uint32_t Get32(std::string_view b, size_t at) {
  return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}

}  // namespace vq::tools
