#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "base/file_system.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "engine/job_options.h"

namespace vq {

namespace {

constexpr const char* kFolders = "Folders";
constexpr const char* kOutput = "Output";
constexpr const char* kOptions = "Options";
constexpr const char* kReporting = "Reporting";
constexpr const char* kOther = "Other";

// An on/off option: "--NAME" sets it, "--no-NAME" clears it; the two exclude
// each other. Unset, the profile's value (or the default) stays.
struct TSwitch {
  const char* name;
  const char* on;
  const char* off;
  const char* group;
  bool TJobOptions::*field;
};

const TSwitch kSwitches[] = {
    {"autoswap", "write AUTOSWAP.LST for games with several D64 images", "no AUTOSWAP.LST", kOutput,
     &TJobOptions::AutoSwap},
    {"t64", "convert T64 tape archives to PC64 (.P00) files", "leave T64 archives as they are", kOutput,
     &TJobOptions::ExtractT64},
    {"uppercase", "upper-case folder names in the 1541 Ultimate style", "folder names as the style gives them",
     kOutput, &TJobOptions::ForceUppercase},
    {"test", "test mode: compute everything, write only the game list", "write the whole tree", kOptions,
     &TJobOptions::TestMode},
    {"keep-going", "leave out a game whose extraction fails and go on (exit status 3)",
     "end the job at the first game that fails", kOptions, &TJobOptions::KeepGoing},
};

// A choice option whose help shows its choices as the placeholder.
CLI::Option* AddChoice(CLI::App& app, const char* name, std::string& value, const char* help,
                       std::initializer_list<std::string> choices) {
  std::string names;
  for (const std::string& choice : choices) names += (names.empty() ? "" : "|") + choice;
  return app.add_option(name, value, help)
      ->check(CLI::IsMember(std::vector<std::string>(choices), CLI::ignore_case).description(""))
      ->type_name(names)
      ->group(kOutput);
}

}  // namespace

std::string ProgramVersion() { return VQ_VERSION; }

std::optional<int> ParseCommandLine(int argc, const char* const* argv, TCommandLine& command, std::ostream& out,
                                    std::ostream& err) {
  CLI::App app{"Vondral64 Quillem SD: turns a collection of C64 game zips into an SD card tree.", "vqsd"};
  app.get_formatter()->column_width(34);
  std::string source, dest, hvsc, filter, style, nfo, profile, log, json;
  int jobs = 0;
  app.add_option("--source", source, "the collection's games folder (walked with its sub-folders)")
      ->type_name("DIR")
      ->group(kFolders);
  app.add_option("--dest", dest, "destination; the output folder is made inside it")
      ->type_name("DIR")
      ->group(kFolders);
  CLI::Option* hvscOption = app.add_option("--hvsc", hvsc, "root of the HVSC collection; copies the games' SID tunes")
                                ->type_name("DIR")
                                ->group(kFolders);
  CLI::Option* noHvsc = app.add_flag("--no-hvsc")->description("copy no SID tunes")->group(kFolders);
  CLI::Option* filterOption =
      app.add_option("--filter", filter, "RomLister XML export with game IDs; only listed games are processed")
          ->type_name("FILE")
          ->group(kFolders);
  CLI::Option* noFilter = app.add_flag("--no-filter")->description("process every game")->group(kFolders);

  AddChoice(app, "--style", style, "folder and file names for the 1541 Ultimate (default), sd2iec or neither",
            {"1541u", "sd2iec", "none"});
  AddChoice(app, "--nfo", nfo, "VERSION.NFO reformatted for 38 columns (default), copied as stored, or left out",
            {"optimize", "raw", "exclude"});
  // Pairs that exclude each other: the --no- forms and their options.
  std::vector<std::pair<CLI::Option*, CLI::Option*>> switches;
  for (const TSwitch& s : kSwitches) {
    CLI::Option* on = app.add_flag(std::string("--") + s.name)->description(s.on)->group(s.group);
    CLI::Option* off = app.add_flag(std::string("--no-") + s.name)->description(s.off)->group(s.group);
    switches.emplace_back(on, off);
  }
  CLI::Option* replaceOption =
      app.add_flag("--replace", command.Replace, "delete an existing output folder first")->group(kOptions);
  CLI::Option* updateOption =
      app.add_flag("--update")
          ->description("bring an existing output folder up to date in place, writing only what changed")
          ->group(kOptions);
  CLI::Option* verifyOption =
      app.add_flag("--verify", command.Verify)
          ->description("read every file of the output folder and compare it, and each folder's order, with the "
                        "record of the job that wrote it (exit status 1: it differs); writes nothing")
          ->group(kOptions);
  app.add_option("--jobs", jobs, "threads that read and inflate zips at once (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxJobs))
      ->group(kOptions);
  app.add_option("--profile", profile, "read the options from a settings profile; options given beside it win")
      ->type_name("FILE")
      ->group(kOptions);

  CLI::Option* quiet = app.add_flag("-q,--quiet", command.Quiet, "only errors and the final summary")
                           ->group(kReporting);
  CLI::Option* verbose =
      app.add_flag("-v,--verbose", command.Verbose, "every status as a plain line")->group(kReporting);
  app.add_option("--log", log, "write every message and each refused zip with its reason to FILE")
      ->type_name("FILE")
      ->group(kReporting);
  app.add_option("--json", json, "write a machine-readable report to FILE, or to standard output with -")
      ->type_name("FILE|-")
      ->group(kReporting);
  app.set_version_flag("--version", "vqsd " + ProgramVersion(), "show the version and exit")->group(kOther);
  app.set_help_flag("-h,--help", "show this help and exit")->group(kOther);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitFinished;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return kExitFinished;
  } catch (const CLI::ParseError& e) {
    err << "vqsd: " << e.what() << "\n" << "Run 'vqsd --help' for the options.\n";
    return kExitUsage;
  }

  std::vector<std::pair<CLI::Option*, CLI::Option*>> conflicts = switches;
  conflicts.insert(conflicts.end(),
                   {{hvscOption, noHvsc}, {filterOption, noFilter}, {quiet, verbose}, {replaceOption, updateOption},
                    {verifyOption, replaceOption}, {verifyOption, updateOption}, {verifyOption, switches[3].first}});
  for (const auto& [a, b] : conflicts) {
    if (a->count() && b->count()) {
      err << "vqsd: " << a->get_name() << " and " << b->get_name() << " exclude each other\n"
          << "Run 'vqsd --help' for the options.\n";
      return kExitUsage;
    }
  }

  TJobOptions result;
  if (app.count("--profile")) {
    if (!FileExists(profile) && !DirectoryExists(profile)) {
      err << "vqsd: profile " << ClipText(profile) << " does not exist\n";
      return kExitUsage;
    }
    const TIniFile store(profile);
    // A job never starts from settings that could not be read.
    if (!store.LoadError().empty()) {
      err << "vqsd: cannot read the profile: " << store.LoadError() << "\n";
      return kExitUsage;
    }
    result = ReadJobOptions(store);
  }
  if (app.count("--source")) result.SourceDir = source;
  if (app.count("--dest")) result.DestDir = dest;
  if (hvscOption->count()) {
    result.HvscDir = hvsc;
    result.IncludeSIDs = true;
  }
  if (noHvsc->count()) result.IncludeSIDs = false;
  if (filterOption->count()) {
    result.FilterFile = filter;
    result.FilterIDs = true;
  }
  if (noFilter->count()) result.FilterIDs = false;
  if (app.count("--style")) {
    const std::string v = AsciiLower(style);
    result.FileNameStyle = v == "1541u" ? fns1541U : v == "sd2iec" ? fnsSD2IEC : fnsNone;
  }
  if (app.count("--nfo")) {
    const std::string v = AsciiLower(nfo);
    result.NFOStyle = v == "optimize" ? nsOptimize : v == "raw" ? nsNoOptimize : nsExclude;
  }
  for (size_t i = 0; i < switches.size(); ++i) {
    if (switches[i].first->count()) result.*kSwitches[i].field = true;
    if (switches[i].second->count()) result.*kSwitches[i].field = false;
  }
  if (app.count("--jobs")) result.Jobs = jobs;
  result.Update = updateOption->count() > 0;
  command.Options = result;
  command.LogFile = log;
  command.JsonFile = json;
  return std::nullopt;
}

}  // namespace vq
