#include "zip/zip_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "tools/zip_writer.h"
#include "folder_target.h"
#include "temp_folder.h"

namespace vq {
namespace {

using tools::TZipWriterEntry;

std::string ToString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Overwrites a little-endian 32-bit field at `offset`.
void Put32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

class ZipReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ForceDirectories(base_)); }
  void TearDown() override { reader_.Close(); }

  // Writes a zip under the temporary folder and points the reader at it.
  std::string MakeZip(const std::string& name, const std::vector<TZipWriterEntry>& entries) {
    std::string path = dir_ + name;
    tools::WriteZipFile(path, entries);
    reader_.SetFileName(path);
    return path;
  }

  void WriteRaw(const std::string& path, const std::string& bytes) {
    WriteWholeFile(path, bytes.data(), bytes.size());
    reader_.SetFileName(path);
  }

  // Every file name the search reports for `mask`.
  // Extracts every entry whose name matches `mask`, one by one as the job
  // does; returns how many were written.
  int ExtractMatching(const std::string& mask) {
    int written = 0;
    TZipEntry entry;
    for (bool found = reader_.FindFirst(mask, entry); found; found = reader_.FindNext(entry)) {
      written += reader_.ExtractEntry(entry, target_) ? 1 : 0;
    }
    return written;
  }
  std::vector<std::string> Search(const std::string& mask) {
    std::vector<std::string> names;
    TZipEntry entry;
    for (bool found = reader_.FindFirst(mask, entry); found; found = reader_.FindNext(entry)) {
      names.push_back(entry.FileName);
    }
    return names;
  }

  // The message of the error that `action` raises.
  template <typename F>
  std::string ErrorOf(F action) {
    try {
      action();
    } catch (const Error& e) {
      return e.what();
    }
    return "(no error)";
  }
  // The code of the error that `action` raises; -1 for none.
  template <typename F>
  int CodeOf(F action) {
    try {
      action();
    } catch (const Error& e) {
      return e.Code();
    }
    return -1;
  }

  test::TempFolder tmp_{"zipreader"};
  const std::string dir_ = tmp_.Path();
  const std::string base_ = dir_ + "out/base/";
  // The folder that the extractions write into, made by SetUp.
  test::TFolderTarget target_{base_};
  TZipReader reader_;
};

// --- Opening and reading to memory ---

TEST_F(ZipReaderTest, ReadsStoredAndDeflatedRootEntries) {
  const std::string nfo = "Name: Caf\xE9 \x80\r\nUnique-ID: 42\r\n";
  const std::string image(70000, '\x5A');
  MakeZip("game.zip", {{"VERSION.NFO", nfo, false}, {"GAME.D64", image, true}});
  reader_.Open();
  EXPECT_TRUE(reader_.IsOpen());
  // Windows-1252 bytes come back as UTF-8.
  EXPECT_EQ(reader_.ExtractToString("VERSION.NFO"), "Name: Caf\xC3\xA9 \xE2\x82\xAC\r\nUnique-ID: 42\r\n");
  EXPECT_EQ(reader_.ExtractToString("version.nfo"), reader_.ExtractToString("VERSION.NFO"));
  std::vector<uint8_t> out = {1, 2, 3};
  reader_.ExtractToMemory("game.d64", out);
  EXPECT_EQ(ToString(out), image);
  reader_.Close();
  EXPECT_FALSE(reader_.IsOpen());
  reader_.Close();
}

TEST_F(ZipReaderTest, EmptyAndBinaryEntries) {
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  MakeZip("b.zip", {{"EMPTY.NFO", "", true}, {"VERSION.NFO", binary, true}});
  reader_.Open();
  EXPECT_EQ(reader_.ExtractToString("EMPTY.NFO"), "");
  // Every byte decodes to one character and nothing is lost.
  const std::string text = reader_.ExtractToString("VERSION.NFO");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16(text).size(), 256u);
  EXPECT_EQ(Utf8ToCp1252(text), binary);
}

