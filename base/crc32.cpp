#include "base/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace vq {

void TCrc32::Add(const void* data, size_t size) {
  // zlib takes at most UINT_MAX bytes at a time.
  const auto* bytes = static_cast<const Bytef*>(data);
  while (size > 0) {
    const size_t part = std::min<size_t>(size, UINT_MAX);
    value_ = static_cast<uint32_t>(crc32(value_, bytes, static_cast<uInt>(part)));
    bytes += part;
    size -= part;
  }
}

}  // namespace vq
