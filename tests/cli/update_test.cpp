// An output folder brought up to date in place holds the very bytes of a
// fresh run on the new collection, each folder listing its entries in the
// fresh run's order, also when the update was cut off and run again. The
// real program runs under the preload library that records its changes;
// the order of a folder is the order in which its live entries were last
// made, renamed into it or written.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "base/file_system.h"
#include "fat_image.h"
#include "temp_folder.h"
#include "tools/sample_revision.h"

extern char** environ;

namespace vq {
namespace {

namespace fs = std::filesystem;
using ByFolder = std::map<std::string, std::vector<std::string>>;  // entries by folder, folders end in '/'

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TSpawnActions {
 public:
  TSpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~TSpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

struct TRun {
  int Status = -1;                  // exit status; 128 + signal when killed
  std::string Output;               // standard output and error
  std::vector<std::string> Events;  // the changes below the destination, in order
};

// How a run ends early: the disk is full after `FullAfter` bytes, or the
// program is killed once it has made `KillAfter` changes (negative: never).
struct TCut {
  long long FullAfter = -1;
  long KillAfter = -1;
};

// Runs vqsd into `dest` with `args`. Its changes come through a pipe, so
// that the full disk never counts or refuses them.
TRun RunVqsd(const std::string& dest, std::vector<std::string> args, TCut cut = {}) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  FileHandle readEnd(fds[0]), writeEnd(fds[1]);
  // A small pipe keeps a program to be killed close behind its record.
  if (cut.KillAfter >= 0) fcntl(writeEnd.Get(), F_SETPIPE_SZ, 4096);
  std::vector<std::string> env = {"LD_PRELOAD=" VQ_CREATION_LOG_PRELOAD
                                  + std::string(cut.FullAfter >= 0 ? " " VQ_FULL_DISK_PRELOAD : ""),
                                  "VQ_CREATION_LOG=/dev/fd/9", "VQ_CREATION_ROOT=" + dest,
                                  "VQ_FULL_AFTER=" + std::to_string(cut.FullAfter),
                                  "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
  for (char** e = environ; *e; ++e) {
    if (!std::string_view(*e).starts_with("LD_PRELOAD=") && !std::string_view(*e).starts_with("ASAN_OPTIONS=")) {
      env.emplace_back(*e);
    }
  }
  args.insert(args.begin(), {VQ_VQSD, "--dest", dest, "-q"});
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string output = dest + ".output";
  TSpawnActions actions;
  posix_spawn_file_actions_addopen(actions.Get(), 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(actions.Get(), 1, 2);
  posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), 9);
  pid_t pid = 0;
  if (posix_spawn(&pid, VQ_VQSD, actions.Get(), nullptr, argv.data(), envp.data()) != 0) {
    throw std::runtime_error("cannot start " VQ_VQSD);
  }
  writeEnd = FileHandle();
  std::string log;
  char buffer[65536];
  for (ssize_t n; (n = read(readEnd.Get(), buffer, sizeof buffer)) > 0;) {
    log.append(buffer, static_cast<size_t>(n));
    if (cut.KillAfter >= 0 && std::count(log.begin(), log.end(), '\n') >= cut.KillAfter) {
      kill(pid, SIGKILL);
      cut.KillAfter = -1;
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  TRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Output = Read(output);
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(".vqsd-probe-") == std::string::npos) run.Events.push_back(line);  // the check's own probe
  }
  return run;
}

// Copies a tree with its files' times, as a card keeps them.
void CopyTree(const std::string& from, const std::string& to) {
  if (std::system(("cp -a '" + from + "' '" + to + "'").c_str()) != 0) throw std::runtime_error("cannot copy " + from);
}

// The entries the events leave in each folder, in the order they were last
// made or renamed into it. A rename moves everything below its source.
ByFolder FinalOrder(const std::vector<std::string>& events) {
  std::map<std::string, std::pair<long, bool>> alive;  // path: last creation, folder
  long clock = 0;
  auto erase = [&](const std::string& path) {
    alive.erase(path);
    alive.erase(alive.lower_bound(path + "/"), alive.lower_bound(path + "0"));  // '0' follows '/'
  };
  for (const std::string& event : events) {
    const std::string what = event.substr(0, event.find(' '));
    const std::string path = event.substr(what.size() + 1);
    if (what == "mkdir" || what == "create") alive[path] = {++clock, what == "mkdir"};
    if (what == "unlink" || what == "rmdir") erase(path);
    if (what != "rename") continue;
    const std::string from = path.substr(0, path.find(" -> ")), to = path.substr(path.find(" -> ") + 4);
    std::map<std::string, std::pair<long, bool>> moved;
    for (auto it = alive.lower_bound(from + "/"); it != alive.end() && it->first.starts_with(from + "/"); ++it) {
      moved[to + it->first.substr(from.size())] = it->second;
    }
    const bool folder = alive.count(from) && alive[from].second;
    erase(from);
    erase(to);
    alive.merge(moved);
    alive[to] = {++clock, folder};
  }
  std::map<std::string, std::vector<std::pair<long, std::string>>> stamped;
  for (const auto& [path, entry] : alive) {
    const size_t slash = path.rfind('/');
    stamped[slash == std::string::npos ? "" : path.substr(0, slash)].emplace_back(
        entry.first, path.substr(slash + 1) + (entry.second ? "/" : ""));
  }
  ByFolder order;
  for (auto& [folder, entries] : stamped) {
    std::sort(entries.begin(), entries.end());
    for (const auto& [stamp, name] : entries) order[folder].push_back(name);
  }
  return order;
}

// Every folder under `root` with its entries in readdir order, never sorted.
ByFolder Listings(const std::string& root) {
  ByFolder listings;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(entry.path(), root).string();
    const std::string parent = fs::path(path).parent_path().string();
    listings[parent].push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  return listings;
}

// Sorted, for a comparison of content alone.
ByFolder Sorted(ByFolder folders) {
  for (auto& [folder, names] : folders) std::sort(names.begin(), names.end());
  return folders;
}

// The first path whose entry or bytes differ between two trees; "" for none.
std::string TreeDifference(const std::string& a, const std::string& b) {
  const ByFolder left = Sorted(Listings(a)), right = Sorted(Listings(b));
  if (left != right) {
    const auto [x, y] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    return "entries of \"" + (x != left.end() ? x->first : y->first) + "\"";
  }
  for (const auto& [folder, names] : left) {
    for (const std::string& name : names) {
      const fs::path path = fs::path(folder) / name;
      // The record holds the times the files got: only its presence counts.
      if (name.ends_with('/') || name == "vqsd-manifest.txt") continue;
      if (Read(a / path) != Read(b / path)) return "bytes of \"" + path.string() + "\"";
    }
  }
  return "";
}

// Where the lists of a folder first part: "" where they never do.
std::string OrderDifference(const ByFolder& got, const ByFolder& wanted) {
  for (const auto& [folder, names] : wanted) {
    const std::vector<std::string> list = got.count(folder) ? got.at(folder) : std::vector<std::string>{};
    const auto [x, y] = std::mismatch(list.begin(), list.end(), names.begin(), names.end());
    if (x == list.end() && y == names.end()) continue;
    return "\"" + folder + "\", entry " + std::to_string(x - list.begin() + 1) + ": \"" +
           (x == list.end() ? "(end)" : *x) + "\" where a fresh run has \"" + (y == names.end() ? "(end)" : *y) + "\"";
  }
  return "";
}

// Created files of a run (those that keep their name) and their bytes.
std::pair<long, unsigned long long> Created(const TRun& run, const std::string& dest) {
  std::pair<long, unsigned long long> created{0, 0};
  for (const std::string& event : run.Events) {
    std::error_code error;
    const auto size = event.starts_with("create ") ? fs::file_size(dest + "/" + event.substr(7), error) : 0;
    if (event.starts_with("create ") && !error) created = {created.first + 1, created.second + size};
  }
  return created;
}

// The "Update:" figures of a summary: added, changed, moved, deleted, kept.
std::vector<int> UpdateCounts(const std::string& output) {
  std::vector<int> n(5, -1);
  const size_t at = output.find("Update: ");
  if (at != std::string::npos) {
    std::sscanf(output.c_str() + at, "Update: %d added, %d changed, %d moved, %d deleted, %d kept.", &n[0], &n[1],
                &n[2], &n[3], &n[4]);
  }
  return n;
}

constexpr const char* kOut = "/vondral sd";

class UpdateInPlace : public ::testing::Test {
 protected:
  // Two versions of a collection big enough that some letters split into
  // subfolders; the first version's folder, a fresh run of the second, and
  // the first brought up to date (in test mode first).
  static void SetUpTestSuite() {
    tmp_ = new test::TempFolder("update");
    tools::TSampleOptions sample;
    sample.Seed = 23;
    sample.GameCount = 2100;
    v1_ = new tools::TSampleCollection(tools::GenerateSampleCollection(tmp_->Path() + "v1", sample));
    tools::TRevisionOptions revision;
    revision.Crowded = 40;
    v2_ = new tools::TRevision(tools::ReviseSampleCollection(*v1_, tmp_->Path() + "v2", revision));
    base_ = new TRun(RunVqsd(Dest("base"), Args(v1_->GamesDir, {"--replace"})));
    fresh_ = new TRun(RunVqsd(Dest("fresh"), Args(v2_->Collection.GamesDir, {"--replace"})));
    CopyTree(Dest("base"), Dest("updated"));
    planned_ = new TRun(RunVqsd(Dest("updated"), Args(v2_->Collection.GamesDir, {"--update", "--test"})));
    updated_ = new TRun(RunVqsd(Dest("updated"), Args(v2_->Collection.GamesDir, {"--update"})));
  }
  static void TearDownTestSuite() {
    for (TRun* run : {base_, fresh_, planned_, updated_}) delete run;
    delete v2_;
    delete v1_;
    delete tmp_;
  }

