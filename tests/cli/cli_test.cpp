// The command-line front end: option parsing, profiles, progress, the JSON
// report, output folder and exit statuses of whole runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "base/file_system.h"
#include "base/ini_file.h"
#include "cli/cli_options.h"
#include "cli/job_report.h"
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
  argv.reserve(args.size());
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
  // An option and its --no- form, or --quiet and --verbose, exclude each other.
  for (const char* pair : {"--t64 --no-t64", "--hvsc /h --no-hvsc", "--no-filter --filter /f", "-q -v"}) {
    std::vector<std::string> args{"--source", "/s", "--dest", "/d"};
    for (std::istringstream words(pair); words >> args.emplace_back();) {
    }
    args.pop_back();
    const Parsed p = Parse(args);
    EXPECT_EQ(p.exit, kExitUsage) << pair;
    EXPECT_NE(p.err.find("exclude each other"), std::string::npos) << pair;
  }
}

TEST(CliOptions, HelpShowsGroupsPlaceholdersAndChoicesAndVersionTheProjectVersion) {
  const Parsed help = Parse({"--help"});
  EXPECT_EQ(help.exit, kExitFinished);
  // Each group heading comes before its options, in this order.
  size_t at = 0;
  for (const char* text : {"Folders:", "--source DIR", "--dest DIR", "--hvsc DIR", "--no-hvsc", "--filter FILE",
                           "--no-filter", "Output:", "--style 1541u|sd2iec|none", "--nfo optimize|raw|exclude",
                           "--no-autoswap", "--no-t64", "--no-uppercase", "Options:", "--no-test", "--replace",
                           "--profile FILE", "Reporting:", "-q,--quiet", "-v,--verbose", "--log FILE",
                           "--json FILE|-", "Other:", "--version", "--help"}) {
    const size_t found = help.out.find(text, at);
    ASSERT_NE(found, std::string::npos) << text << "\n" << help.out;
    at = found;
  }
  const Parsed version = Parse({"--version"});
  EXPECT_EQ(version.exit, kExitFinished);
  EXPECT_EQ(version.out, "vqsd " + ProgramVersion() + "\n");
  EXPECT_EQ(ProgramVersion(), "1.0.0.0");
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

  // Every --no- form switches off what the profile turned on.
  Write(tmp.Path() + "all.vqsini", "[]\r\nSIDs=1\r\nHVSCDir=/h\r\nFilter=1\r\nFilterFile=/f.xml\r\nAutoswap=1\r\n"
                                   "ExtractT64=1\r\nForce1541UppercaseNames=1\r\nTestMode=1\r\n");
  const std::pair<const char*, bool TJobOptions::*> noForms[] = {
      {"--no-hvsc", &TJobOptions::IncludeSIDs},        {"--no-filter", &TJobOptions::FilterIDs},
      {"--no-autoswap", &TJobOptions::AutoSwap},       {"--no-t64", &TJobOptions::ExtractT64},
      {"--no-uppercase", &TJobOptions::ForceUppercase}, {"--no-test", &TJobOptions::TestMode}};
  for (const auto& [flag, field] : noForms) {
    p = Parse({"--profile", tmp.Path() + "all.vqsini", flag});
    ASSERT_FALSE(p.exit.has_value()) << flag << p.err;
    EXPECT_FALSE(p.command.Options.*field) << flag;
    for (const auto& [other, otherField] : noForms) {
      if (otherField == field) continue;
      EXPECT_TRUE(p.command.Options.*otherField) << flag << " changed " << other;
    }
  }
  EXPECT_EQ(Parse({"--profile", tmp.Path() + "all.vqsini", "--no-hvsc"}).command.Options.HvscDir, "/h");

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

// A clock the test moves by hand.
struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  TClock Clock() {
    return [this] { return now; };
  }
  void Advance(int ms) { now += std::chrono::milliseconds(ms); }
};

