#pragma once

// Cards written through the kernel's own vfat driver: FAT32 images used by
// commands that run in user-mode Linux (scripts/on-fat-card.sh, given as
// VQ_ON_FAT_CARD), and listings that compare trees on cards and in folders:
// each folder's entries in the order the file system lists them, and each
// file's size and checksum. A listing is taken by the same command on a
// card and in a folder.
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef VQ_ON_FAT_CARD
#error "VQ_ON_FAT_CARD names scripts/on-fat-card.sh"
#endif

namespace vq::test {

// The exit status of on-fat-card.sh when the power was cut while the
// command ran, and when the card or the kernel could not be set up.
constexpr int kPowerCutStatus = 99;
constexpr int kCardUnusableStatus = 125;

// One command: the program and its arguments.
using TCommand = std::vector<std::string>;

// `text` as one word of a POSIX shell.
inline std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// `command` as a line of a POSIX shell.
inline std::string ShellLine(const TCommand& command) {
  std::string line;
  for (const std::string& word : command) line += (line.empty() ? "" : " ") + ShellQuote(word);
  return line;
}

// A whole file; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A tree as the file system lists it.
struct TTreeListing {
  // Each folder's entries in the order readdir gives them, folders ending
  // in '/'; by folder: "" for the root, else its path ending in '/'.
  std::map<std::string, std::vector<std::string>> Folders;
  // Each file's size and MD5 sum ("SIZE SUM"), by path.
  std::map<std::string, std::string> Files;
};

// The command that writes the listing of the tree under `root` into the
// files `file`.list and `file`.sums. GNU find walks each folder in readdir
// order (it sorts only folders of over 10,000 entries, by inode); names are
// kept byte for byte, so names that FAT would take for one stay two.
inline TCommand ListingCommand(const std::string& root, const std::string& file) {
  const std::string script =
      "cd \"$1\" && find . -mindepth 1 -printf '%y %s %P\\0' >\"$2.list\" && "
      "find . -type f -print0 | xargs -0r md5sum -z >\"$2.sums\"";
  return {"sh", "-c", script, "sh", root, file};
}

// The listing that ListingCommand wrote into `file`. Throws
// std::runtime_error when it is missing.
inline TTreeListing ReadListing(const std::string& file) {
  if (!std::filesystem::exists(file + ".list") || !std::filesystem::exists(file + ".sums")) {
    throw std::runtime_error("no listing at " + file);
  }
  const auto records = [](const std::string& bytes) {
    std::vector<std::string> list;
    for (size_t at = 0, end; (end = bytes.find('\0', at)) != std::string::npos; at = end + 1) {
      list.push_back(bytes.substr(at, end - at));
    }
    return list;
  };
  std::map<std::string, std::string> sums;
  for (const std::string& record : records(ReadBytes(file + ".sums"))) {
    const size_t gap = record.find("  ./");  // md5sum's "SUM  FILE"
    if (gap != std::string::npos) sums[record.substr(gap + 4)] = record.substr(0, gap);
  }
  TTreeListing listing;
  listing.Folders[""];
  for (const std::string& record : records(ReadBytes(file + ".list"))) {  // "TYPE SIZE PATH"
    const size_t gap = record.find(' ', 2);
    const std::string path = record.substr(gap + 1);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const bool isFolder = record[0] == 'd';
    listing.Folders[folder].push_back(path.substr(folder.size()) + (isFolder ? "/" : ""));
    if (isFolder) listing.Folders[path + "/"];
    if (!isFolder) listing.Files[path] = record.substr(2, gap - 2) + " " + (sums.count(path) ? sums[path] : "(no sum)");
  }
  return listing;
}

// The first entry or file whose presence or bytes differ between two
// listings, the order of the folders aside; "" where none does.
inline std::string ContentDifference(const TTreeListing& got, const TTreeListing& wanted) {
  const auto sorted = [](const TTreeListing& listing) {
    std::map<std::string, std::vector<std::string>> folders = listing.Folders;
    for (auto& [folder, names] : folders) std::sort(names.begin(), names.end());
    return folders;
  };
  const auto a = sorted(got), b = sorted(wanted);
  for (const auto* folders : {&a, &b}) {
    for (const auto& [folder, names] : *folders) {
      const auto& x = a.count(folder) ? a.at(folder) : std::vector<std::string>{};
      const auto& y = b.count(folder) ? b.at(folder) : std::vector<std::string>{};
      const auto [i, j] = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
      if (i != x.end() || j != y.end()) {
        return "entries of \"" + folder + "\": \"" + (i == x.end() ? "(end)" : *i) + "\" where \"" +
               (j == y.end() ? "(end)" : *j) + "\" is wanted";
      }
    }
  }
  for (const auto& [path, sum] : wanted.Files) {
    // The record holds the times the files got on each card: only its presence counts.
    if (path.ends_with("vqsd-manifest.txt")) continue;
    if (got.Files.count(path) && got.Files.at(path) != sum) return "bytes of \"" + path + "\"";
  }
  return "";
}

// The first folder whose entries are listed in another order, and where
// the lists part; "" where every folder of `wanted` is listed alike.
inline std::string OrderDifference(const TTreeListing& got, const TTreeListing& wanted) {
  for (const auto& [folder, names] : wanted.Folders) {
    const auto& list = got.Folders.count(folder) ? got.Folders.at(folder) : std::vector<std::string>{};
    const auto [x, y] = std::mismatch(list.begin(), list.end(), names.begin(), names.end());
    if (x == list.end() && y == names.end()) continue;
    return "\"" + folder + "\", entry " + std::to_string(x - list.begin() + 1) + ": \"" +
           (x == list.end() ? "(end)" : *x) + "\" where \"" + (y == names.end() ? "(end)" : *y) + "\" is wanted";
  }
  return "";
}

// What one command of a run did.
struct TStepResult {
  int Status = -1;         // exit status; -1 when it never ended (the power was cut)
  std::string Output;      // its standard output and error
  long Milliseconds = -1;  // how long it ran
};

// A shell script, written at `script`, that runs `commands` one after the
// other and keeps beside itself the output, exit status and time of each.
class TStepScript {
 public:
  TStepScript(std::string script, const std::vector<TCommand>& commands)
      : script_(std::move(script)), count_(commands.size()) {
    std::ofstream out(script_);
    out << "step() {\n"
           "  n=$1; shift; t=$(date +%s%N)\n"
           "  \"$@\" </dev/null >\"$0.$n.out\" 2>&1; s=$?\n"
           "  echo \"$s $(( ($(date +%s%N) - t) / 1000000 ))\" >\"$0.$n.status\"\n"
           "}\n";
    for (size_t i = 0; i < commands.size(); ++i) out << "step " << i << " " << ShellLine(commands[i]) << "\n";
    if (!out) throw std::runtime_error("cannot write " + script_);
  }
  // The command that runs the script.
  TCommand Command() const { return {"sh", script_}; }
  // What each command did.
  std::vector<TStepResult> Results() const {
    std::vector<TStepResult> results(count_);
    for (size_t i = 0; i < count_; ++i) {
      const std::string base = script_ + "." + std::to_string(i);
      std::istringstream(ReadBytes(base + ".status")) >> results[i].Status >> results[i].Milliseconds;
      results[i].Output = ReadBytes(base + ".out");
    }
    return results;
  }

