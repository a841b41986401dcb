// Deleting the output folder: the whole tree, never what links point to,
// with progress and cancel.
#include "base/shell_delete.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/file_system.h"
#include "temp_folder.h"

namespace vq {
namespace {

class ShellDeleteTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir.Path() + name; }
  void File(const std::string& name) const {
    ForceDirectories(ExtractFilePath(Path(name)));
    WriteWholeFile(Path(name), "data", 4);
  }
  bool Exists(const std::string& name) const {
    return access(Path(name).c_str(), F_OK) == 0 || FileExists(Path(name)) || DirectoryExists(Path(name));
  }

  test::TempFolder dir;
};

TEST_F(ShellDeleteTest, DeletesTheWholeTreeAndReportsEveryEntry) {
  File("out/A/Game One/GAME.D64");
  File("out/A/Game One/VERSION.NFO");
  File("out/B/.hidden");
  ForceDirectories(Path("out/empty/deeper"));
  File("out/GameList.csv");
  std::vector<std::pair<size_t, size_t>> calls;
  TShellDelete remover([&](size_t done, size_t total) {
    calls.emplace_back(done, total);
    return true;
  });
  EXPECT_EQ(remover.Delete(Path("out")), TDeleteResult::drDone);
  EXPECT_FALSE(Exists("out"));
  // 4 files, 5 folders below "out", and "out" itself.
  ASSERT_EQ(calls.size(), 10u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].first, i + 1);
    EXPECT_EQ(calls[i].second, 10u);
  }
}

TEST_F(ShellDeleteTest, LinksAreRemovedAndTheirTargetsKept) {
  File("outside/precious.txt");
  File("outside/sub/more.txt");
  File("keep.txt");
  ForceDirectories(Path("out/A"));
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("out/A/to-folder").c_str()), 0);
  ASSERT_EQ(symlink(Path("keep.txt").c_str(), Path("out/to-file").c_str()), 0);
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("out/dangling").c_str()), 0);
  EXPECT_EQ(TShellDelete(nullptr).Delete(Path("out")), TDeleteResult::drDone);
  EXPECT_FALSE(Exists("out"));
  EXPECT_TRUE(FileExists(Path("outside/precious.txt")));
  EXPECT_TRUE(FileExists(Path("outside/sub/more.txt")));
  EXPECT_TRUE(FileExists(Path("keep.txt")));
}

TEST_F(ShellDeleteTest, AnOutputFolderThatIsALinkLosesOnlyTheLink) {
  File("real/inside.txt");
  ASSERT_EQ(symlink(Path("real").c_str(), Path("out").c_str()), 0);
  EXPECT_EQ(TShellDelete(nullptr).Delete(Path("out")), TDeleteResult::drDone);
  EXPECT_FALSE(Exists("out"));
  EXPECT_TRUE(FileExists(Path("real/inside.txt")));
}

TEST_F(ShellDeleteTest, CancelStopsAndKeepsWhatIsLeft) {
  for (int i = 0; i < 10; ++i) File("out/file" + std::to_string(i));
  TShellDelete remover([](size_t done, size_t) { return done < 3; });
  EXPECT_EQ(remover.Delete(Path("out")), TDeleteResult::drCancelled);
  EXPECT_TRUE(DirectoryExists(Path("out")));
  int left = 0;
  for (int i = 0; i < 10; ++i) left += FileExists(Path("out/file" + std::to_string(i))) ? 1 : 0;
  EXPECT_EQ(left, 7);
}

TEST_F(ShellDeleteTest, CountingALargeTreeReportsAndCanBeCancelled) {
  for (int i = 0; i < 600; ++i) File("out/file" + std::to_string(i));
  int countingReports = 0;
  TShellDelete remover([&](size_t done, size_t total) {
    if (total == 0 && done == 0) ++countingReports;
    return total != 0;  // cancel while the tree is still being counted
  });
  EXPECT_EQ(remover.Delete(Path("out")), TDeleteResult::drCancelled);
  EXPECT_EQ(countingReports, 1);
  EXPECT_TRUE(FileExists(Path("out/file0")));
  EXPECT_TRUE(FileExists(Path("out/file599")));
}

TEST_F(ShellDeleteTest, AMissingFolderIsAFailure) {
  EXPECT_EQ(TShellDelete(nullptr).Delete(Path("nothing-here")), TDeleteResult::drFailed);
  EXPECT_EQ(TShellDelete(nullptr).Delete(""), TDeleteResult::drFailed);
}

}  // namespace
}  // namespace vq
