// File helpers: what counts as a file, copying, folders, overlapping paths.
#include "base/file_system.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace vq {
namespace {

namespace fs = std::filesystem;

class FileSystem : public ::testing::Test {
 protected:
  test::TempFolder tmp_{"vqsd-fs"};
  const std::string root_ = tmp_.Path();
};

TEST_F(FileSystem, OnlyRegularFilesAreFilesAndPipesAreNeverOpenedForCopying) {
  WriteWholeFile(root_ + "f", "x", 1);
  ASSERT_EQ(mkfifo((root_ + "pipe").c_str(), 0644), 0);
  EXPECT_TRUE(FileExists(root_ + "f"));
  EXPECT_FALSE(FileExists(root_));
  EXPECT_FALSE(FileExists(root_ + "pipe"));
  EXPECT_FALSE(FileExists(""));
  // A pipe with no writer would block a plain open for reading for ever.
  EXPECT_FALSE(CopyFileReplacing(root_ + "pipe", root_ + "copy"));
  EXPECT_TRUE(CopyFileReplacing(root_ + "f", root_ + "copy"));
  EXPECT_EQ(ReadWholeFileAsString(root_ + "copy"), "x");
}

TEST_F(FileSystem, ForceDirectoriesCreatesParentsAndFailsUnderAFile) {
  EXPECT_TRUE(ForceDirectories(root_ + "a/b/c/"));
  EXPECT_TRUE(DirectoryExists(root_ + "a/b/c"));
  WriteWholeFile(root_ + "file", "", 0);
  EXPECT_FALSE(ForceDirectories(root_ + "file/sub"));
}

TEST_F(FileSystem, PathsOverlapWhenOneLiesInsideTheOther) {
  ForceDirectories(root_ + "games/sub");
  ForceDirectories(root_ + "gamesX");
  EXPECT_TRUE(PathsOverlap(root_ + "games", root_ + "games/"));
  EXPECT_TRUE(PathsOverlap(root_ + "games/", root_ + "games/sub/out"));  // need not exist yet
  EXPECT_TRUE(PathsOverlap(root_ + "games/sub", root_ + "games"));
  EXPECT_TRUE(PathsOverlap(root_ + "games/sub/..", root_ + "games"));
  EXPECT_FALSE(PathsOverlap(root_ + "games", root_ + "gamesX"));
  EXPECT_FALSE(PathsOverlap(root_ + "games/sub", root_ + "gamesX/out"));
  fs::create_directory_symlink(root_ + "games", root_ + "link");
  EXPECT_TRUE(PathsOverlap(root_ + "link/", root_ + "games/sub/VONDRAL SD"));
  // A bind mount gives the source a second path; its identity stays.
  ForceDirectories(root_ + "bound");
  const std::string bind = "mount --bind '" + root_ + "games' '" + root_ + "bound' 2>/dev/null";
  if (geteuid() != 0 || std::system(bind.c_str()) != 0) GTEST_SKIP() << "bind mounts need root";
  EXPECT_TRUE(PathsOverlap(root_ + "games/", root_ + "bound/sub/VONDRAL SD"));
  EXPECT_TRUE(PathsOverlap(root_ + "bound/sub", root_ + "games"));
  EXPECT_EQ(std::system(("umount '" + root_ + "bound'").c_str()), 0);
}

TEST_F(FileSystem, NewFilesNeverStayHalfWritten) {
  {
    TNewFile file(root_ + "partial");
    file.Write("abc", 3);
  }  // dropped without Commit, as by an exception
  EXPECT_FALSE(FileExists(root_ + "partial"));
  TNewFile done(root_ + "done");
  done.Write("abc", 3);
  done.Commit();
  EXPECT_EQ(ReadWholeFileAsString(root_ + "done"), "abc");
  // A link in the file's place is replaced, never followed.
  WriteWholeFile(root_ + "target", "keep", 4);
  fs::create_symlink(root_ + "target", root_ + "link-file");
  WriteWholeFile(root_ + "link-file", "new", 3);
  EXPECT_EQ(ReadWholeFileAsString(root_ + "target"), "keep");
  EXPECT_EQ(ReadWholeFileAsString(root_ + "link-file"), "new");
}

TEST_F(FileSystem, FileNamePartsAndTrailingDelimiter) {
  EXPECT_EQ(ExtractFileName("/a/b.zip"), "b.zip");
  EXPECT_EQ(ExtractFilePath("/a/b.zip"), "/a/");
  EXPECT_EQ(ExtractFilePath("b.zip"), "");
  EXPECT_EQ(IncludeTrailingDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingDelimiter("/a/"), "/a/");
}

}  // namespace
}  // namespace vq
