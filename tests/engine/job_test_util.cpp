#include "job_test_util.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/file_system.h"
#include "tools/zip_writer.h"

namespace vq::test {

namespace fs = std::filesystem;

JobResult RunJob(const TestJob& o) {
  JobResult result;
  if (o.CreateDest) ForceDirectories(o.Output());
  TWorkThread job(o);
  job.SetOnProgressUpdate([&](const std::string& status) {
    result.Statuses.push_back(status);
    if (o.OnStatus) o.OnStatus(status, job);
  });
  job.SetOnTerminate([&](TThread&) { result.TerminateNoticeRan = true; });
  job.Start();
  job.WaitFor();
  result.Final = result.Statuses.empty() ? std::string() : result.Statuses.back();
  result.Outcome = job.Outcome();
  result.Archives = job.Archives();
  result.InvalidZips = job.InvalidZips();
  static_cast<TJobCounts&>(result) = job.Counts();
  return result;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Nfo(const std::string& title, int id, const std::string& sid) {
  std::string text = "Name:         " + title + "\r\nPublished:    1986 Test Soft\r\n";
  if (id >= 0) text += "Unique-ID:    " + std::to_string(id) + "\r\n";
  if (!sid.empty()) text += "SID:          " + sid + ".sid\r\n";
  text += "=========================\r\n";
  return text;
}

void WriteGameZip(const std::string& path, const std::string& nfo,
                  const std::vector<std::pair<std::string, std::string>>& members) {
  fs::create_directories(fs::path(path).parent_path());
  std::vector<tools::TZipWriterEntry> entries;
  entries.push_back({"VERSION.NFO", nfo, true});
  for (const auto& [name, data] : members) entries.push_back({name, data, true});
  tools::WriteZipFile(path, entries);
}

// A T64 archive of PRG files (name, load address, data) laid out by hand.
std::string TapeArchive(const std::vector<std::tuple<std::string, uint16_t, std::string>>& files) {
  const size_t slots = files.size();
  std::string t(64 + 32 * slots, '\0');
  const std::string sig = "C64S tape image file";
  t.replace(0, sig.size(), sig);
  t[34] = static_cast<char>(slots);
  t[36] = static_cast<char>(slots);
  t.replace(40, 5, "TAPE ");
  for (size_t i = 0; i < slots; ++i) {
    const auto& [name, load, data] = files[i];
    const size_t offset = t.size();
    t += data;
    char* slot = &t[64 + 32 * i];
    slot[0] = 1;
    slot[1] = static_cast<char>(0x82);
    slot[2] = static_cast<char>(load & 0xFF);
    slot[3] = static_cast<char>(load >> 8);
    for (int b = 0; b < 4; ++b) slot[8 + b] = static_cast<char>((offset >> (8 * b)) & 0xFF);
    std::string padded = name;
    padded.resize(16, ' ');
    std::copy(padded.begin(), padded.end(), slot + 16);
  }
  return t;
}

void WriteHostileCollection(const std::string& root) {
  const std::string g = root + "games/";
  WriteGameZip(g + "1.zip", Nfo("Colons", 1),
               {{"q?w.d64", "1"}, {"x:y.d64", "2"}, {"Commando:_1.D64", "3"}, {"CON.d64", "4"}, {"a\r\nb.d64", "5"}});
  WriteGameZip(g + "2.zip", Nfo("Collide", 2),
               {{"GAME.D64", "1"}, {"disk/GAME.D64", "2"}, {"../x.d64", "3"}, {"/etc/x.d64", "4"}, {"a.d64", "5"},
                {"A.D64", "6"}});
  // Titles equal ignoring case: one name on FAT. (Names beyond ASCII are
  // left to the tests on the kernel's vfat driver: fusefat cannot write them.)
  WriteGameZip(g + "3.zip", Nfo("Twins", 3), {{"t.crt", "c"}});
  WriteGameZip(g + "4.zip", Nfo("TWINS", 4), {{"t.crt", "c"}});
  tools::WriteZipFile(g + "5.zip", {{"./VERSION.NFO", Nfo("Tar Made", 5), true}, {"./tar.d64", "t", true}});
  WriteGameZip(g + "6.zip", Nfo("Tapes", 6),
               {{"Game.t64", TapeArchive({{"ONE", 0x801, "a"}})}, {"sub/Game.T64", TapeArchive({{"TWO", 0x801, "b"}})}});
  WriteGameZip(g + "7.zip", Nfo("Tune", 7, "/MUSICIANS/X/Odd?Tune"), {{"t.d64", "t"}});
  WriteFile(root + "hvsc/MUSICIANS/X/Odd?Tune.sid", "PSID");
}

std::map<std::string, std::string> TreeFingerprint(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      out[rel + "/"] = "dir";
      continue;
    }
    // The record holds the times the files got on this disk: its presence counts.
    if (entry.path().filename() == "vqsd-manifest.txt") {
      out[rel] = "record";
      continue;
    }
    const std::string data = ReadFile(entry.path().string());
    out[rel] = std::to_string(data.size()) + ":" + std::to_string(std::hash<std::string>{}(data));
  }
  return out;
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> out;
  if (!fs::exists(root)) return out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) rel += "/";
    out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vq::test
