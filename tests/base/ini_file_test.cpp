#include "base/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "base/error.h"
#include "base/file_system.h"
#include "temp_folder.h"

namespace vq {
namespace {

// A fresh folder under the system's temporary folder, removed afterwards.
class IniFileOnDisk : public ::testing::Test {
 protected:
  test::TempFolder tmp_{"vq_ini"};
  const std::string dir_ = tmp_.Path();

  void WriteFile(const std::string& name, const std::string& bytes) {
    WriteWholeFile(dir_ + name, bytes.data(), bytes.size());
  }

};

TEST(IniFile, WritesSectionsAndKeysInCreationOrderByteExact) {
  TIniFile ini = TIniFile::FromText("");
  ini.WriteBool("FormState", "Maximized", false);
  ini.WriteInteger("FormState", "Left", 120);
  ini.WriteInteger("FormState", "Top", -8);
  ini.WriteBool("FormState", "Saved", true);
  ini.WriteString("", "SourceDir", "/home/me/games ");
  ini.WriteInteger("", "Filenamestyle", 1);
  EXPECT_EQ(ini.ToText(),
            "[FormState]\r\nMaximized=0\r\nLeft=120\r\nTop=-8\r\nSaved=1\r\n\r\n"
            "[]\r\nSourceDir=/home/me/games \r\nFilenamestyle=1\r\n\r\n");
}

TEST(IniFile, EmptyStoreWritesNothing) {
  EXPECT_EQ(TIniFile::FromText("").ToText(), "");
  // A section header without keys is kept on its own.
  EXPECT_EQ(TIniFile::FromText("[Empty]\n").ToText(), "[Empty]\r\n\r\n");
}

TEST(IniFile, RewriteKeepsKeyOrderAndUnknownContent) {
  TIniFile ini = TIniFile::FromText(
      "[Other]\r\nColour=blue\r\n\r\n"
      "[]\r\nDestDir=/old\r\nExtra=kept\r\nSourceDir=/src\r\n");
  ini.WriteString("", "SourceDir", "/new/src");
  ini.WriteString("", "DestDir", "/new/dest");
  ini.WriteBool("", "TestMode", true);
  ini.WriteString("More", "A", "b");
  EXPECT_EQ(ini.ToText(),
            "[Other]\r\nColour=blue\r\n\r\n"
            "[]\r\nDestDir=/new/dest\r\nExtra=kept\r\nSourceDir=/new/src\r\nTestMode=1\r\n\r\n"
            "[More]\r\nA=b\r\n\r\n");
}

TEST(IniFile, NamesCompareWithoutRegardToCase) {
  TIniFile ini = TIniFile::FromText("[formstate]\nLEFT=5\n");
  EXPECT_EQ(ini.ReadInteger("FormState", "Left", 0), 5);
  EXPECT_TRUE(ini.ValueExists("FORMSTATE", "left"));
  EXPECT_FALSE(ini.ValueExists("FormState", "Top"));
  EXPECT_FALSE(ini.ValueExists("Form", "Left"));

  // A write in other letter case updates the same key in place; the section
  // keeps its first spelling, the key takes the spelling written.
  ini.WriteInteger("FORMSTATE", "Top", 7);
  ini.WriteInteger("FormState", "left", 9);
  EXPECT_EQ(ini.ToText(), "[formstate]\r\nleft=9\r\nTop=7\r\n\r\n");
}

TEST(IniFile, ReadsStringsWithTrimming) {
  TIniFile ini = TIniFile::FromText(
      "  [  Spaced Name  ]  \n"
      "  Key One  =  value with = sign  \n"
      "Empty=\n"
      "NoEquals\n"
      "=nameless\n");
  EXPECT_EQ(ini.ReadString("Spaced Name", "Key One", "d"), "value with = sign");
  EXPECT_EQ(ini.ReadString("Spaced Name", "Empty", "d"), "");
  EXPECT_TRUE(ini.ValueExists("Spaced Name", "NoEquals"));
  EXPECT_EQ(ini.ReadString("Spaced Name", "NoEquals", "d"), "");
  EXPECT_EQ(ini.ReadString("Spaced Name", "", "d"), "nameless");
  EXPECT_EQ(ini.ReadString("Spaced Name", "Missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("Nowhere", "Key One", "d"), "d");
}

TEST(IniFile, BlanksWrittenAtTheEndOfAValueAreLostOnReadingBack) {
  TIniFile ini = TIniFile::FromText("");
  ini.WriteString("", "SourceDir", "  /games  ");
  EXPECT_EQ(ini.ReadString("", "SourceDir", ""), "  /games  ");  // in memory as written
  EXPECT_EQ(TIniFile::FromText(ini.ToText()).ReadString("", "SourceDir", ""), "/games");
}

TEST(IniFile, SkipsCommentsEmptyLinesAndLinesBeforeTheFirstHeader) {
  TIniFile ini = TIniFile::FromText(
      "Stray=1\n"
      "; comment before\n"
      "[A]\n"
      "\n"
      "  ; Key=commented out\n"
      "Key=v\n"
      "[not a header\n");
  EXPECT_FALSE(ini.ValueExists("", "Stray"));
  EXPECT_FALSE(ini.ValueExists("A", "; Key"));
  EXPECT_EQ(ini.ReadString("A", "Key", ""), "v");
  // A line that opens a bracket without closing it is an ordinary key.
  EXPECT_TRUE(ini.ValueExists("A", "[not a header"));
  EXPECT_EQ(ini.ToText(), "[A]\r\nKey=v\r\n[not a header=\r\n\r\n");
}

TEST(IniFile, SecondHeaderOfASectionContinuesIt) {
  TIniFile ini = TIniFile::FromText("[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n");
  EXPECT_EQ(ini.ReadInteger("A", "z", 0), 3);
  EXPECT_EQ(ini.ToText(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n\r\n");
}

TEST(IniFile, EmptySectionNameIsASectionOfItsOwn) {
  TIniFile ini = TIniFile::FromText("[FormState]\nSaved=1\n[]\nSIDs=1\n[ ]\nFilter=1\n");
  EXPECT_TRUE(ini.ReadBool("", "SIDs", false));
  EXPECT_TRUE(ini.ReadBool("", "Filter", false));  // "[ ]" trims to the same name
  EXPECT_FALSE(ini.ValueExists("FormState", "SIDs"));
  EXPECT_FALSE(ini.ValueExists("", "Saved"));
}

TEST(IniFile, DuplicateKeyReadsAndUpdatesTheFirst) {
  TIniFile ini = TIniFile::FromText("[A]\nk=1\nk=2\n");
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
  ini.WriteInteger("A", "K", 5);
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 5);
  EXPECT_EQ(ini.ToText(), "[A]\r\nK=5\r\nk=2\r\n\r\n");
}

TEST(IniFile, AcceptsEveryLineEnding) {
  TIniFile ini = TIniFile::FromText("[A]\r\na=1\rb=2\nc=3\r\n\r\nd=4");
  EXPECT_EQ(ini.ToText(), "[A]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n\r\n");
}

TEST(IniFile, IntegersAreDecimalOrHexadecimal) {
  TIniFile ini = TIniFile::FromText(
      "[]\n"
      "seven=7\nminus=-1\nplus=+12\nhex0x=0x1\nhexupper=0X1f\ndollar=$1F\nallbits=$FFFFFFFF\n"
      "max=2147483647\nmin=-2147483648\n"
      "yes=yes\nempty=\ntoolarge=2147483648\nhextoolarge=$100000000\nbaredollar=$\nbare0x=0x\n"
      "badhex=$1G\ninner=1 2\nfloat=1.5\nnegdollar=-$1\n");
  EXPECT_EQ(ini.ReadInteger("", "seven", 0), 7);
  EXPECT_EQ(ini.ReadInteger("", "minus", 0), -1);
  EXPECT_EQ(ini.ReadInteger("", "plus", 0), 12);
  EXPECT_EQ(ini.ReadInteger("", "hex0x", 0), 1);
  EXPECT_EQ(ini.ReadInteger("", "hexupper", 0), 31);
  EXPECT_EQ(ini.ReadInteger("", "dollar", 0), 31);
  EXPECT_EQ(ini.ReadInteger("", "allbits", 0), -1);
  EXPECT_EQ(ini.ReadInteger("", "max", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("", "min", 0), -2147483647 - 1);
  for (const char* key : {"yes", "empty", "toolarge", "hextoolarge", "baredollar", "bare0x", "badhex",
                          "inner", "float", "negdollar", "missing"}) {
    EXPECT_EQ(ini.ReadInteger("", key, -77), -77) << key;
  }
}

TEST(IniFile, BooleansAreIntegers) {
  TIniFile ini = TIniFile::FromText("[]\nzero=0\none=1\ntwo=2\nminus=-1\nhex=$0\nyes=yes\ntrue=true\nempty=\n");
  EXPECT_FALSE(ini.ReadBool("", "zero", true));
  EXPECT_TRUE(ini.ReadBool("", "one", false));
  EXPECT_TRUE(ini.ReadBool("", "two", false));
  EXPECT_TRUE(ini.ReadBool("", "minus", false));
  EXPECT_FALSE(ini.ReadBool("", "hex", true));
  for (const char* key : {"yes", "true", "empty", "missing"}) {
    EXPECT_FALSE(ini.ReadBool("", key, false)) << key;
    EXPECT_TRUE(ini.ReadBool("", key, true)) << key;
  }
}

TEST(IniFile, WrittenValuesReadBack) {
  TIniFile ini = TIniFile::FromText("");
  ini.WriteInteger("", "Min", -2147483647 - 1);
  ini.WriteBool("", "On", true);
  ini.WriteString("", "Path", "/m\xC3\xBCsic/sid");
  const TIniFile back = TIniFile::FromText(ini.ToText());
  EXPECT_EQ(back.ReadInteger("", "Min", 0), -2147483647 - 1);
  EXPECT_TRUE(back.ReadBool("", "On", false));
  EXPECT_EQ(back.ReadString("", "Path", ""), "/m\xC3\xBCsic/sid");
}

TEST(IniFile, LineBreaksInAValueCannotSplitItsLine) {
  TIniFile ini = TIniFile::FromText("");
  ini.WriteString("", "SourceDir", "/a\r\n[FormState]\nSaved=1");
  ini.WriteString("", "Next", "x");
  const TIniFile back = TIniFile::FromText(ini.ToText());
  EXPECT_EQ(back.ReadString("", "SourceDir", ""), "/a  [FormState] Saved=1");
  EXPECT_FALSE(back.ValueExists("FormState", "Saved"));
  EXPECT_EQ(back.ReadString("", "Next", ""), "x");
}

TEST(IniFile, ByteOrderMarkDecidesTheEncoding) {
  const TIniFile utf8 = TIniFile::FromText("\xEF\xBB\xBF[A]\r\nName=Caf\xC3\xA9\r\n");
  EXPECT_EQ(utf8.ReadString("A", "Name", ""), "Caf\xC3\xA9");

  // "[A]\r\nName=Café" with U+00E9, in UTF-16 little and big endian.
  const std::string le("\xFF\xFE[\0A\0]\0\r\0\n\0N\0a\0m\0e\0=\0C\0a\0f\0\xE9\0", 30);
  EXPECT_EQ(TIniFile::FromText(le).ReadString("A", "Name", ""), "Caf\xC3\xA9");
  const std::string be("\xFE\xFF\0[\0A\0]\0\r\0\n\0N\0a\0m\0e\0=\0C\0a\0f\0\xE9", 30);
  EXPECT_EQ(TIniFile::FromText(be).ReadString("A", "Name", ""), "Caf\xC3\xA9");

  // Written text is UTF-8 without a byte-order mark.
  EXPECT_EQ(utf8.ToText(), "[A]\r\nName=Caf\xC3\xA9\r\n\r\n");
}

TEST_F(IniFileOnDisk, MissingFileGivesAnEmptyStore) {
  const TIniFile ini(dir_ + "none.ini");
  EXPECT_EQ(ini.ToText(), "");
  EXPECT_EQ(ini.FileName(), dir_ + "none.ini");
  // A folder in place of the file is unreadable: also empty.
  EXPECT_EQ(TIniFile(dir_).ToText(), "");
}

TEST_F(IniFileOnDisk, AFileThatCannotBeReadIsToldAndNeverOverwritten) {
  ForceDirectories(dir_ + "folder.ini");
  WriteWholeFile(dir_ + "huge.ini", "", 0);
  ASSERT_EQ(truncate((dir_ + "huge.ini").c_str(), TIniFile::kMaxFileSize + 1), 0);
  const std::pair<std::string, std::string> cases[] = {{"folder.ini", ": Is a directory"},
                                                        {"huge.ini", ": the file is larger than 16 MiB"}};
  for (const auto& [name, cause] : cases) {
    TIniFile ini(dir_ + name);
    EXPECT_EQ(ini.LoadError(), dir_ + name += cause);
    EXPECT_EQ(ini.ToText(), "");
    ini.WriteBool("", "SIDs", true);
    EXPECT_THROW(ini.UpdateFile(), Error) << name;
  }
  EXPECT_TRUE(DirectoryExists(dir_ + "folder.ini"));
  EXPECT_EQ(TIniFile(dir_ + "missing.ini").LoadError(), "");
}

TEST_F(IniFileOnDisk, LoadsModifiesAndReplacesTheFile) {
  WriteFile("vqsd.ini",
            "\xEF\xBB\xBF; saved earlier\r\n[FormState]\r\nLeft=10\r\nRight=500\r\n\r\n"
            "[]\r\nSourceDir=/old\r\nUnknown=kept\r\n");
  TIniFile ini(dir_ + "vqsd.ini");
  EXPECT_EQ(ini.ReadInteger("FormState", "Left", 0), 10);
  ini.WriteInteger("FormState", "Left", 20);
  ini.WriteString("", "SourceDir", "/new");
  // Nothing reaches the file before UpdateFile.
  EXPECT_EQ(ReadWholeFileAsString(dir_ + "vqsd.ini").substr(0, 3), "\xEF\xBB\xBF");
  ini.UpdateFile();
  EXPECT_EQ(ReadWholeFileAsString(dir_ + "vqsd.ini"),
            "[FormState]\r\nLeft=20\r\nRight=500\r\n\r\n"
            "[]\r\nSourceDir=/new\r\nUnknown=kept\r\n\r\n");
}

TEST_F(IniFileOnDisk, UpdateFileCreatesANewFile) {
  TIniFile ini(dir_ + "profile.vqsini");
  ini.WriteBool("", "SIDs", true);
  ini.UpdateFile();
  EXPECT_EQ(ReadWholeFileAsString(dir_ + "profile.vqsini"), "[]\r\nSIDs=1\r\n\r\n");
}

TEST_F(IniFileOnDisk, UpdateFileLeavesNoTemporaryFileBehind) {
  TIniFile ini(dir_ + "vqsd.ini");
  ini.WriteString("", "SourceDir", "/games");
  ini.UpdateFile();
  ini.WriteString("", "SourceDir", "/other");
  ini.UpdateFile();
  EXPECT_EQ(ReadWholeFileAsString(dir_ + "vqsd.ini"), "[]\r\nSourceDir=/other\r\n\r\n");
  EXPECT_FALSE(FileExists(dir_ + "vqsd.ini.tmp"));
}

TEST_F(IniFileOnDisk, FailingUpdateFileNamesThePath) {
  const std::string path = dir_ + "no such folder/vqsd.ini";
  TIniFile ini(path);
  ini.WriteBool("", "SIDs", true);
  try {
    ini.UpdateFile();
    FAIL() << "UpdateFile did not throw";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), path + ": No such file or directory");
  }
}

}  // namespace
}  // namespace vq
