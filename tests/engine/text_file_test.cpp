#include "engine/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "temp_folder.h"

namespace vq {
namespace {

class TextFileTest : public ::testing::Test {
 protected:
  test::TempFolder tmp_{"vq_text_file"};
  const std::string dir_ = tmp_.Path();
  const TCardFolder card_{dir_};
};

TEST_F(TextFileTest, EveryLineEndsInCrLfWithoutByteOrderMark) {
  const std::string path = dir_ + "AUTOSWAP.LST";
  WriteTextLines(card_, path.substr(dir_.size()), {u"A.D64", u"", u"b.d64"});
  EXPECT_EQ(ReadWholeFileAsString(path), "A.D64\r\n\r\nb.d64\r\n");
}

TEST_F(TextFileTest, TextIsWindows1252WithQuestionMarksForTheRest) {
  const std::string path = dir_ + "VERSION.NFO";
  // e-acute, euro sign, o-circumflex; L-stroke and an emoji are not in the code page.
  WriteTextLines(card_, path.substr(dir_.size()), {u"R\u00F4le \u00E9 \u20AC", u"\u0141\U0001F600x"});
  EXPECT_EQ(ReadWholeFileAsString(path), "R\xF4le \xE9 \x80\r\n??x\r\n");
}

TEST_F(TextFileTest, EmptyListGivesEmptyFile) {
  const std::string path = dir_ + "empty.txt";
  WriteTextLines(card_, path.substr(dir_.size()), {});
  ASSERT_TRUE(FileExists(path));
  EXPECT_EQ(ReadWholeFileAsString(path), "");
}

TEST_F(TextFileTest, ReplacesExistingFiles) {
  const std::string path = dir_ + "VERSION.NFO";
  const std::string longer(1000, 'x');
  WriteWholeFile(path, longer.data(), longer.size());
  WriteTextLines(card_, path.substr(dir_.size()), {u"short"});
  EXPECT_EQ(ReadWholeFileAsString(path), "short\r\n");

  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  WriteTextLines(card_, path.substr(dir_.size()), {u"again"});
  EXPECT_EQ(ReadWholeFileAsString(path), "again\r\n");
}

TEST_F(TextFileTest, FailureNamesThePath) {
  const std::string path = dir_ + "missing/VERSION.NFO";
  try {
    WriteTextLines(card_, path.substr(dir_.size()), {u"x"});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), path + ": No such file or directory");
  }
}

}  // namespace
}  // namespace vq
