#include "cli/job_report.h"

#include <cstdio>

#include "base/text.h"
#include "engine/card_verify.h"
#include "engine/work_thread.h"

namespace vq {

namespace {

const char* StyleName(TFileNameStyle style) {
  switch (style) {
    case fns1541U: return "1541u";
    case fnsSD2IEC: return "sd2iec";
    default: return "none";
  }
}

const char* NfoName(TNFOStyle style) {
  switch (style) {
    case nsOptimize: return "optimize";
    case nsNoOptimize: return "raw";
    default: return "exclude";
  }
}

void WriteOptions(TJsonWriter& w, const TCommandLine& command) {
  const TJobOptions& o = command.Options;
  w.Key("options");
  w.BeginObject();
  const std::pair<const char*, const std::string*> texts[] = {
      {"source", &o.SourceDir}, {"dest", &o.DestDir}, {"hvsc", &o.HvscDir}, {"filter_file", &o.FilterFile}};
  for (const auto& [key, value] : texts) {
    w.Key(key);
    w.String(*value);
  }
  w.Key("style");
  w.String(StyleName(o.FileNameStyle));
  w.Key("nfo");
  w.String(NfoName(o.NFOStyle));
  const std::pair<const char*, bool> flags[] = {
      {"sids", o.IncludeSIDs}, {"filter", o.FilterIDs},         {"autoswap", o.AutoSwap},
      {"t64", o.ExtractT64},   {"uppercase", o.ForceUppercase}, {"test", o.TestMode},
      {"keep_going", o.KeepGoing}, {"replace", command.Replace}, {"update", o.Update}, {"verify", command.Verify}};
  for (const auto& [key, value] : flags) {
    w.Key(key);
    w.Bool(value);
  }
  w.EndObject();
}

void WriteCounts(TJsonWriter& w, const TJobCounts& c) {
  w.Key("counts");
  w.BeginObject();
  const std::pair<const char*, int32_t> counts[] = {
      {"folders_scanned", c.FLoadedDirectories},
      {"zip_files_scanned", c.FScannedArchives},
      {"games_found", c.FLoadedArchives},
      {"invalid_zips", c.FIgnoredZipfiles},
      {"excluded_by_filter", c.FFilteredCount},
      {"games_extracted", c.FGameCount},
      {"sids_copied", c.FSIDCount},
      {"sids_not_found", c.FSIDErrors},
      {"tape_archives_converted", c.FExtractedTapeArchives},
      {"tape_files_written", c.FExtractedTapeFiles},
      {"tape_archives_not_converted", c.FTapeArchivesNotExtracted},
      {"games_failed", c.FFailedGames},
      {"unreadable_folders", c.FUnreadableFolders},
  };
  for (const auto& [key, value] : counts) {
    w.Key(key);
    w.Number(static_cast<int64_t>(value));
  }
  w.EndObject();
}

void WriteJobLists(TJsonWriter& w, const TWorkThread* job) {
  w.Key("invalid_zips");
  w.BeginArray();
  if (job) {
    for (const TInvalidZip& zip : job->InvalidZips()) {
      w.BeginObject();
      w.Key("path");
      w.String(zip.Path);
      w.Key("reason");
      w.String(zip.Reason);
      w.EndObject();
    }
  }
  w.EndArray();
  w.Key("games_with_errors");
  w.BeginArray();
  if (job) {
    for (const TArcInfo& game : job->Archives()) {
      const std::u16string error = Trim(game.ExtractionStatus);
      if (error.empty()) continue;
      w.BeginObject();
      w.Key("title");
      w.String(Utf16ToUtf8(game.Name));
      w.Key("path");
      w.String(Utf16ToUtf8(game.RealOutPath));
      w.Key("zip");
      w.String(game.ZipFile);
      w.Key("unique_id");
      w.Number(static_cast<int64_t>(game.UniqueID));
      w.Key("error");
      w.String(Utf16ToUtf8(error));
      w.EndObject();
    }
  }
  w.EndArray();
  w.Key("unknown_extensions");
  w.BeginArray();
  if (job) {
    for (const std::u16string& extension : job->UnknownExtensions()) w.String(Utf16ToUtf8(extension));
  }
  w.EndArray();
  // What an update kept: entries the job did not write, and files it wrote
  // that changed on the card, with where each one is now.
  w.Key("kept_entries");
  w.BeginArray();
  if (job) {
    for (const TKeptEntry& entry : job->KeptEntries()) {
      w.BeginObject();
      w.Key("path");
      w.String(entry.Path);
      w.Key("was");
      w.String(entry.From);
      w.Key("changed_on_card");
      w.Bool(entry.Changed);
      w.EndObject();
    }
  }
  w.EndArray();
}

void WriteVerifyFiles(TJsonWriter& w, const std::vector<TVerifyFile>& files) {
  w.BeginArray();
  for (const TVerifyFile& file : files) {
    w.BeginObject();
    w.Key("path");
    w.String(file.Path);
    w.Key("problem");
    w.String(file.Problem == TVerifyProblem::vpMissing ? "missing" : "changed");
    w.Key("detail");
    w.String(file.Detail);
    w.EndObject();
  }
  w.EndArray();
}

void WriteStrings(TJsonWriter& w, const char* key, const std::vector<std::string>& items) {
  w.Key(key);
  w.BeginArray();
  for (const std::string& item : items) w.String(item);
  w.EndArray();
}

// What a verify found: its counts, the games with missing or changed files,
// the game list, the entries the job did not write and the folders out of order.
void WriteVerify(TJsonWriter& w, const TVerifyReport& r) {
  w.Key("verify");
  w.BeginObject();
  w.Key("record");
  w.String(r.Record);
  const std::pair<const char*, int64_t> counts[] = {
      {"record_version", r.RecordVersion}, {"games", r.Games},     {"files", r.Files},
      {"files_read", r.FilesRead},         {"bytes_read", r.BytesRead}, {"missing", r.Missing},
      {"changed", r.Changed},              {"unchecked", r.Unchecked}};
  for (const auto& [key, value] : counts) {
    w.Key(key);
    w.Number(value);
  }
  w.Key("order_checked");
  w.Bool(r.OrderChecked);
  w.Key("clean");
  w.Bool(r.Clean());
  w.Key("games_with_problems");
  w.BeginArray();
  for (const TVerifyGame& game : r.GamesWithProblems) {
    w.BeginObject();
    w.Key("name");
    w.String(game.Name);
    w.Key("folder");
    w.String(game.Folder);
    w.Key("files");
    WriteVerifyFiles(w, game.Files);
    w.EndObject();
  }
  w.EndArray();
  w.Key("own_files");
  WriteVerifyFiles(w, r.OwnFiles);
  WriteStrings(w, "not_written", r.NotWritten);
  WriteStrings(w, "out_of_order", r.OutOfOrder);
  w.EndObject();
}

}  // namespace

std::string TJsonWriter::Quote(std::string_view value) {
  std::string out = "\"";
  out.reserve(value.size() + 2);
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      // Re-encoded: an invalid sequence becomes U+FFFD.
      char buffer[4];
      const char32_t cp = DecodeUtf8At(value, i);
      out.append(buffer, EncodeUtf8At(buffer, cp));
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void TJsonWriter::NewLine() {
  text_ += '\n';
  text_.append(2 * has_items_.size(), ' ');
}

void TJsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_items_.empty()) {
    if (has_items_.back()) text_ += ',';
    has_items_.back() = true;
    NewLine();
  }
}

void TJsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  has_items_.push_back(false);
}

void TJsonWriter::Close(char bracket) {
  const bool items = has_items_.back();
  has_items_.pop_back();
  if (items) NewLine();
  text_ += bracket;
}

void TJsonWriter::Key(std::string_view name) {
  BeforeValue();
  text_ += Quote(name) + ": ";
  after_key_ = true;
}

void TJsonWriter::String(std::string_view value) {
  BeforeValue();
  text_ += Quote(value);
}

void TJsonWriter::Number(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
}

void TJsonWriter::Number(double value) {
  BeforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  text_ += text;
}

void TJsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
}

std::string JobReportJson(const TJobReport& report) {
  TJsonWriter w;
  w.BeginObject();
  w.Key("program");
  w.String("vqsd");
  w.Key("version");
  w.String(ProgramVersion());
  if (report.Command) WriteOptions(w, *report.Command);
  w.Key("outcome");
  w.String(report.Outcome);
  w.Key("exit_status");
  w.Number(static_cast<int64_t>(report.ExitStatus));
  w.Key("summary");
  w.String(report.Summary);
  w.Key("elapsed_seconds");
  w.Number(report.ElapsedSeconds);
  w.Key("output_folder");
  w.String(report.OutputFolder);
  if (report.Verify) {
    WriteVerify(w, *report.Verify);
  } else {
    WriteCounts(w, report.Job ? report.Job->Counts() : TJobCounts{});
    WriteJobLists(w, report.Job);
  }
  w.Key("problems");
  w.BeginArray();
  for (const std::string& problem : report.Problems) w.String(problem);
  w.EndArray();
  w.EndObject();
  return w.Text() + "\n";
}

}  // namespace vq