TEST_F(ZipReaderTest, RootLookupIgnoresEntriesInFolders) {
  MakeZip("sub.zip", {{"docs/", "", false}, {"docs/VERSION.NFO", "Name: X", true}, {"A.D64", "a", true}});
  reader_.Open();
  const std::string path = reader_.FileName();
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToString("VERSION.NFO"); }),
            path + ": VERSION.NFO: entry not found");
  std::vector<uint8_t> out;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToMemory("docs", out); }), path + ": docs: entry not found");
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToMemory("missing.t64", out); }),
            path + ": missing.t64: entry not found");
}

TEST_F(ZipReaderTest, OpenFailuresNameTheArchive) {
  reader_.SetFileName(dir_ + "none.zip");
  EXPECT_EQ(ErrorOf([&] { reader_.Open(); }).rfind(dir_ + "none.zip: ", 0), 0u);
  EXPECT_FALSE(reader_.IsOpen());

  WriteRaw(dir_ + "text.zip", "This is no zip archive at all.\r\n");
  EXPECT_EQ(ErrorOf([&] { reader_.Open(); }), dir_ + "text.zip: Not a zip archive");
  WriteRaw(dir_ + "empty.zip", "");
  EXPECT_EQ(ErrorOf([&] { reader_.Open(); }).rfind(dir_ + "empty.zip: ", 0), 0u);

  ASSERT_TRUE(ForceDirectories(dir_ + "folder.zip"));
  reader_.SetFileName(dir_ + "folder.zip");
  EXPECT_EQ(ErrorOf([&] { reader_.Open(); }).rfind(dir_ + "folder.zip: ", 0), 0u);
  EXPECT_FALSE(reader_.IsOpen());
}

TEST_F(ZipReaderTest, OperationsNeedAnOpenArchive) {
  MakeZip("a.zip", {{"VERSION.NFO", "x", true}});
  const std::string expected = reader_.FileName() + ": archive is not open";
  TZipEntry entry;
  std::vector<uint8_t> out;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToString("VERSION.NFO"); }), expected);
  EXPECT_EQ(ErrorOf([&] { reader_.FindFirst("*.*", entry); }), expected);
  EXPECT_EQ(ErrorOf([&] { reader_.FindNext(entry); }), expected);
  EXPECT_EQ(ErrorOf([&] { ExtractMatching("*.*"); }), expected);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryToMemory(entry, out); }), expected);
  test::TMemorySink sink;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryTo(entry, sink); }), expected);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractRootEntryTo("VERSION.NFO", sink); }), expected);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntry(entry, target_); }), expected);
  EXPECT_TRUE(target_.Created.empty());
}

TEST_F(ZipReaderTest, OpenReplacesTheArchiveStillOpen) {
  const std::string first = MakeZip("1.zip", {{"VERSION.NFO", "one", true}});
  MakeZip("2.zip", {{"VERSION.NFO", "two", true}});
  reader_.SetFileName(first);
  reader_.Open();
  EXPECT_EQ(reader_.ExtractToString("VERSION.NFO"), "one");
  reader_.SetFileName(dir_ + "2.zip");
  reader_.Open();
  EXPECT_EQ(reader_.ExtractToString("VERSION.NFO"), "two");
  // A failed open leaves nothing open.
  reader_.SetFileName(dir_ + "none.zip");
  EXPECT_THROW(reader_.Open(), Error);
  EXPECT_FALSE(reader_.IsOpen());
}

// --- Damaged archives ---

TEST_F(ZipReaderTest, DamagedEntryDataRaisesAnError) {
  const std::string nfo = "Name: Damaged\r\n" + std::string(500, 'x');
  for (bool deflate : {false, true}) {
    const std::string path = MakeZip("d.zip", {{"VERSION.NFO", nfo, deflate}});
    std::string bytes = ReadWholeFileAsString(path);
    // The data follows the 30-byte local header and the 11-byte name.
    bytes[30 + 11 + 5] ^= 0x55;
    WriteRaw(path, bytes);
    reader_.Open();
    EXPECT_EQ(ErrorOf([&] { reader_.ExtractToString("VERSION.NFO"); }).rfind(path + ": VERSION.NFO: ", 0), 0u)
        << (deflate ? "deflated" : "stored");
    reader_.Close();
  }
}