  static std::string Dest(const std::string& name) { return tmp_->Path() + name; }
  // The job's arguments on `source`, one option after the shared ones.
  static std::vector<std::string> Args(const std::string& source, const std::vector<std::string>& more,
                                       const char* nfo = "optimize") {
    std::vector<std::string> args = {"--source", source, "--hvsc", v1_->HvscDir, "--style", "sd2iec", "--t64",
                                     "--autoswap", "--nfo", nfo, "--jobs", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // The update at `dest`, cut off or not, left the tree and order of the fresh run.
  static void ExpectFreshTree(const std::string& dest, const std::vector<std::string>& events) {
    EXPECT_EQ(TreeDifference(dest + kOut, Dest("fresh") + kOut), "");
    const ByFolder order = FinalOrder(events);
    EXPECT_EQ(Sorted(order), Sorted(Listings(dest))) << "the record of the changes is not whole";
    EXPECT_EQ(OrderDifference(order, FinalOrder(fresh_->Events)), "");
  }

  static test::TempFolder* tmp_;
  static tools::TSampleCollection* v1_;
  static tools::TRevision* v2_;
  static TRun *base_, *fresh_, *planned_, *updated_;
};

test::TempFolder* UpdateInPlace::tmp_ = nullptr;
tools::TSampleCollection* UpdateInPlace::v1_ = nullptr;
tools::TRevision* UpdateInPlace::v2_ = nullptr;
TRun *UpdateInPlace::base_ = nullptr, *UpdateInPlace::fresh_ = nullptr, *UpdateInPlace::planned_ = nullptr, *UpdateInPlace::updated_ = nullptr;

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Known to fail with the program as it stands, and left failing until it is
// mended: a game rewritten in a folder whose list of entries stays the same
// ("J" here) is deleted and made again, so it is listed last in its folder.
TEST_F(UpdateInPlace, LeavesTheTreeAndOrderOfAFreshRunAndWritesOnlyWhatChanged) {
  for (const TRun* run : {base_, fresh_, planned_, updated_}) ASSERT_EQ(run->Status, 0) << run->Output;
  ExpectFreshTree(Dest("updated"), Joined(base_->Events, updated_->Events));
  // Test mode changes nothing and foresees the update's figures.
  EXPECT_EQ(planned_->Events, std::vector<std::string>{});
  const std::vector<int> n = UpdateCounts(updated_->Output);
  EXPECT_EQ(UpdateCounts(planned_->Output), n);
  EXPECT_EQ(n[0], v2_->Added + v2_->Duplicates) << updated_->Output;
  EXPECT_GE(n[1], v2_->Changed + 1) << "the games that share a title with new ones get ID suffixes";
  EXPECT_GT(n[2], 0) << "subfolder ranges shift";
  EXPECT_EQ(n[3], v2_->Removed);
  int extracted = 0;
  std::sscanf(fresh_->Output.c_str() + fresh_->Output.find("invalid"), "invalid, %*d excluded by filter. %d", &extracted);
  EXPECT_EQ(n[0] + n[1] + n[2] + n[4], extracted) << fresh_->Output;
  const auto [files, bytes] = Created(*updated_, Dest("updated"));
  const auto [freshFiles, freshBytes] = Created(*fresh_, Dest("fresh"));
  EXPECT_LT(files * 10, freshFiles);
  EXPECT_LT(bytes * 10, freshBytes);
}

TEST_F(UpdateInPlace, RefusesAFolderWithoutItsRecordOrOfOtherOptions) {
  fs::create_directories(Dest("bare") + kOut);
  std::ofstream(Dest("bare") + kOut + "/gamelist.csv") << "a list without a record\n";
  CopyTree(Dest("base"), Dest("other"));
  for (const auto& [dest, nfo] : {std::pair{Dest("bare"), "optimize"}, std::pair{Dest("other"), "raw"}}) {
    const TRun run = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}, nfo));
    EXPECT_EQ(run.Status, 2) << run.Output;
    EXPECT_NE(run.Output.find("--replace"), std::string::npos) << run.Output;
    EXPECT_EQ(run.Events, std::vector<std::string>{});
  }
}

// Fails for the same reason as the first case where the next update keeps
// games in a folder whose list stays the same.
TEST_F(UpdateInPlace, CutOffIsFinishedByTheNextUpdate) {
  const long long written = static_cast<long long>(Created(*updated_, Dest("updated")).second);
  const long changes = static_cast<long>(updated_->Events.size());
  // A killed program may lose the record of the change in flight: only the
  // runs that end on a full disk keep a whole record.
  const std::vector<std::pair<TCut, bool>> cuts = {
      {{0, -1}, true}, {{written / 2, -1}, true}, {{-1, changes / 2}, false}};
  const auto wanted = UpdateCounts(updated_->Output);
  int index = 0;
  for (const auto& [cut, recorded] : cuts) {
    const std::string dest = Dest("cut" + std::to_string(++index));
    SCOPED_TRACE(dest + ": full after " + std::to_string(cut.FullAfter) + ", killed after " +
                 std::to_string(cut.KillAfter));
    CopyTree(Dest("base"), dest);
    const TRun first = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}), cut);
    EXPECT_EQ(first.Status, recorded ? 1 : 128 + SIGKILL) << first.Output;
    const TRun second = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}));
    ASSERT_EQ(second.Status, 0) << second.Output;
    // Finishing it writes no more games than the whole update had to.
    const auto counts = UpdateCounts(second.Output);
    EXPECT_LE(counts[0] + counts[1], wanted[0] + wanted[1]) << second.Output;
    if (recorded) {
      ExpectFreshTree(dest, Joined(Joined(base_->Events, first.Events), second.Events));
    } else {
      EXPECT_EQ(TreeDifference(dest + kOut, Dest("fresh") + kOut), "");
    }
    fs::remove_all(dest);
  }
}

