#include "engine/job_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"
#include "engine/manifest.h"
#include "filter/rom_list.h"

namespace vq {

namespace {

TJobOptions Trimmed(TJobOptions options) {
  for (std::string* text : {&options.SourceDir, &options.DestDir, &options.HvscDir, &options.FilterFile}) {
    *text = Trim(*text);
  }
  return options;
}

// "" when `path` can be opened for reading, else why not.
std::string UnreadableCause(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return ClipText(path) + " does not exist";
  try {
    OpenForReading(path);
    return {};
  } catch (const Error& e) {
    return e.what();
  }
}

// True when something that is no folder, not even a link to one, stands at `path`.
bool IsNonFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// True when `path` is a folder or a link of any kind.
bool IsFolderOrLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode));
}

void AddProblem(TJobCheck& check, TJobProblemKind kind, std::string message, std::string path) {
  check.Problems.push_back({kind, std::move(message), std::move(path)});
}

// The source and HVSC folders and the filter file.
void CheckInputs(TJobCheck& check) {
  TJobOptions& o = check.Options;
  if (!DirectoryExists(o.SourceDir)) {
    AddProblem(check, TJobProblemKind::jpNoSource, "Please specify a valid source directory.", o.SourceDir);
  }
  if (o.IncludeSIDs) {
    if (!DirectoryExists(o.HvscDir)) {
      AddProblem(check, TJobProblemKind::jpNoHvsc,
                 "Please specify a valid HVSC root directory, or disable the Include SIDs option.", o.HvscDir);
    } else {
      o.HvscDir = IncludeTrailingDelimiter(o.HvscDir);
    }
  }
  if (o.FilterIDs) {
    if (const std::string cause = UnreadableCause(o.FilterFile); !cause.empty()) {
      AddProblem(check, TJobProblemKind::jpNoFilter, "Fatal error loading RomList. " + cause, o.FilterFile);
    }
  }
}

// The destination and the output folder.
void CheckOutput(TJobCheck& check) {
  const std::string& dest = check.Options.DestDir;
  if (IsNonFolder(dest)) {
    AddProblem(check, TJobProblemKind::jpDestination,
               "Cannot write to \"" + ClipText(dest) + "\": " + std::strerror(ENOTDIR), dest);
  }
  // The source is never written: deleting or filling an output folder that
  // holds it, is it, or lies inside it would change the collection.
  if (PathsOverlap(check.Options.SourceDir, check.OutputFolder)) {
    AddProblem(check, TJobProblemKind::jpOverlap,
               "The output folder and the source folder must not lie inside one another. Please choose another "
               "destination folder.",
               check.OutputFolder);
  }
  if (IsFolderOrLink(check.OutputFolder) && check.Options.Update) {
    // An update needs the record of what the folder holds, made with the
    // same options.
    std::string cause;
    std::string record;
    try {
      const TCardFolder card(check.OutputFolder);
      record = FindManifest(card);
      if (record.empty()) {
        cause = std::string("it has no record of what it holds (") + kManifestName + ")";
      } else if (std::shared_ptr<const TManifest> read = ReadManifest(card, record);
                 read->Fingerprint != OptionsFingerprint(check.Options)) {
        cause = "it was written with other options";
      } else {
        check.Record = std::move(read);
      }
    } catch (const Error& e) {
      cause = (record.empty() ? std::string() : std::string("its record is unreadable: ")) + e.what();
    }
    if (!cause.empty()) {
      AddProblem(check, TJobProblemKind::jpCannotUpdate,
                 "Cannot update \"" + ClipText(check.OutputFolder) + "\": " + cause + ".", check.OutputFolder);
    }
  } else if (IsFolderOrLink(check.OutputFolder)) {
    AddProblem(check, TJobProblemKind::jpOutputExists,
               "Output folder already exists. ALL CONTENTS OF THE OUTPUT FOLDER WILL BE DELETED IF YOU CONTINUE. "
               "PROCEED?\r(\"" + ClipText(check.OutputFolder) + "\")",
               check.OutputFolder);
  }
}

}  // namespace

bool TJobCheck::OnlyOutputExists() const {
  return Problems.size() == 1 && Problems.front().Kind == TJobProblemKind::jpOutputExists;
}

TJobCheck CheckJob(const TJobOptions& options) {
  TJobCheck check;
  check.Options = Trimmed(options);
  if (check.Options.SourceDir.empty() || check.Options.DestDir.empty()) {
    check.Problems.push_back({TJobProblemKind::jpNoFolders, "Please specify Source and Destination folders.", {}});
    return check;
  }
  check.Options.SourceDir = IncludeTrailingDelimiter(check.Options.SourceDir);
  check.OutputFolder = OutputFolder(check.Options);
  CheckInputs(check);
  CheckOutput(check);
  // Only a job that may start gets its destination made and probed.
  if (check.Problems.empty() || check.OnlyOutputExists()) {
    const std::string cause =
        IsNonFolder(check.Options.DestDir) ? std::strerror(ENOTDIR) : FolderWriteProblem(check.Options.DestDir);
    if (!cause.empty()) {
      // Ahead of an existing output folder: there is nothing to ask then.
      check.Problems.insert(check.Problems.begin(),
                            {TJobProblemKind::jpDestination,
                             "Cannot write to \"" + ClipText(check.Options.DestDir) + "\": " + cause,
                             check.Options.DestDir});
    }
  }
  return check;
}

std::string CheckFilterFile(const std::string& fileName) {
  try {
    const TRomList list(fileName);
    if (list.IDCount() == 0) return "No game IDs found in file. Did you export with Game IDs?";
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace vq