TEST_F(ZipReaderTest, TruncatedOrCorruptArchivesNeverReadWrongData) {
  const std::string nfo = "Name: Whole\r\nUnique-ID: 7\r\n";
  const std::string path =
      MakeZip("t.zip", {{"A.D64", std::string(300, 'a'), true}, {"VERSION.NFO", nfo, true}});
  const std::string whole = ReadWholeFileAsString(path);
  // Each variant either fails with an error or still yields the stored text.
  auto check = [&](const std::string& bytes, const std::string& what) {
    WriteRaw(path, bytes);
    try {
      reader_.Open();
      TZipEntry entry;
      if (reader_.FindFirst("*.*", entry)) {
        std::vector<uint8_t> out;
        reader_.ExtractEntryToMemory(entry, out);
      }
      EXPECT_EQ(reader_.ExtractToString("VERSION.NFO"), nfo) << what;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << what << ": " << e.what();
    }
    reader_.Close();
  };
  for (size_t length = 0; length < whole.size(); ++length) {
    check(whole.substr(0, length), "truncated to " + std::to_string(length));
  }
  for (size_t at = 0; at < whole.size(); ++at) {
    std::string bytes = whole;
    bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
    check(bytes, "byte " + std::to_string(at) + " flipped");
  }
}

// --- Memory limit ---

TEST_F(ZipReaderTest, EntryPastTheMemoryLimitIsRefused) {
  const std::string big(TZipReader::kMaxMemoryEntry + 1, '\0');
  MakeZip("big.zip", {{"VERSION.NFO", big, true}, {"SMALL.NFO", "ok", true}});
  reader_.Open();
  const std::string expected = reader_.FileName() + ": VERSION.NFO: entry is larger than 64 MiB";
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToString("VERSION.NFO"); }), expected);
  std::vector<uint8_t> out;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToMemory("VERSION.NFO", out); }), expected);
  EXPECT_EQ(reader_.ExtractToString("SMALL.NFO"), "ok");
}

TEST_F(ZipReaderTest, HeaderThatUnderstatesTheSizeCannotInflatePastTheLimit) {
  const std::string big(TZipReader::kMaxMemoryEntry + 4096, '\0');
  const std::string path = MakeZip("lie.zip", {{"VERSION.NFO", big, true}});
  std::string bytes = ReadWholeFileAsString(path);
  // Claim 100 bytes in the local header and in the central directory.
  ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
  Put32(bytes, 22, 100);
  const size_t central = bytes.rfind(std::string("PK\x01\x02", 4));
  ASSERT_NE(central, std::string::npos);
  Put32(bytes, central + 24, 100);
  WriteRaw(path, bytes);
  reader_.Open();
  TZipEntry entry;
  ASSERT_TRUE(reader_.FindFirst("VERSION.NFO", entry));
  EXPECT_EQ(entry.Size, 100u);
  std::vector<uint8_t> out;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryToMemory(entry, out); }),
            path + ": VERSION.NFO: entry is larger than 64 MiB");
  EXPECT_LE(out.capacity(), TZipReader::kMaxMemoryEntry + 1);
  // A caller's own, lower limit holds the same way.
  std::vector<uint8_t>().swap(out);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryToMemory(entry, out, 256 << 10); }),
            path + ": VERSION.NFO: entry is larger than 256 KiB");
  EXPECT_LE(out.capacity(), (256u << 10) + 1);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractToString("VERSION.NFO", 1000); }),
            path + ": VERSION.NFO: entry is larger than 1000 bytes");
}

// --- Search ---