 private:
  std::string script_;
  size_t count_;
};

// What a run on cards did.
struct TCardRun {
  int Status = -1;                 // on-fat-card.sh's: 0, kPowerCutStatus, ...
  std::string Output;              // its messages
  std::vector<TStepResult> Steps;  // what each command did
};

// The commands of a run, each under a name that finds what it did.
class TRunPlan {
 public:
  // Adds `command` as the next one, named `name`.
  void Add(const std::string& name, TCommand command) {
    index_[name] = commands_.size();
    commands_.push_back(std::move(command));
  }
  const std::vector<TCommand>& Commands() const { return commands_; }
  // What the command `name` did in `run`. Throws std::out_of_range for a
  // name never added.
  const TStepResult& Of(const TCardRun& run, const std::string& name) const { return run.Steps.at(index_.at(name)); }

 private:
  std::vector<TCommand> commands_;
  std::map<std::string, size_t> index_;
};

// How a run on cards goes: the power is cut `CutAfterMs` after the commands
// start, or as soon as the shell test `CutWhen` holds; the kernel writes out
// what is `WritebackMs` old (its own default when negative).
struct TRunOptions {
  long CutAfterMs = -1;
  std::string CutWhen;
  int WritebackMs = -1;
};

// The shell test that holds once `sectors` sectors have been written to the
// first card of a run; it starts no program, so it can be polled often.
inline std::string SectorsWrittenReach(long sectors) {
  return "read -r _ _ _ _ _ _ sectors _ </sys/block/ubda/stat && [ \"$sectors\" -ge " + std::to_string(sectors) + " ]";
}

// The command that writes into `file` the sectors written to card `card`
// of a run (0: the first) since it was mounted.
inline TCommand SectorsWrittenCommand(const std::string& file, int card = 0) {
  const std::string disk = "/sys/block/ubd" + std::string(1, static_cast<char>('a' + card)) + "/stat";
  return {"sh", "-c", "read -r _ _ _ _ _ _ sectors _ <" + disk + " && echo \"$sectors\" >\"$1\"", "sh", file};
}

class TVfatCard;
TCardRun RunOnCards(const std::vector<TVfatCard*>& cards, const std::vector<TCommand>& commands,
                    const TRunOptions& options = {});

// A FAT32 image, `folder` + name + ".img", that commands reach at Path()
// through the kernel's vfat driver in user-mode Linux, one boot a run.
// TVfatCard::Unavailable() tells whether that can be done here.
class TVfatCard {
 public:
  // A new card of `megabytes`; `folder` ends in '/'. Throws
  // std::runtime_error when it cannot be made.
  TVfatCard(const std::string& folder, const std::string& name, int megabytes) : folder_(folder), name_(name) {
    const TCommand make = {VQ_ON_FAT_CARD, "--mkfs", std::to_string(megabytes), Image()};
    if (std::system((ShellLine(make) + " >/dev/null").c_str()) != 0) throw std::runtime_error("cannot make " + Image());
  }
  // A card that holds what `other` holds now: a copy of its image.
  TVfatCard(const TVfatCard& other, const std::string& name) : folder_(other.folder_), name_(name) {
    std::filesystem::copy_file(other.Image(), Image(), std::filesystem::copy_options::overwrite_existing);
  }
  TVfatCard(const TVfatCard&) = delete;
  TVfatCard& operator=(const TVfatCard&) = delete;

