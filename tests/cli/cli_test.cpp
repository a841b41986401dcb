// The command-line front end: option parsing, profiles, output folder and
// exit statuses of whole runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/ini_file.h"
#include "cli/cli_options.h"
#include "cli/job_runner.h"
#include "cli/progress_printer.h"
#include "engine/job_check.h"
#include "tools/zip_writer.h"
#include "temp_folder.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

struct Parsed {
  std::optional<int> exit;
  TCommandLine command;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vqsd");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  Parsed p;
  std::ostringstream out, err;
  p.exit = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), p.command, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

using TempDir = test::TempFolder;

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(CliOptions, DefaultsAndFlagMapping) {
  Parsed p = Parse({"--source", " /src ", "--dest", "/dst"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_EQ(CheckJob(p.command.Options).Options.SourceDir, "/src/");  // trimmed by the check
  EXPECT_EQ(p.command.Options.FileNameStyle, fns1541U);
  EXPECT_EQ(p.command.Options.NFOStyle, nsOptimize);
  EXPECT_FALSE(p.command.Options.IncludeSIDs || p.command.Options.FilterIDs || p.command.Options.AutoSwap || p.command.Options.ExtractT64 ||
               p.command.Options.ForceUppercase || p.command.Options.TestMode || p.command.Replace);

  p = Parse({"--source", "/s", "--dest", "/d", "--hvsc", "/h", "--filter", "/f.xml", "--style", "SD2IEC", "--nfo",
             "raw", "--autoswap", "--t64", "--uppercase", "--test", "--replace"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_TRUE(p.command.Options.IncludeSIDs);  // --hvsc turns SIDs on
  EXPECT_EQ(p.command.Options.HvscDir, "/h");
  EXPECT_TRUE(p.command.Options.FilterIDs);    // --filter turns the filter on
  EXPECT_EQ(p.command.Options.FilterFile, "/f.xml");
  EXPECT_EQ(p.command.Options.FileNameStyle, fnsSD2IEC);
  EXPECT_EQ(p.command.Options.NFOStyle, nsNoOptimize);
  EXPECT_TRUE(p.command.Options.AutoSwap && p.command.Options.ExtractT64 && p.command.Options.ForceUppercase && p.command.Options.TestMode &&
              p.command.Replace);
  EXPECT_EQ(Parse({"--source", "/s", "--dest", "/d", "--style", "none", "--nfo", "exclude"}).command.Options.NFOStyle,
            nsExclude);
}

TEST(CliOptions, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Parse({"--source", "/s", "--dest", "/d", "--style", "c128"}).exit, kExitUsage);
  EXPECT_EQ(Parse({"--bogus"}).exit, kExitUsage);
  EXPECT_EQ(Parse({"--source", "/s", "--dest", "/d", "--profile", "/no/such.vqsini"}).exit, kExitUsage);
  const Parsed help = Parse({"--help"});
  EXPECT_EQ(help.exit, kExitFinished);
  EXPECT_NE(help.out.find("--replace"), std::string::npos);
}

TEST(CliOptions, ProfileGivesTheTwelveOptionsAndFlagsOverrideIt) {
  TempDir tmp;
  Write(tmp.Path() + "p.vqsini",
        "[FormState]\r\nLeft=5\r\n\r\n[]\r\nSourceDir=/from/profile  \r\nDestDir=/dest/profile\r\nFilenamestyle=0x1\r\n"
        "NFOStyle=5\r\nSIDs=2\r\nHVSCDir=/hvsc\r\nFilterFile=/f.xml\r\nFilter=yes\r\nAutoswap=1\r\nExtractT64=0\r\n"
        "Force1541UppercaseNames=1\r\nTestMode=1\r\n\r\n");
  Parsed p = Parse({"--profile", tmp.Path() + "p.vqsini"});
  ASSERT_FALSE(p.exit.has_value()) << p.err;
  EXPECT_EQ(p.command.Options.SourceDir, "/from/profile");
  EXPECT_EQ(p.command.Options.FileNameStyle, fnsSD2IEC);
  EXPECT_EQ(p.command.Options.NFOStyle, nsExclude);
  EXPECT_TRUE(p.command.Options.IncludeSIDs);
  EXPECT_FALSE(p.command.Options.FilterIDs);  // "yes" is not a number: the default
  EXPECT_TRUE(p.command.Options.AutoSwap);
  EXPECT_FALSE(p.command.Options.ExtractT64);
  EXPECT_TRUE(p.command.Options.TestMode);

  p = Parse({"--profile", tmp.Path() + "p.vqsini", "--source", "/cli", "--style", "none", "--t64"});
  EXPECT_EQ(p.command.Options.SourceDir, "/cli");
  EXPECT_EQ(p.command.Options.DestDir, "/dest/profile");
  EXPECT_EQ(p.command.Options.FileNameStyle, fnsNone);
  EXPECT_TRUE(p.command.Options.ExtractT64);

  // An out-of-range style selects "None".
  EXPECT_EQ(Parse({"--profile", (Write(tmp.Path() + "q.vqsini", "[]\r\nFilenamestyle=7\r\nSourceDir=/s\r\nDestDir=/d\r\n"),
                                 tmp.Path() + "q.vqsini")})
                .command.Options.FileNameStyle,
            fnsNone);
}

TEST(CliOptions, OutputFolderNamePerStyle) {
  EXPECT_EQ(OutputFolderName(fns1541U), "VONDRAL SD");
  EXPECT_EQ(OutputFolderName(fnsSD2IEC), "vondral sd");
  EXPECT_EQ(OutputFolderName(fnsNone), "Vondral SD");
}

TEST(ProgressPrinter, PlainLinesThrottledPerPhaseAndFinalLineLast) {
  std::ostringstream out;
  TProgressPrinter printer(out, false);
  printer.Update("Scanning zip files.");
  printer.Update("Scanning zip files. (1 so far.)\r\na.zip");
  printer.Update("Scanning zip files. (2 so far.)\r\nb.zip");  // same phase, too soon: skipped
  printer.Update("Sorting...");
  printer.Finish("Done. 2 archives scanned");
  EXPECT_EQ(out.str(), "Scanning zip files.\nScanning zip files. (1 so far.) | a.zip\nSorting...\nDone. 2 archives scanned\n");
}

TEST(ProgressPrinter, InteractiveLineIsRewrittenAndClipped) {
  std::ostringstream out;
  TProgressPrinter printer(out, true, 20);
  printer.Update("Extracting archives (1/9)\r\nlong-name.zip");
  printer.Finish("Done.");
  EXPECT_EQ(out.str(), "\r\033[KExtracting archives\r\033[KDone.\n");
}

class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(tmp_.Path() + "games/a.zip", "");
    tools::WriteZipFile(tmp_.Path() + "games/a.zip",
                        {{"VERSION.NFO", "Name: Archon\r\nUnique-ID: 7\r\n", true}, {"archon.d64", "disk", true}});
    command_.Options.SourceDir = tmp_.Path() + "games";
    command_.Options.DestDir = tmp_.Path() + "sd";
  }
  int Run() {
    std::ostringstream out, err;
    const int code = RunJob(command_, out, err, false, 80, abort_);
    out_ = out.str();
    err_ = err.str();
    return code;
  }
  std::string LastLine() const {
    std::string s = out_;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s.substr(s.find_last_of('\n') + 1);
  }
  TempDir tmp_;
  TCommandLine command_;
  std::atomic<bool> abort_{false};
  std::string out_, err_;
};

TEST_F(CliRun, FinishedRunPrintsSummaryLastAndBuildsTheStyledOutputFolder) {
  command_.Options.FileNameStyle = fnsSD2IEC;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  EXPECT_EQ(LastLine(), "Done. 1 archives scanned, 0 invalid, 0 excluded by filter. 1 games extracted.");
  EXPECT_TRUE(fs::exists(tmp_.Path() + "sd/vondral sd/archon/archon.d64"));
  EXPECT_TRUE(fs::exists(tmp_.Path() + "sd/vondral sd/gamelist.csv"));
}

TEST_F(CliRun, ExistingOutputNeedsReplaceAndReplaceNeverFollowsLinks) {
  Write(tmp_.Path() + "sd/VONDRAL SD/old.txt", "old");
  Write(tmp_.Path() + "keep/precious.txt", "keep me");
  fs::create_directory_symlink(tmp_.Path() + "keep", tmp_.Path() + "sd/VONDRAL SD/link");
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("--replace"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp_.Path() + "sd/VONDRAL SD/old.txt"));

  command_.Replace = true;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  EXPECT_FALSE(fs::exists(tmp_.Path() + "sd/VONDRAL SD/old.txt"));
  EXPECT_EQ(std::ifstream(tmp_.Path() + "keep/precious.txt").rdbuf()->in_avail() > 0, true);
}