// The games of the record in `out`: zip -> (game folder, its first file).
std::map<std::string, std::pair<std::string, std::string>> RecordGames(const std::string& out) {
  std::map<std::string, std::pair<std::string, std::string>> games;
  std::istringstream lines(Read(out + "/vqsd-manifest.txt"));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      f.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    }
    if (f[0] == "game" && f.size() > 7) games[f[1]] = {f[6], f[7].substr(0, f[7].find_first_of("\x1e\x1f"))};
  }
  return games;
}

// Every file under `root` with its bytes: what no run may change.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    files[entry.path().string()] = entry.is_regular_file() ? Read(entry.path()) : "(folder)";
  }
  return files;
}

TEST_F(UpdateInPlace, KeepsWhatItDidNotWriteAndWhatTheCardChanged) {
  const std::string dest = Dest("own"), out = dest + kOut + "/";
  CopyTree(Dest("base"), dest);
  // A disk image of a game that the second version removes, saved into by a
  // device; notes of the user's at the top and beside the games.
  const auto before = RecordGames(Dest("base") + kOut), after = RecordGames(Dest("fresh") + kOut);
  std::string image;
  for (const auto& [zip, game] : before) {
    if (!after.count(zip) && game.second.ends_with(".d64") && game.second.find('/') == std::string::npos) {
      image = game.first + game.second;
      break;
    }
  }
  ASSERT_NE(image, "");
  std::ofstream(out + image, std::ios::app) << "saved";
  const std::string letter = image.substr(0, image.find('/') + 1);
  const std::map<std::string, std::string> own = {
      {"My Own Stuff/notes.txt", "notes"}, {"README-mine.txt", "mine"}, {letter + "highscores.txt", "999"}};
  for (const auto& [path, text] : own) {
    fs::create_directories(fs::path(out + path).parent_path());
    std::ofstream(out + path) << text;
  }
  const TRun run = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}));
  ASSERT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(run.Output.find("3 entries the job did not write were kept."), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("1 files changed on the card were kept"), std::string::npos) << run.Output;
  for (const auto& [path, text] : own) EXPECT_EQ(Read(out + path), text) << path;
  const std::string kept = image.substr(0, image.size() - 4) + " (kept).d64";
  EXPECT_TRUE(Read(out + kept).ends_with("saved")) << kept;
  // They come after the job's own entries; the rest is the fresh tree.
  const std::vector<std::string> top = FinalOrder(Joined(base_->Events, run.Events))[std::string(kOut).substr(1)];
  ASSERT_GE(top.size(), 2u);
  std::set<std::string> last;
  for (auto name = top.end() - 2; name != top.end(); ++name) last.insert(name->substr(0, name->find('/')));
  EXPECT_EQ(last, (std::set<std::string>{"My Own Stuff", "README-mine.txt"}));
  for (const auto& [path, text] : own) fs::remove(out + path);
  fs::remove(out + "My Own Stuff");
  fs::remove(out + kept);
  if (fs::is_empty(fs::path(out + kept).parent_path())) fs::remove(fs::path(out + kept).parent_path());
  EXPECT_EQ(TreeDifference(out, Dest("fresh") + kOut), "");
}

