#include "filter/rom_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "temp_folder.h"

namespace vq {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// UTF-16 bytes of an ASCII text, with its byte-order mark.
std::vector<uint8_t> Utf16Bytes(const std::string& ascii, bool big_endian) {
  std::vector<uint8_t> out = big_endian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE};
  for (char c : ascii) {
    if (big_endian) out.push_back(0);
    out.push_back(static_cast<uint8_t>(c));
    if (!big_endian) out.push_back(0);
  }
  return out;
}

std::string ErrorText(const std::string& path) {
  try {
    TRomList list(path);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

class RomListFileTest : public ::testing::Test {
 protected:
  test::TempFolder tmp_{"romlist"};
  const std::string dir_ = tmp_.Path();

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + name;
    WriteWholeFile(path, bytes.data(), bytes.size());
    return path;
  }

};

TEST(RomListParseTest, FindsEveryTagInOrderWithDuplicates) {
  const std::vector<int32_t> ids = TRomList::ParseIDs(
      "<?xml version=\"1.0\"?>\r\n<list>\r\n"
      "  <game name=\"5\"><description>A</description></game>\r\n"
      "  <game name=\"12\"></game><game name=\"5\"></game>\r\n</list>\r\n");
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 12, 5}));
}

TEST(RomListParseTest, TagShapeIsStrictButCaseless) {
  EXPECT_EQ(TRomList::ParseIDs("<Game Name=\"42\">"), std::vector<int32_t>{42});
  EXPECT_EQ(TRomList::ParseIDs("<GAME NAME=\"12\">"), std::vector<int32_t>{12});
  EXPECT_TRUE(TRomList::ParseIDs("<game  name=\"42\">").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name=\"42\" x=\"1\">").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name = \"42\">").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name='42'>").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name=\"4a2\">").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name=\"\">").empty());
  EXPECT_TRUE(TRomList::ParseIDs("<game name=\"-4\">").empty());
}

TEST(RomListParseTest, LeadingZerosAndLimits) {
  EXPECT_EQ(TRomList::ParseIDs("<game name=\"0042\">"), std::vector<int32_t>{42});
  EXPECT_EQ(TRomList::ParseIDs("<game name=\"2147483647\"><game name=\"0\">"),
            (std::vector<int32_t>{2147483647, 0}));
  EXPECT_EQ(TRomList::ParseIDs("<game name=\"000000000002147483647\">"), std::vector<int32_t>{2147483647});
}

TEST(RomListParseTest, DigitRunPastInt32IsAnError) {
  try {
    TRomList::ParseIDs("<game name=\"1\"><game name=\"99999999999\">");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'99999999999' is not a valid integer value");
  }
  try {
    TRomList::ParseIDs("<game name=\"002147483648\">");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'002147483648' is not a valid integer value");
  }
}

TEST(RomListDecodeTest, ByteOrderMarkSelectsTheEncoding) {
  EXPECT_EQ(TRomList::DecodeText(Bytes("\xEF\xBB\xBF<a>\xC3\xA9")), "<a>\xC3\xA9");
  EXPECT_EQ(TRomList::DecodeText(Utf16Bytes("<game name=\"7\">", false)), "<game name=\"7\">");
  EXPECT_EQ(TRomList::DecodeText(Utf16Bytes("<game name=\"7\">", true)), "<game name=\"7\">");
  // Without a mark the bytes are Windows-1252: 0xE9 is e acute, 0x80 the euro sign.
  EXPECT_EQ(TRomList::DecodeText(Bytes("\xE9\x80")), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(TRomList::DecodeText({}), "");
}

TEST(RomListDecodeTest, DamagedInputStillDecodes) {
  // A lone surrogate, an odd trailing byte and invalid UTF-8 after a mark.
  EXPECT_EQ(TRomList::DecodeText({0xFF, 0xFE, 0x00, 0xD8, 0x41}), "\xEF\xBF\xBD");
  EXPECT_EQ(TRomList::DecodeText({0xFE, 0xFF, 0x00}), "");
  EXPECT_EQ(TRomList::DecodeText(Bytes("\xEF\xBB\xBF" "a\xFF")), "a\xEF\xBF\xBD");
}

TEST_F(RomListFileTest, ReadsAnExportAndAnswersQueries) {
  const std::string path =
      Write("list.xml", Bytes("<game name=\"5\">\n<game name=\"12\">\n<game name=\"5\">\n"));
  const TRomList list(path);
  EXPECT_EQ(list.IDCount(), 3);
  EXPECT_TRUE(list.Contains(5));
  EXPECT_TRUE(list.GetContainsID(12));
  EXPECT_FALSE(list.Contains(7));
}

TEST_F(RomListFileTest, Utf16ExportReadsLikeUtf8) {
  const std::string text = "<?xml?>\r\n<game name=\"5\"></game>\r\n<GAME NAME=\"0099\">\r\n";
  const TRomList utf8(Write("utf8.xml", Bytes("\xEF\xBB\xBF" + text)));
  const TRomList le(Write("le.xml", Utf16Bytes(text, false)));
  const TRomList be(Write("be.xml", Utf16Bytes(text, true)));
  for (const TRomList* list : {&utf8, &le, &be}) {
    EXPECT_EQ(list->IDCount(), 2);
    EXPECT_TRUE(list->Contains(5));
    EXPECT_TRUE(list->Contains(99));
  }
}

TEST_F(RomListFileTest, BytesReadLikeTheFile) {
  const std::vector<uint8_t> bytes = Utf16Bytes("<game name=\"5\"><GAME NAME=\"0099\"><game name=\"5\">", false);
  const TRomList fromFile(Write("le.xml", bytes));
  const TRomList fromBytes = TRomList::FromBytes(bytes);
  EXPECT_EQ(fromBytes.IDCount(), fromFile.IDCount());
  EXPECT_TRUE(fromBytes.Contains(99));
  EXPECT_FALSE(fromBytes.Contains(0));
  EXPECT_THROW(TRomList::FromBytes(Bytes("<game name=\"2147483648\">")), Error);
}

TEST_F(RomListFileTest, EmptyFileGivesNoIDs) {
  const TRomList list(Write("empty.xml", {}));
  EXPECT_EQ(list.IDCount(), 0);
  EXPECT_FALSE(list.Contains(0));
}

TEST_F(RomListFileTest, FailuresCarryTheirMessages) {
  const std::string missing = dir_ + "sub/../none.xml";
  EXPECT_EQ(ErrorText(missing), missing + " does not exist");
  EXPECT_EQ(ErrorText(""), " does not exist");
  // A folder is not a list file, and the message says so.
  EXPECT_EQ(ErrorText(dir_), dir_ + ": Is a directory");
  EXPECT_EQ(ErrorText(Write("big.xml", Bytes("<game name=\"1\">\n<game name=\"99999999999\">"))),
            "'99999999999' is not a valid integer value");
}

TEST_F(RomListFileTest, UnreadableFileRaisesTheAccessError) {
  std::string path = Write("locked.xml", Bytes("<game name=\"1\">"));
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  // File permissions do not bind root; this file opens but fails to read.
  if (geteuid() == 0) path = "/proc/self/mem";
  const std::string text = ErrorText(path);
  EXPECT_EQ(text.rfind(path + ": ", 0), 0u) << text;
}

}  // namespace
}  // namespace vq