TEST_F(ZipReaderTest, SearchCoversEveryFolderAndSkipsFolderEntries) {
  MakeZip("s.zip", {{"VERSION.NFO", "n", true},
                    {"disks/", "", false},
                    {"disks/Side1.d64", "1", true},
                    {"disks/more/SIDE2.D64", "22", false},
                    {"README", "r", true},
                    {"tape.T64", "t", true}});
  reader_.Open();
  EXPECT_EQ(Search("*.D64"), (std::vector<std::string>{"Side1.d64", "SIDE2.D64"}));
  EXPECT_EQ(Search("*.*"), (std::vector<std::string>{"VERSION.NFO", "Side1.d64", "SIDE2.D64", "README", "tape.T64"}));
  EXPECT_EQ(Search("side2.d64"), std::vector<std::string>{"SIDE2.D64"});
  EXPECT_TRUE(Search("*.crt").empty());

  TZipEntry entry;
  ASSERT_TRUE(reader_.FindFirst("side?.D64", entry));
  ASSERT_TRUE(reader_.FindNext(entry));
  EXPECT_EQ(entry.FileName, "SIDE2.D64");
  EXPECT_EQ(entry.StoredPath, "disks/more/SIDE2.D64");
  EXPECT_EQ(entry.Index, 3);
  EXPECT_EQ(entry.Size, 2u);
  std::vector<uint8_t> out;
  reader_.ExtractEntryToMemory(entry, out);
  EXPECT_EQ(ToString(out), "22");
  EXPECT_FALSE(reader_.FindNext(entry));
  EXPECT_FALSE(reader_.FindNext(entry));
}

TEST_F(ZipReaderTest, NamesAreUtf8) {
  MakeZip("u.zip", {{"Caf\xC3\xA9.d64", "c", true}});
  reader_.Open();
  EXPECT_EQ(Search("*.D64"), std::vector<std::string>{"Caf\xC3\xA9.d64"});
  EXPECT_EQ(ExtractMatching("*.d64"), 1);
  EXPECT_EQ(ReadWholeFileAsString(base_ + "Caf\xC3\xA9.d64"), "c");
}

// --- Extraction into a caller's sink ---

TEST_F(ZipReaderTest, ExtractEntryToStreamsIntoTheSinkAndLeavesTheCommitToTheCaller) {
  const std::string image(200000, '\x3C');
  MakeZip("s.zip", {{"./VERSION.NFO", "nfo", true}, {"disks/GAME.D64", image, true}});
  reader_.Open();
  TZipEntry entry;
  ASSERT_TRUE(reader_.FindFirst("*.d64", entry));
  test::TMemorySink sink;
  reader_.ExtractEntryTo(entry, sink);
  EXPECT_EQ(sink.Bytes, image);
  EXPECT_FALSE(sink.Committed);

  // The root entry, found as RootEntryName names it; "./" counts as the root.
  EXPECT_EQ(reader_.RootEntryName("version.nfo"), "VERSION.NFO");
  test::TMemorySink nfo;
  reader_.ExtractRootEntryTo("version.nfo", nfo);
  EXPECT_EQ(nfo.Bytes, "nfo");
  EXPECT_FALSE(nfo.Committed);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractRootEntryTo("GAME.D64", nfo); }),
            reader_.FileName() + ": GAME.D64: entry not found");
  TZipEntry bogus;
  bogus.StoredPath = "gone.d64";
  bogus.Index = 99;
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryTo(bogus, sink); }), reader_.FileName() + ": gone.d64: entry not found");
  // Nothing reached the disk.
  EXPECT_TRUE(std::filesystem::is_empty(base_));
}

TEST_F(ZipReaderTest, SinkErrorsNameTheArchiveAndKeepTheirCode) {
  MakeZip("f.zip", {{"VERSION.NFO", std::string(5000, 'n'), true}, {"A.D64", std::string(5000, 'a'), false}});
  reader_.Open();
  const std::string full = reader_.FileName() + ": /card/full.d64: " + std::strerror(ENOSPC);
  TZipEntry entry;
  ASSERT_TRUE(reader_.FindFirst("A.D64", entry));
  test::TMemorySink sink(100);
  EXPECT_EQ(ErrorOf([&] { reader_.ExtractEntryTo(entry, sink); }), full);
  test::TMemorySink again(100);
  EXPECT_EQ(CodeOf([&] { reader_.ExtractEntryTo(entry, again); }), ENOSPC);
  test::TMemorySink nfo(4999);
  EXPECT_EQ(CodeOf([&] { reader_.ExtractRootEntryTo("VERSION.NFO", nfo); }), ENOSPC);
  EXPECT_FALSE(sink.Committed || again.Committed || nfo.Committed);
}

