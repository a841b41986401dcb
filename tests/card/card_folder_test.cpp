#include "card/card_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "base/file_system.h"
#include "temp_folder.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

// An output folder "card/" beside an "outside/" folder that holds a file no
// call may touch, and links inside the card that point out of it. Each case
// runs with the kernel's confinement and with the part-by-part walk.
class CardFolderTest : public ::testing::TestWithParam<TCardFolder::TResolve> {
 protected:
  void SetUp() override {
    fs::create_directories(card_ + "A/Game");
    fs::create_directories(outside_);
    Put(outside_ + "secret.txt", "secret");
    Put(card_ + "A/Game/X.D64", "disk");
    fs::create_directory_symlink(outside_, card_ + "L");
    fs::create_symlink(outside_ + "secret.txt", card_ + "A/link.txt");
  }
  static void Put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  static std::string Get(const std::string& path) { return ReadWholeFileAsString(path); }
  // The error's text, or "" when `call` did not throw.
  template <typename Call>
  static std::string ErrorOf(Call call) {
    try {
      call();
    } catch (const Error& e) {
      return e.what();
    }
    return {};
  }

  test::TempFolder tmp_{"vq_card"};
  const std::string card_ = tmp_.Path() + "card/";
  const std::string outside_ = tmp_.Path() + "outside/";
};

TEST_P(CardFolderTest, NoPathLeadsOutOfTheFolder) {
  const TCardFolder card(card_, GetParam());
  const struct {
    const char* name;
    std::function<void()> call;
  } cases[] = {
      {"parent part", [&] { card.CreateFile("../outside/new.txt"); }},
      {"absolute path", [&] { card.CreateFile("/tmp/new.txt"); }},
      {"dot part", [&] { card.MakeFolder("A/./B"); }},
      {"through a link", [&] { card.CreateFile("L/new.txt"); }},
      {"folders through a link", [&] { card.MakeFolders("L/sub/"); }},
      {"list through a link", [&] { card.List("L/"); }},
      {"read a link", [&] { card.ReadFile("A/link.txt", 100); }},
      {"rename into a link", [&] { card.Rename("A/Game/X.D64", "L/X.D64"); }},
      {"stat through a link", [&] { card.Stat("L/secret.txt"); }},
      {"remove through a link", [&] { card.Remove("L/secret.txt"); }},
  };
  for (const auto& c : cases) {
    EXPECT_NE(ErrorOf(c.call), "") << c.name;
  }
  EXPECT_EQ(Get(outside_ + "secret.txt"), "secret");
  EXPECT_EQ(fs::directory_iterator(outside_)->path().filename(), "secret.txt");
  EXPECT_TRUE(fs::exists(card_ + "A/Game/X.D64"));
}

TEST_P(CardFolderTest, LinksAreEntriesNeverFollowed) {
  const TCardFolder card(card_, GetParam());
  EXPECT_EQ(card.Stat("L").Kind, TCardKind::ckLink);
  EXPECT_EQ(card.Stat("A/link.txt").Kind, TCardKind::ckLink);
  EXPECT_EQ(card.Stat("A/Game/").Kind, TCardKind::ckFolder);
  EXPECT_EQ(card.Stat("A/none").Kind, TCardKind::ckMissing);
  EXPECT_EQ(card.Stat("B/none").Kind, TCardKind::ckMissing);
  // A file made where a link stands replaces the link, not its target.
  const auto file = card.CreateFile("A/link.txt");
  file->Write("new", 3);
  file->Commit();
  EXPECT_EQ(Get(card_ + "A/link.txt"), "new");
  EXPECT_EQ(Get(outside_ + "secret.txt"), "secret");
  EXPECT_EQ(file->Written().Size, 3u);
  // A tree goes with its links as links.
  fs::create_directory_symlink(outside_, card_ + "A/Game/inner");
  ASSERT_TRUE(card.RemoveTree("A/"));
  EXPECT_FALSE(fs::exists(card_ + "A"));
  EXPECT_EQ(Get(outside_ + "secret.txt"), "secret");
  // A folder needed where a link stands is refused, naming the place.
  EXPECT_NE(ErrorOf([&] { card.MakeFolders("L/"); }).find("symbolic link"), std::string::npos);
}

TEST_P(CardFolderTest, FilesAreWholeOrGoneAndRenamesNeverReplace) {
  const TCardFolder card(card_, GetParam());
  {
    const auto unfinished = card.CreateFile("A/half.bin");
    unfinished->Write("xx", 2);
  }
  EXPECT_FALSE(fs::exists(card_ + "A/half.bin"));
  EXPECT_EQ(card.MakeFolders("A/B/C/"), 2u);
  EXPECT_EQ(card.MakeFolders("A/B/C/"), 0u);
  Put(card_ + "A/one.txt", "1");
  Put(card_ + "A/two.txt", "2");
  EXPECT_NE(ErrorOf([&] { card.Rename("A/one.txt", "A/two.txt"); }), "");
  EXPECT_EQ(Get(card_ + "A/two.txt"), "2");
  card.ReplaceFile("A/one.txt", "A/two.txt");
  EXPECT_EQ(Get(card_ + "A/two.txt"), "1");
  EXPECT_EQ(card.ListNames("A/B/"), std::vector<std::string>{"C"});
  // Each listing reads the folder from its start, the output folder's too.
  const std::vector<std::string> top = card.ListNames("");
  EXPECT_EQ(top.size(), 2u);
  EXPECT_EQ(card.ListNames(""), top);
  // A folder renamed or removed is not reached again under its old path.
  card.CreateFile("A/B/C/x")->Commit();
  card.Rename("A/B/", "A/D/");
  card.MakeFolders("A/B/C/");
  card.CreateFile("A/B/C/y")->Commit();
  EXPECT_EQ(card.ListNames("A/D/C/"), std::vector<std::string>{"x"});
  EXPECT_EQ(card.ListNames("A/B/C/"), std::vector<std::string>{"y"});
  card.RemoveTree("A/B/");
  card.MakeFolders("A/B/C/");
  card.CreateFile("A/B/C/z")->Commit();
  EXPECT_EQ(card.ListNames("A/B/C/"), std::vector<std::string>{"z"});
}

INSTANTIATE_TEST_SUITE_P(Resolve, CardFolderTest,
                         ::testing::Values(TCardFolder::TResolve::rKernel, TCardFolder::TResolve::rWalk));

TEST(CardFolder, TheFolderItselfMayNotBeALink) {
  test::TempFolder tmp("vq_card_root");
  fs::create_directory(tmp.Path() + "real");
  fs::create_directory_symlink(tmp.Path() + "real", tmp.Path() + "link");
  EXPECT_THROW(TCardFolder(tmp.Path() + "link"), Error);
  EXPECT_NO_THROW(TCardFolder(tmp.Path() + "real"));
}

}  // namespace
}  // namespace vq
