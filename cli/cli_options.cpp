#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "base/file_system.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "engine/job_options.h"

namespace vq {

std::optional<int> ParseCommandLine(int argc, const char* const* argv, TCommandLine& command, std::ostream& out,
                                    std::ostream& err) {
  CLI::App app{"Vondral64 Quillem SD: turns a collection of C64 game zips into an SD card tree.", "vqsd"};
  std::string source, dest, hvsc, filter, style, nfo, profile;
  bool autoswap = false, t64 = false, uppercase = false, test = false, replace = false;
  app.add_option("--source", source, "source folder (the collection's games folder)");
  app.add_option("--dest", dest, "destination folder; the output folder is made inside it");
  app.add_option("--hvsc", hvsc, "root folder of the HVSC collection; copies the games' SID tunes");
  app.add_option("--filter", filter, "RomLister XML export with game IDs; keeps only those games");
  app.add_option("--style", style, "folder and file names for: 1541u (default), sd2iec, none")
      ->check(CLI::IsMember({"1541u", "sd2iec", "none"}, CLI::ignore_case));
  app.add_option("--nfo", nfo, "VERSION.NFO: optimize (default), raw, exclude")
      ->check(CLI::IsMember({"optimize", "raw", "exclude"}, CLI::ignore_case));
  app.add_flag("--autoswap", autoswap, "write AUTOSWAP.LST for games with several D64 images");
  app.add_flag("--t64", t64, "convert T64 tape archives to PC64 (.P00) files");
  app.add_flag("--uppercase", uppercase, "upper-case folder names in the 1541 Ultimate style");
  app.add_flag("--test", test, "test mode: write only the game list");
  app.add_flag("--replace", replace, "delete an existing output folder first");
  app.add_option("--profile", profile, "read the options from a settings profile (.vqsini)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitFinished;
  } catch (const CLI::ParseError& e) {
    err << "vqsd: " << e.what() << "\n" << "Run 'vqsd --help' for the options.\n";
    return kExitUsage;
  }

  TJobOptions result;
  if (app.count("--profile")) {
    if (!FileExists(profile)) {
      err << "vqsd: profile " << profile << " does not exist\n";
      return kExitUsage;
    }
    result = ReadJobOptions(TIniFile(profile));
  }
  if (app.count("--source")) result.SourceDir = source;
  if (app.count("--dest")) result.DestDir = dest;
  if (app.count("--hvsc")) {
    result.HvscDir = hvsc;
    result.IncludeSIDs = true;
  }
  if (app.count("--filter")) {
    result.FilterFile = filter;
    result.FilterIDs = true;
  }
  if (app.count("--style")) {
    const std::string v = AsciiLower(style);
    result.FileNameStyle = v == "1541u" ? fns1541U : v == "sd2iec" ? fnsSD2IEC : fnsNone;
  }
  if (app.count("--nfo")) {
    const std::string v = AsciiLower(nfo);
    result.NFOStyle = v == "optimize" ? nsOptimize : v == "raw" ? nsNoOptimize : nsExclude;
  }
  if (app.count("--autoswap")) result.AutoSwap = true;
  if (app.count("--t64")) result.ExtractT64 = true;
  if (app.count("--uppercase")) result.ForceUppercase = true;
  if (app.count("--test")) result.TestMode = true;
  command.Options = result;
  command.Replace = app.count("--replace") > 0;
  return std::nullopt;
}

}  // namespace vq