TEST(ProgressStatus, PhaseAndCountsAreReadFromTheJobsTexts) {
  struct Case {
    const char* status;
    const char* phase;
    int64_t done, total;
  };
  const Case cases[] = {
      {"Scanning zip files.", "Scanning", -1, -1},
      {"Scanning zip files. (123 so far.)\r\n/games/a.zip", "Scanning", 123, -1},
      {"Extracting archives...", "Extracting", -1, -1},
      {"Extracting archives (5/600)\r\na.zip\r\n(Archon (1983))", "Extracting", 5, 600},
      {"Adjusting folder names.\r\nTitle (5/6)", "Adjusting", -1, -1},
      {"Sorting...", "Sorting", -1, -1},
      {"ERROR: filter RomList contains no Game IDs.", "ERROR", -1, -1},
  };
  for (const Case& c : cases) {
    const TProgressStatus s = ParseStatus(c.status);
    EXPECT_EQ(s.Phase, c.phase) << c.status;
    EXPECT_EQ(s.Done, c.done) << c.status;
    EXPECT_EQ(s.Total, c.total) << c.status;
  }
}

TEST(ProgressStatus, BarLineShowsPhaseBarCountsPercentRateAndTimeLeft) {
  struct Case {
    const char* status;
    double seconds;
    int64_t doneAtStart;
    int width;
    const char* line;
  };
  const Case cases[] = {
      {"Extracting archives (150/600)\r\na.zip", 10, 50, 80,
       "Extracting [######--------------------]  150/600   25%  10.0 games/s  0:45 left"},
      {"Extracting archives (150/600)", 0, 0, 80, "Extracting [#######-----------------------]  150/600   25%  -- games/s"},
      // A narrow terminal narrows the bar, then drops it, then cuts the line.
      {"Extracting archives (150/600)", 10, 50, 60,
       "Extracting [#-----]  150/600   25%  10.0 games/s  0:45 left"},
      {"Extracting archives (150/600)", 10, 50, 48, "Extracting  150/600   25%  10.0 games/s  0:45 l"},
      {"Extracting archives (3600/40000)", 3.6, 0, 90,
       "Extracting [##----------------------------]  3600/40000    9%  1000.0 games/s  0:36 left"},
      {"Extracting archives (1/40000)", 100, 0, 80,
       "Extracting [---------------------]  1/40000    0%  0.0 games/s  1111:05:00 left"},
      {"Extracting archives (1/7200)", 1, 0, 80,
       "Extracting [-------------------------]  1/7200    0%  1.0 games/s  1:59:59 left"},
      // The scan knows no total: count and rate only.
      {"Scanning zip files. (1234 so far.)\r\n/games/x.zip", 2, 0, 80, "Scanning  1234 so far  617.0 zips/s"},
      {"Sorting...", 1, 0, 80, "Sorting..."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TProgressPrinter::BarLine(ParseStatus(c.status), c.seconds, c.doneAtStart, c.width), c.line)
        << c.status << " width " << c.width;
  }
}