TEST_F(UpdateInPlace, TellsChangedFilesByTheirBytesAndWritesAGameThatLostAFileAgain) {
  const std::string dest = Dest("crc"), out = dest + kOut + "/";
  CopyTree(Dest("base"), dest);
  // A copy that gave every file a new time; an image of a game the second
  // version removes with a byte changed (size and time kept from the copy);
  // a file lost from a game both versions keep alike.
  const auto before = RecordGames(Dest("base") + kOut), after = RecordGames(Dest("fresh") + kOut);
  std::string changed, lost;
  for (const auto& [zip, game] : before) {
    const auto same = after.find(zip);
    const std::string path = game.first + game.second;
    if (same == after.end() && changed.empty() && game.second.ends_with(".d64")) changed = path;
    if (same != after.end() && same->second == game && lost.empty() && game.second.find('/') == std::string::npos) lost = path;
  }
  ASSERT_NE(changed, "");
  ASSERT_NE(lost, "");
  const auto copied = fs::file_time_type::clock::now() - std::chrono::hours(48);
  for (const auto& entry : fs::recursive_directory_iterator(out)) fs::last_write_time(entry.path(), copied);
  std::string bytes = Read(out + changed);
  bytes[bytes.size() / 2] ^= 0x55;
  std::ofstream(out + changed, std::ios::binary | std::ios::trunc) << bytes;
  fs::last_write_time(out + changed, copied);
  fs::remove(out + lost);

  const TRun run = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}));
  ASSERT_EQ(run.Status, 0) << run.Output;
  // Only the changed image is kept; the copy's new times alone change nothing.
  EXPECT_NE(run.Output.find(" 1 files changed on the card were kept"), std::string::npos) << run.Output;
  const std::string kept = changed.substr(0, changed.size() - 4) + " (kept).d64";
  EXPECT_EQ(Read(out + kept), bytes);
  fs::remove(out + kept);
  if (fs::is_empty(fs::path(out + kept).parent_path())) fs::remove(fs::path(out + kept).parent_path());
  EXPECT_EQ(TreeDifference(out, Dest("fresh") + kOut), "");
}

