#pragma once

#include <cstddef>
#include <cstdint>

namespace vq {

// The CRC-32 of the zip format (zlib's), computed over bytes given in parts.
class TCrc32 {
 public:
  void Add(const void* data, size_t size);
  // The CRC-32 of every byte added so far, from 0 to 2^32 - 1.
  int64_t Value() const { return static_cast<int64_t>(value_); }

 private:
  uint32_t value_ = 0;
};

}  // namespace vq