TEST(ProgressPrinter, EachModeShowsWhatIsDueByTheInjectedClock) {
  // Each step: milliseconds since the last, then the status.
  const std::pair<int, const char*> steps[] = {
      {0, "Scanning zip files."},        {40, "Scanning zip files. (10 so far.)\r\na.zip"},
      {70, "Scanning zip files. (20 so far.)\r\nb.zip"}, {500, "Sorting..."},
      {500, "Extracting archives (1/4)\r\na.zip"},       {50, "Extracting archives (2/4)\r\nb.zip"},
  };
  struct Case {
    TProgressMode mode;
    const char* expected;
  };
  const Case cases[] = {
      {TProgressMode::Quiet, ""},
      {TProgressMode::Bar,
       "\r\033[KScanning zip files.\r\033[KScanning  20 so far  181.8 zips/s\r\033[KSorting..."
       "\r\033[KExtracting [#####------------------]  1/4   25%  -- games/s\r\033[K"},
      {TProgressMode::Plain, "Scanning zip files.\nExtracting archives (1/4) | a.zip\n"},
      {TProgressMode::Verbose,
       "Scanning zip files.\nScanning zip files. (10 so far.) | a.zip\nScanning zip files. (20 so far.) | b.zip\n"
       "Sorting...\nExtracting archives (1/4) | a.zip\nExtracting archives (2/4) | b.zip\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    FakeClock clock;
    TProgressPrinter printer(out, c.mode, 60, clock.Clock());
    for (const auto& [ms, status] : steps) {
      clock.Advance(ms);
      printer.Update(status);
    }
    printer.Finish("Done.");
    EXPECT_EQ(out.str(), c.expected) << static_cast<int>(c.mode);
  }
  // A plain summary already written as the last line is not written twice.
  std::ostringstream out;
  FakeClock clock;
  TProgressPrinter printer(out, TProgressMode::Verbose, 60, clock.Clock());
  printer.Update("Done.\r\nall");
  EXPECT_TRUE(printer.Finish("Done.\r\nall"));
  EXPECT_FALSE(printer.Finish("Aborted."));
}

TEST(ProgressPrinter, ClippingNeverSplitsACharacter) {
  std::ostringstream out;
  FakeClock clock;
  TProgressPrinter printer(out, TProgressMode::Bar, 21, clock.Clock());
  // 20 bytes end inside the fifth letter.
  printer.Update("Loading \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(out.str(), "\r\033[KLoading \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
}

TEST(JsonWriter, StringsAreEscapedAndNestingIsIndented) {
  const std::pair<std::string, std::string> strings[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\r\nnext\ttab", "\"line\\r\\nnext\\ttab\""},
      {std::string("nul\0bell\x07" "del\x7F", 13), "\"nul\\u0000bell\\u0007del\\u007f\""},
      {"\xC3\xA9t\xC3\xA9", "\"\xC3\xA9t\xC3\xA9\""},
      {"bad\xFF" "byte", "\"bad\xEF\xBF\xBD" "byte\""},  // invalid UTF-8 becomes U+FFFD
  };
  for (const auto& [in, quoted] : strings) EXPECT_EQ(TJsonWriter::Quote(in), quoted);

  TJsonWriter w;
  w.BeginObject();
  w.Key("n");
  w.Number(int64_t{-3});
  w.Key("list");
  w.BeginArray();
  w.Bool(true);
  w.Number(1.5);
  w.EndArray();
  w.Key("empty");
  w.BeginObject();
  w.EndObject();
  w.EndObject();
  EXPECT_EQ(w.Text(), "{\n  \"n\": -3,\n  \"list\": [\n    true,\n    1.500\n  ],\n  \"empty\": {}\n}");
}

// Reads JSON text just enough to check it: well-formed, and the keys of the
// top-level object with the text of each value.
class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}
  // The top-level object's keys and raw values; throws on malformed text.
  std::map<std::string, std::string> TopLevel() {
    std::map<std::string, std::string> keys;
    Space();
    Expect('{');
    for (bool first = true; Space(), s_[i_] != '}'; first = false) {
      if (!first) Expect(',');
      Space();
      const std::string key = ReadString();
      Space();
      Expect(':');
      Space();
      const size_t from = i_;
      Value();
      keys[key] = s_.substr(from, i_ - from);
    }
    Expect('}');
    Space();
    if (i_ != s_.size()) throw std::runtime_error("text after the object");
    return keys;
  }

 private:
  void Space() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  void Expect(char c) {
    if (i_ >= s_.size() || s_[i_] != c) throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(i_));
    ++i_;
  }
  std::string ReadString() {
    Expect('"');
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      if (static_cast<unsigned char>(s_[i_]) < 0x20) throw std::runtime_error("raw control character");
      if (s_[i_] == '\\') ++i_;
      out += s_[i_++];
    }
    Expect('"');
    return out;
  }
  void Value() {
    Space();
    const char c = i_ < s_.size() ? s_[i_] : '\0';
    if (c == '"') {
      ReadString();
    } else if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      for (bool first = true; Space(), s_[i_] != close; first = false) {
        if (!first) Expect(',');
        if (c == '{') {
          Space();
          ReadString();
          Space();
          Expect(':');
        }
        Value();
      }
      ++i_;
    } else {
      const size_t from = i_;
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-' || s_[i_] == '.')) ++i_;
      const std::string word = s_.substr(from, i_ - from);
      if (word.empty() || !(word == "true" || word == "false" || word == "null" || std::isdigit(static_cast<unsigned char>(word.back())))) {
        throw std::runtime_error("bad value at " + std::to_string(from));
      }
    }
  }
  const std::string& s_;
  size_t i_ = 0;
};

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
    const int code = RunJob(command_, TConsole{out, err, false, 80, clock_.Clock()}, abort_);
    out_ = out.str();
    err_ = err.str();
    return code;
  }
  // The line `back` lines before the last of standard output (0: the last).
  std::string Line(int back) const {
    std::string s = out_;
    for (int i = 0; i <= back; ++i) {
      if (!s.empty() && s.back() == '\n') s.pop_back();
      if (i < back) s.erase(s.find_last_of('\n') + 1);
    }
    return s.substr(s.find_last_of('\n') + 1);
  }
  std::string LastLine() const { return Line(1); }  // the summary, before the elapsed time
  FakeClock clock_;
  TempDir tmp_;
  TCommandLine command_;
  std::atomic<bool> abort_{false};
  std::string out_, err_;
};