  // The image file.
  std::string Image() const { return folder_ + name_ + ".img"; }
  // Where the commands of a run see the card, ending in '/'.
  std::string Path() const { return folder_ + name_ + "/"; }

  // Runs `commands` on this card alone (see RunOnCards).
  TCardRun Run(const std::vector<TCommand>& commands, const TRunOptions& options = {}) {
    return RunOnCards({this}, commands, options);
  }

  // fsck.fat -a on the image until it finds the file system clean, eight
  // passes at most, as a user repairs a card after a power cut: the last
  // pass's exit status (0 clean) and every pass's report. (A pass of
  // dosfstools 4.2 leaves the long-name entries of the folders it deletes,
  // which a later pass removes.)
  std::pair<int, std::string> Repair() const {
    const std::string log = folder_ + name_ + ".fsck";
    const std::string command =
        "PATH=$PATH:/usr/sbin:/sbin fsck.fat -a " + ShellQuote(Image()) + " >" + ShellQuote(log) + " 2>&1";
    std::pair<int, std::string> result{-1, ""};
    for (int pass = 0; pass < 8 && result.first != 0; ++pass) {
      const int status = std::system(command.c_str());
      result = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, result.second + ReadBytes(log)};
    }
    return result;
  }

  // Why cards cannot be used here; "" when they can.
  static std::string Unavailable() {
#if defined(__SANITIZE_ADDRESS__)
    return "a program built with AddressSanitizer finds no room for its shadow memory in user-mode Linux";
#else
    const std::unique_ptr<FILE, int (*)(FILE*)> check(popen(VQ_ON_FAT_CARD " --check 2>&1", "r"), pclose);
    if (!check) return "cannot run " VQ_ON_FAT_CARD;
    std::string reason;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, check.get())) reason += buffer;
    return reason;
#endif
  }

 private:
  friend TCardRun RunOnCards(const std::vector<TVfatCard*>&, const std::vector<TCommand>&, const TRunOptions&);

  std::string folder_;
  std::string name_;
  int runs_ = 0;  // runs so far, that name their files
};

// Runs `commands` one after the other in one boot, with every card of
// `cards` mounted at its Path(); the cards are unmounted after them, unless
// the power is cut first. The run's files lie beside the first card's image.
inline TCardRun RunOnCards(const std::vector<TVfatCard*>& cards, const std::vector<TCommand>& commands,
                           const TRunOptions& options) {
  TVfatCard& first = *cards.front();
  const std::string base = first.folder_ + first.name_ + ".run" + std::to_string(++first.runs_);
  const TStepScript steps(base + ".sh", commands);
  TCommand line = {VQ_ON_FAT_CARD, "--timeout", "400"};
  if (options.CutAfterMs >= 0) line.insert(line.end(), {"--cut-after-ms", std::to_string(options.CutAfterMs)});
  if (!options.CutWhen.empty()) line.insert(line.end(), {"--cut-when", options.CutWhen});
  if (options.WritebackMs >= 0) line.insert(line.end(), {"--writeback-ms", std::to_string(options.WritebackMs)});
  for (const TVfatCard* card : cards) line.insert(line.end(), {card->Image(), card->Path()});
  line.emplace_back("--");
  const TCommand run = steps.Command();
  line.insert(line.end(), run.begin(), run.end());
  TCardRun result;
  const int status = std::system((ShellLine(line) + " >" + ShellQuote(base + ".log") + " 2>&1").c_str());
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Output = ReadBytes(base + ".log");
  result.Steps = steps.Results();
  return result;
}

}  // namespace vq::test
