#include "base/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vq {
namespace {

// The CRC-32 is zlib's for any length, whole or in parts of any size: the
// folding of the bulk and the rest around it agree.
TEST(Crc32Test, EqualsZlibsForAnyLengthAndAnySplit) {
  std::mt19937 random(7);
  std::vector<unsigned char> bytes((size_t{1} << 20) + 77);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
  for (const size_t length : {0u, 1u, 15u, 16u, 63u, 64u, 65u, 80u, 127u, 128u, 1000u, 4103u, 1048653u}) {
    SCOPED_TRACE(length);
    const auto expected = static_cast<int64_t>(crc32(0, bytes.data(), static_cast<uInt>(length)));
    TCrc32 whole;
    whole.Add(bytes.data(), length);
    EXPECT_EQ(whole.Value(), expected);
    for (const size_t part : {1u, 17u, 64u, 100u, 65536u}) {
      TCrc32 parts;
      for (size_t at = 0; at < length; at += part) parts.Add(bytes.data() + at, std::min(part, length - at));
      EXPECT_EQ(parts.Value(), expected) << "parts of " << part;
    }
  }
}

}  // namespace
}  // namespace vq
