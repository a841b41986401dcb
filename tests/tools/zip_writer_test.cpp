#include "tools/zip_writer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "temp_folder.h"

namespace vq::tools {
namespace {

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | static_cast<uint32_t>(Le16(b, at + 2)) << 16; }

// Every member, folders included, carries the DOS stamp 1994-06-21 12:00 in
// its local header and its central directory entry, whatever the clock says,
// with the compression method its entry asks for.
TEST(ZipWriterTest, MembersCarryTheFixedStampAndTheirMethod) {
  const test::TempFolder dir("zipwriter");
  const std::string path = dir.Path() + "a.zip";
  WriteZipFile(path, {{"Disks/", "", true},
                      {"Disks/game.d64", std::string(4000, 'x'), true},
                      {"VERSION.NFO", "Name: Game\r\n", false}});
  const std::string zip = ReadWholeFileAsString(path);
  ASSERT_GE(zip.size(), 22u);
  const size_t eocd = zip.size() - 22;
  ASSERT_EQ(Le32(zip, eocd), 0x06054B50u);
  ASSERT_EQ(Le16(zip, eocd + 10), 3);

  constexpr uint16_t kTime = 12u << 11;
  constexpr uint16_t kDate = (14u << 9) | (6u << 5) | 21u;
  const std::vector<std::string> names = {"Disks/", "Disks/game.d64", "VERSION.NFO"};
  const std::vector<uint16_t> methods = {0, 8, 0};
  size_t at = Le32(zip, eocd + 16);
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_LE(at + 46, zip.size());
    ASSERT_EQ(Le32(zip, at), 0x02014B50u);
    EXPECT_EQ(zip.substr(at + 46, Le16(zip, at + 28)), names[i]);
    EXPECT_EQ(Le16(zip, at + 10), methods[i]) << names[i];
    EXPECT_EQ(Le16(zip, at + 12), kTime) << names[i];
    EXPECT_EQ(Le16(zip, at + 14), kDate) << names[i];
    const size_t local = Le32(zip, at + 42);
    ASSERT_LE(local + 30, zip.size());
    ASSERT_EQ(Le32(zip, local), 0x04034B50u);
    EXPECT_EQ(Le16(zip, local + 10), kTime) << names[i];
    EXPECT_EQ(Le16(zip, local + 12), kDate) << names[i];
    at += 46 + Le16(zip, at + 28) + Le16(zip, at + 30) + Le16(zip, at + 32);
  }
}

TEST(ZipWriterTest, UnwritablePathNamesThePath) {
  const std::string path = ::testing::TempDir() + "no_such_folder_for_zips/a.zip";
  try {
    WriteZipFile(path, {{"a.txt", "a", true}});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace vq::tools