TEST_F(CliRun, FinishedRunPrintsSummaryLastAndBuildsTheStyledOutputFolder) {
  command_.Options.FileNameStyle = fnsSD2IEC;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  EXPECT_EQ(LastLine(), "Done. 1 archives scanned, 0 invalid, 0 excluded by filter. 1 games extracted.");
  EXPECT_EQ(Line(0), "Elapsed 0.0 s; output folder: " + tmp_.Path() + "sd/vondral sd");
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

  // A destination that cannot be written is found before the scan.
  command_.Options.DestDir = "/proc/self";
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_NE(err_.find("Cannot write to \"/proc/self\": "), std::string::npos) << err_;
}

TEST_F(CliRun, KeepGoingFinishesWithStatusThreeWhenAGameFailed) {
  // A zip whose disk image is damaged: the scan accepts it, extraction fails.
  tools::WriteZipFile(tmp_.Path() + "games/b.zip",
                      {{"bad.d64", std::string(500, 'x'), false}, {"VERSION.NFO", "Name: Broken\r\n", true}});
  std::string bytes = ReadWholeFileAsString(tmp_.Path() + "games/b.zip");
  bytes[30 + 7 + 5] ^= 0x55;
  Write(tmp_.Path() + "games/b.zip", bytes);
  command_.Options.KeepGoing = true;
  EXPECT_EQ(Run(), kExitGamesFailed) << err_;
  EXPECT_NE(LastLine().find(" 1 games failed."), std::string::npos) << LastLine();
  command_.Options.KeepGoing = false;
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitFailed);
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

TEST_F(CliRun, AFilterWithoutGameIdsFailsAndLeavesNoOutputFolder) {
  Write(tmp_.Path() + "none.xml", "<datafile><game name=\"Nothing\"/></datafile>");
  command_.Options.FilterIDs = true;
  command_.Options.FilterFile = tmp_.Path() + "none.xml";
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_EQ(LastLine().rfind("ERROR: filter RomList contains no Game IDs.", 0), 0u) << out_;
  EXPECT_FALSE(fs::exists(tmp_.Path() + "sd/VONDRAL SD"));
  // With --replace the old folder is deleted, and the empty new one goes too.
  fs::create_directories(tmp_.Path() + "sd/VONDRAL SD/old");
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitFailed);
  EXPECT_FALSE(fs::exists(tmp_.Path() + "sd/VONDRAL SD"));
}