TEST_F(ZipReaderTest, ExtractEntryCreatesThroughTheTargetAndCommits) {
  MakeZip("m.zip", {{"a/b/C.D64", "c", true}, {"..", "x", true}, {"/abs/D.D64", "d", true}});
  reader_.Open();
  test::TMemoryTarget memory;
  TZipEntry entry;
  for (bool ok = reader_.FindFirst("*.*", entry); ok; ok = reader_.FindNext(entry)) {
    EXPECT_EQ(reader_.ExtractEntry(entry, memory), entry.StoredPath != "..") << entry.StoredPath;
  }
  // The entry named ".." is never created.
  EXPECT_EQ(memory.Created, (std::vector<std::string>{"a/b/C.D64", "D.D64"}));
  EXPECT_EQ(memory.Files, (std::map<std::string, std::string>{{"a/b/C.D64", "c"}, {"D.D64", "d"}}));
}

// --- Extraction to the base folder ---

TEST_F(ZipReaderTest, ExtractKeepsStoredPathsAndCreatesFolders) {
  const std::string path = MakeZip("x.zip", {{"GAME.D64", std::string(5000, 'g'), true},
                                             {"disks/", "", false},
                                             {"disks/two/game.d64", "second", false},
                                             {"VERSION.NFO", "nfo", true}});
  const std::string before = ReadWholeFileAsString(path);
  reader_.Open();
  EXPECT_EQ(ExtractMatching("game.d64"), 2);
  EXPECT_EQ(ReadWholeFileAsString(base_ + "GAME.D64"), std::string(5000, 'g'));
  EXPECT_EQ(ReadWholeFileAsString(base_ + "disks/two/game.d64"), "second");
  EXPECT_FALSE(FileExists(base_ + "VERSION.NFO"));
  EXPECT_EQ(ExtractMatching("VERSION.NFO"), 1);
  EXPECT_EQ(ExtractMatching("*.crt"), 0);
  struct stat st {};
  ASSERT_EQ(stat((base_ + "VERSION.NFO").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0022, 0u);
  EXPECT_EQ(st.st_mode & 0600, 0600u);
  reader_.Close();
  // The archive itself is never written.
  EXPECT_EQ(ReadWholeFileAsString(path), before);
}

TEST_F(ZipReaderTest, ExtractEntryWritesJustThatEntryAtItsStoredPath) {
  MakeZip("w.zip", {{"*.d64", "star", true}, {"a.d64", "a", true}, {"sub/A.D64", "b", true}, {"../up.d64", "u", true}});
  reader_.Open();
  std::vector<TZipEntry> found;
  TZipEntry entry;
  for (bool ok = reader_.FindFirst("*.*", entry); ok; ok = reader_.FindNext(entry)) found.push_back(entry);
  ASSERT_EQ(found.size(), 4u);
  EXPECT_TRUE(reader_.ExtractEntry(found[0], target_));  // '*' in a name is an ordinary character here
  EXPECT_EQ(ReadWholeFileAsString(base_ + "*.d64"), "star");
  EXPECT_FALSE(FileExists(base_ + "a.d64"));
  EXPECT_TRUE(reader_.ExtractEntry(found[2], target_));
  EXPECT_EQ(ReadWholeFileAsString(base_ + "sub/A.D64"), "b");
  EXPECT_FALSE(FileExists(base_ + "a.d64"));
  EXPECT_TRUE(reader_.ExtractEntry(found[3], target_));  // an unsafe path keeps only its name
  EXPECT_EQ(ReadWholeFileAsString(base_ + "up.d64"), "u");
  TZipEntry bogus;
  bogus.Index = 99;
  EXPECT_THROW(reader_.ExtractEntry(bogus, target_), Error);
}

TEST_F(ZipReaderTest, ExtractReplacesReadOnlyFilesAndLinks) {
  MakeZip("r.zip", {{"A.D64", "new", true}, {"B.D64", "fresh", true}});
  WriteWholeFile(base_ + "A.D64", "old content", 11);
  ASSERT_EQ(chmod((base_ + "A.D64").c_str(), 0444), 0);
  // A link planted in the base folder must not carry the write outside it.
  const std::string outside = dir_ + "outside.txt";
  WriteWholeFile(outside, "keep", 4);
  ASSERT_EQ(symlink(outside.c_str(), (base_ + "B.D64").c_str()), 0);

  reader_.Open();
  EXPECT_EQ(ExtractMatching("*.D64"), 2);
  EXPECT_EQ(ReadWholeFileAsString(base_ + "A.D64"), "new");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "B.D64"), "fresh");
  EXPECT_EQ(ReadWholeFileAsString(outside), "keep");
  struct stat st {};
  ASSERT_EQ(lstat((base_ + "B.D64").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(ZipReaderTest, UnsafeStoredPathsStayInsideTheBaseFolder) {
  MakeZip("evil.zip", {{"../up.d64", "1", true},
                       {"a/../../../b/side.d64", "2", true},
                       {"/tmp/abs.d64", "3", true},
                       {"..\\..\\win.d64", "4", true},
                       {"C:/games/drive.d64", "5", true},
                       {"disk\\back.d64", "6", true},
                       {"./dot/./ok.d64", "7", true},
                       {"..", "8", true}});
  reader_.Open();
  // The archive really holds the unsafe paths as written.
  TZipEntry entry;
  ASSERT_TRUE(reader_.FindFirst("up.d64", entry));
  EXPECT_EQ(entry.StoredPath, "../up.d64");
  ASSERT_TRUE(reader_.FindFirst("abs.d64", entry));
  EXPECT_EQ(entry.StoredPath, "/tmp/abs.d64");
  EXPECT_EQ(ExtractMatching("*.*"), 7);
  EXPECT_EQ(target_.Created.size(), 7u);  // the entry named ".." is never created
  EXPECT_EQ(ReadWholeFileAsString(base_ + "up.d64"), "1");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "side.d64"), "2");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "abs.d64"), "3");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "win.d64"), "4");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "drive.d64"), "5");
  // A backslash separates folders as on the system that wrote the archive.
  EXPECT_EQ(ReadWholeFileAsString(base_ + "disk/back.d64"), "6");
  EXPECT_EQ(ReadWholeFileAsString(base_ + "dot/ok.d64"), "7");
  // Nothing landed above the base folder.
  EXPECT_FALSE(FileExists(dir_ + "out/up.d64"));
  EXPECT_FALSE(DirectoryExists(dir_ + "b"));
  EXPECT_FALSE(FileExists(dir_ + "win.d64"));
  EXPECT_FALSE(FileExists("/tmp/abs.d64"));
  EXPECT_FALSE(DirectoryExists(base_ + "C:"));
}

TEST_F(ZipReaderTest, DamagedEntryFailsExtractionAndLeavesNoFile) {
  const std::string path = MakeZip("bad.zip", {{"BAD.D64", std::string(4000, 'b'), false}});
  std::string bytes = ReadWholeFileAsString(path);
  bytes[30 + 7 + 100] ^= 0x01;
  WriteRaw(path, bytes);
  reader_.Open();
  EXPECT_EQ(ErrorOf([&] { ExtractMatching("*.D64"); }).rfind(path + ": BAD.D64: ", 0), 0u);
  EXPECT_FALSE(FileExists(base_ + "BAD.D64"));
}

TEST_F(ZipReaderTest, UnwritableTargetRaisesAnError) {
  MakeZip("w.zip", {{"sub/A.D64", "a", true}});
  // A file where the sub-folder should be.
  WriteWholeFile(base_ + "sub", "x", 1);
  reader_.Open();
  EXPECT_EQ(ErrorOf([&] { ExtractMatching("*.*"); }), reader_.FileName() + ": " + base_ + "sub/: " + std::strerror(ENOTDIR));
  EXPECT_EQ(ReadWholeFileAsString(base_ + "sub"), "x");
}

}  // namespace
}  // namespace vq