TEST_F(UpdateInPlace, VerifyTellsWhetherThereIsARecordToVerify) {
  const std::string dest = Dest("verify"), out = dest + kOut + "/";
  CopyTree(Dest("base"), dest);
  const std::vector<std::string> verify = {"--style", "sd2iec", "--verify", "--json", "-"};
  const struct {
    const char* step;
    int status;
    const char* said;
  } cases[] = {
      {"as written", 0, "\"clean\": true"},
      {"a cut-off job's record only", 2, "holds the record of a job or an update that was cut off"},
      {"no record", 2, "holds no record of a job: there is nothing to verify"},
      {"no output folder", 2, "There is no output folder to verify"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    if (c.step == std::string("a cut-off job's record only")) fs::rename(out + "vqsd-manifest.txt", out + "vqsd-manifest.txt.tmp");
    if (c.step == std::string("no record")) fs::remove(out + "vqsd-manifest.txt.tmp");
    if (c.step == std::string("no output folder")) fs::remove_all(dest);
    const auto tree = fs::exists(dest) ? Snapshot(dest) : std::map<std::string, std::string>{};
    const TRun run = RunVqsd(dest, verify);
    EXPECT_EQ(run.Status, c.status) << run.Output;
    EXPECT_NE(run.Output.find(c.said), std::string::npos) << run.Output;
    EXPECT_TRUE(run.Events.empty()) << run.Events.front();
    if (fs::exists(dest)) EXPECT_EQ(Snapshot(dest), tree);
  }
}

TEST_F(UpdateInPlace, RefusesRecordsAndLinksThatLeadOutOfTheFolder) {
  const auto setRecordFolder = [](const std::string& out, const std::string& folder) {
    std::string text = Read(out + "vqsd-manifest.txt");
    const size_t game = text.find("\ngame\t");
    size_t at = game;
    for (int tab = 0; tab < 6; ++tab) at = text.find('\t', at + 1);
    text.replace(at + 1, text.find('\t', at + 1) - at - 1, folder);
    std::ofstream(out + "vqsd-manifest.txt", std::ios::trunc) << text;
  };
  const struct {
    const char* name;
    std::function<void(const std::string& out, const std::string& outside)> spoil;
    int status;
    const char* says;
  } cases[] = {
      {"a folder above the output folder", [&](const std::string& out, const std::string&) { setRecordFolder(out, "../../outside/"); }, 2,
       "\": line "},
      {"the root as a folder", [&](const std::string& out, const std::string&) { setRecordFolder(out, "/"); }, 2, "\": line "},
      {"a letter folder that is a link",
       [](const std::string& out, const std::string& outside) {
         const std::string letter = RecordGames(out).begin()->second.first.substr(0, 1);
         fs::rename(out + letter, outside + "letter");
         fs::create_directory_symlink(outside + "letter", out + letter);
       },
       1, "symbolic link"},
      {"a holder that is a link",
       [](const std::string& out, const std::string& outside) { fs::create_directory_symlink(outside, out + "VQSDTMP1"); }, 1,
       "symbolic link"},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dest = Dest("hostile" + std::to_string(++index)), out = dest + kOut + "/";
    const std::string outside = Dest("outside" + std::to_string(index)) + "/";
    CopyTree(Dest("base"), dest);
    fs::create_directories(outside);
    std::ofstream(outside + "keep.txt") << "keep";
    c.spoil(out, outside);
    const auto was = Snapshot(tmp_->Path() + "outside" + std::to_string(index));
    const auto card = Snapshot(dest);
    const TRun run = RunVqsd(dest, Args(v2_->Collection.GamesDir, {"--update"}));
    EXPECT_EQ(run.Status, c.status) << run.Output;
    EXPECT_NE(run.Output.find(c.says), std::string::npos) << run.Output;
    EXPECT_EQ(Snapshot(tmp_->Path() + "outside" + std::to_string(index)), was);
    EXPECT_EQ(Snapshot(dest), card);
  }
}

TEST_F(UpdateInPlace, OnAFat32CardListsEveryFolderAsAFreshRunDoes) {
  const test::TFatImage card(tmp_->Path(), 256);
  if (!card.Available()) GTEST_SKIP() << card.Reason();
  // An update moves folders with their content; some FUSE drivers leave the
  // content behind (fusefat 0.1a does).
  fs::create_directories(card.Path() + "probe/folder");
  std::ofstream(card.Path() + "probe/folder/file") << "content";
  fs::rename(card.Path() + "probe/folder", card.Path() + "probe/moved");
  if (!fs::exists(card.Path() + "probe/moved/file")) GTEST_SKIP() << "this FAT driver loses a folder's content when it renames it";
  fs::remove_all(card.Path() + "probe");
  // fusefat cannot store names beyond ASCII: the card takes every fifth game
  // whose title, members and tune are plain ASCII, and what is made of them.
  const auto ascii = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  std::set<int32_t> ids;
  int32_t lastID = 0;
  for (const tools::TSampleGame& game : v1_->Games) {
    lastID = std::max(lastID, game.UniqueID);
    if (game.Valid && !game.Hidden && game.UniqueID >= 0 && ascii(game.Title) && ascii(game.SidFileOnDisk) &&
        std::all_of(game.Entries.begin(), game.Entries.end(), ascii) && game.UniqueID % 5 == 0) {
      ids.insert(game.UniqueID);
    }
  }
  tools::TRevisionOptions options;
  options.Eligible = [&ids](const tools::TSampleGame& game) { return ids.count(game.UniqueID) > 0; };
  const tools::TRevision v2 = tools::ReviseSampleCollection(*v1_, Dest("v2-ascii"), options);
  // RomLister exports of the games the card takes from each version.
  const auto romList = [&](const std::string& name, const std::vector<tools::TSampleGame>& games) {
    std::ofstream out(Dest(name));
    out << "<romlist>\n";
    for (const tools::TSampleGame& game : games) {
      if (ids.count(game.UniqueID) || game.UniqueID > lastID) out << "<game name=\"" << game.UniqueID << "\">\n";
    }
    out << "</romlist>\n";
    return Dest(name);
  };
  const std::string before = romList("v1.xml", v1_->Games), after = romList("v2.xml", v2.Collection.Games);
  const std::string updated = card.Path() + "updated", fresh = card.Path() + "fresh";
  for (const auto& [dest, source, filter, mode] : {std::tuple{updated, v1_->GamesDir, before, "--replace"},
                                                   std::tuple{updated, v2.Collection.GamesDir, after, "--update"},
                                                   std::tuple{fresh, v2.Collection.GamesDir, after, "--replace"}}) {
    const TRun run = RunVqsd(dest, Args(source, {mode, "--filter", filter}));
    ASSERT_EQ(run.Status, 0) << run.Output;
  }
  EXPECT_EQ(TreeDifference(updated + kOut, fresh + kOut), "");
  EXPECT_EQ(OrderDifference(Listings(updated), Listings(fresh)), "");
}

}  // namespace
}  // namespace vq