TEST_F(CliRun, JsonReportAndLogTellTheWholeRun) {
  tools::WriteZipFile(tmp_.Path() + "games/broken.zip", {{"archon.d64", "disk", true}});
  tools::WriteZipFile(tmp_.Path() + "games/q.zip", {{"VERSION.NFO", "Name: \"Quote\" \\ Tab\tEnd\r\nUnique-ID: 9\r\n", true},
                                                    {"q.d64", "disk", true},
                                                    {"notes.xyz", "?", true}});
  command_.JsonFile = tmp_.Path() + "report.json";
  command_.LogFile = tmp_.Path() + "run.log";
  command_.Options.ExtractT64 = true;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  const std::string json = ReadWholeFileAsString(command_.JsonFile);
  std::map<std::string, std::string> keys;
  ASSERT_NO_THROW(keys = JsonReader(json).TopLevel()) << json;
  const std::pair<const char*, std::string> expected[] = {
      {"program", "\"vqsd\""},
      {"version", "\"1.0.0.0\""},
      {"outcome", "\"finished\""},
      {"exit_status", "0"},
      {"elapsed_seconds", "0.000"},
      {"output_folder", "\"" + tmp_.Path() + "sd/VONDRAL SD\""},
      {"unknown_extensions", "[\n    \".XYZ\"\n  ]"},
      {"problems", "[]"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(keys[key], value) << key;
  for (const char* key : {"options", "counts", "summary", "invalid_zips", "games_with_errors"}) {
    EXPECT_TRUE(keys.count(key)) << key;
  }
  for (const char* text : {"\"t64\": true", "\"style\": \"1541u\"", "\"zip_files_scanned\": 3",
                           "\"games_extracted\": 2", "\"invalid_zips\": 1", "broken.zip\",\n      \"reason\": \"",
                           "\"title\": \"\\\"Quote\\\" \\\\ Tab\\tEnd\"", "\"unique_id\": 9",
                           "\"error\": \"Unexpected files ignored.\""}) {
    EXPECT_NE(json.find(text), std::string::npos) << text << "\n" << json;
  }
  const std::string log = ReadWholeFileAsString(command_.LogFile);
  for (const char* text : {"Scanning zip files.\n", "Refused zip: ", "broken.zip: VERSION.NFO",
                           "\nDone. 3 archives scanned, 1 invalid", "\nElapsed 0.0 s; output folder: "}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }

  // To standard output the report stands alone; progress and summary go to standard error.
  command_.JsonFile = "-";
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  EXPECT_NO_THROW(JsonReader(out_).TopLevel()) << out_;
  EXPECT_NE(err_.find("\nDone. 3 archives scanned"), std::string::npos) << err_;

  // A refused run still reports, with its problems and exit status.
  command_.Replace = false;
  EXPECT_EQ(Run(), kExitUsage);
  keys = JsonReader(out_).TopLevel();
  EXPECT_EQ(keys["outcome"], "\"failed\"");
  EXPECT_EQ(keys["exit_status"], "2");
  EXPECT_NE(keys["problems"].find("Output folder already exists"), std::string::npos);
  // A report that cannot be created stops the run before anything is written.
  command_.JsonFile = tmp_.Path() + "no/such/folder/r.json";
  command_.Replace = true;
  EXPECT_EQ(Run(), kExitUsage);
  EXPECT_TRUE(fs::exists(tmp_.Path() + "sd/VONDRAL SD/GameList.csv"));
}

TEST_F(CliRun, QuietShowsOnlyTheSummary) {
  command_.Quiet = true;
  EXPECT_EQ(Run(), kExitFinished) << err_;
  EXPECT_EQ(out_.find("Scanning"), std::string::npos);
  EXPECT_EQ(out_.substr(0, out_.find('\n')), "Done. 1 archives scanned, 0 invalid, 0 excluded by filter. 1 games extracted.");
}

TEST_F(CliRun, AbortRequestGivesExitStatus130) {
  abort_ = true;
  EXPECT_EQ(Run(), kExitAborted);
  EXPECT_EQ(LastLine().rfind("Aborted.", 0), 0u) << LastLine();
}

}  // namespace
}  // namespace vq