TEST_F(CliRun, MissingFoldersAndFailuresGiveTheirStatuses) {
  command_.Options.SourceDir = tmp_.Path() + "nowhere";
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("Please specify a valid source directory."), std::string::npos);

  command_.Options.SourceDir = tmp_.Path() + "games";
  command_.Options.IncludeSIDs = true;
  command_.Options.HvscDir = tmp_.Path() + "no-hvsc";
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("Please specify a valid HVSC root directory, or disable the Include SIDs option."),
            std::string::npos);

  command_.Options.IncludeSIDs = false;
  command_.Options.FilterIDs = true;
  command_.Options.FilterFile = tmp_.Path() + "missing.xml";
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("Fatal error loading RomList. " + tmp_.Path() + "missing.xml does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists(tmp_.Path() + "sd"));  // nothing written before the job could start

  command_.Options.FilterIDs = false;
  command_.Options.DestDir = " ";
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("Please specify Source and Destination folders."), std::string::npos);
}

TEST_F(CliRun, OutputAndSourceMayNotLieInsideOneAnother) {
  // The output folder inside the source: --replace would delete it with
  // the collection's files, and the job would write into the collection.
  command_.Options.SourceDir = tmp_.Path() + "nest/VONDRAL SD/games";
  Write(command_.Options.SourceDir + "/keep.zip", "zip bytes");
  command_.Options.DestDir = tmp_.Path() + "nest";
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("must not lie inside one another"), std::string::npos);
  EXPECT_TRUE(fs::exists(command_.Options.SourceDir + "/keep.zip"));

  command_.Options.SourceDir = tmp_.Path() + "games";
  command_.Options.DestDir = tmp_.Path() + "games/sub";  // the output would land in the source
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_FALSE(fs::exists(tmp_.Path() + "games/sub"));
}

TEST_F(CliRun, AFileNamedLikeTheOutputFolderIsNeverDeleted) {
  Write(tmp_.Path() + "sd/VONDRAL SD", "a file, not a folder");
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_EQ(std::ifstream(tmp_.Path() + "sd/VONDRAL SD").get(), 'a');
}

TEST(ProgressPrinter, ClippingNeverSplitsACharacter) {
  std::ostringstream out;
  TProgressPrinter printer(out, true, 21);
  printer.Update("Extracting (1/9) \xC3\xA9\xC3\xA9\xC3\xA9");  // 20 bytes end inside the second letter
  EXPECT_EQ(out.str(), "\r\033[KExtracting (1/9) \xC3\xA9");
}

TEST_F(CliRun, AbortRequestGivesExitStatus130) {
  abort_ = true;
  EXPECT_EQ(Run(), kExitAborted);
  EXPECT_EQ(LastLine().rfind("Aborted.", 0), 0u) << LastLine();
}

}  // namespace
}  // namespace vq
