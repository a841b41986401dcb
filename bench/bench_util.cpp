#include "bench/bench_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "base/file_system.h"
#include "tools/sample_collection.h"

extern char** environ;

namespace vq::bench {

namespace fs = std::filesystem;
using vq::FileHandle;

std::string EnsureCollection(const std::string& root, int games, uint32_t seed) {
  const std::string marker = root + "/.generated";
  const std::string wanted = std::to_string(seed) + " " + std::to_string(games);
  {
    std::ifstream in(marker);
    std::string have;
    std::getline(in, have);
    if (have == wanted) return root + "/games/";
  }
  std::fprintf(stderr, "generating %d games in %s ...\n", games, root.c_str());
  RemoveTree(root);
  tools::TSampleOptions options;
  options.Seed = seed;
  options.GameCount = games;
  tools::GenerateSampleCollection(root, options);
  std::ofstream(marker) << wanted << "\n";
  return root + "/games/";
}

namespace {

// A pipe whose two ends are closed with it unless handed on.
struct TPipe {
  FileHandle Read;
  FileHandle Write;
  TPipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    Read = FileHandle(fds[0]);
    Write = FileHandle(fds[1]);
  }
};

// The file actions of one spawn.
class TSpawnActions {
 public:
  TSpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~TSpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;

  // `from` becomes `to` in the child (dup2 clears close-on-exec on `to`).
  void Dup(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
  const posix_spawn_file_actions_t* Get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};

// The buffer that getline grows.
struct TLineBuffer {
  char* Data = nullptr;
  size_t Capacity = 0;
  TLineBuffer() = default;
  ~TLineBuffer() { std::free(Data); }
  TLineBuffer(const TLineBuffer&) = delete;
  TLineBuffer& operator=(const TLineBuffer&) = delete;
};

// Reads `fd` to its end, each line with its arrival time since `start`.
void ReadLines(FileHandle fd, std::chrono::steady_clock::time_point start, RunResult& result) {
  const std::unique_ptr<FILE, FileClose> in(fdopen(fd.Get(), "r"));
  if (!in) throw std::runtime_error("fdopen failed");
  fd.Release();
  TLineBuffer line;
  ssize_t n = 0;
  while ((n = getline(&line.Data, &line.Capacity, in.get())) > 0) {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text(line.Data, static_cast<size_t>(n));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    result.Lines.emplace_back(t, std::move(text));
  }
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, bool measurePeak) {
  std::vector<std::string> command;
  if (measurePeak) command.push_back(ExecutableDir() + "bench_launch");
  command.insert(command.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  args.reserve(command.size() + 1);
  for (const std::string& a : command) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  TPipe output;
  TPipe report;
  TSpawnActions actions;
  actions.Dup(output.Write.Get(), STDOUT_FILENO);
  if (measurePeak) actions.Dup(report.Write.Get(), kLaunchReportFd);

  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], actions.Get(), nullptr, args.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + command[0]);
  }
  output.Write = FileHandle();
  report.Write = FileHandle();
  ReadLines(std::move(output.Read), start, result);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.PeakKiB = usage.ru_maxrss;
  if (measurePeak) {
    char text[128] = {};
    const ssize_t n = read(report.Read.Get(), text, sizeof text - 1);
    int code = 0;
    long peak = 0;
    long long chars = -1;
    long long bytes = -1;
    if (n > 0 && std::sscanf(text, "%d %ld %lld %lld", &code, &peak, &chars, &bytes) >= 2) {
      result.ExitCode = code;
      result.PeakKiB = peak;
      result.WriteChars = chars;
      result.WriteBytes = bytes;
    } else {
      result.PeakKiB = 0;  // the launcher could not start the program
    }
  }
  return result;
}

unsigned long long TreeBytes(const std::string& root) {
  unsigned long long total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
  }
  return total;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string ExecutableDir() {
  return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

std::string ExecutablePath() {
  return fs::read_symlink("/proc/self/exe").string();
}

std::string JobSummary(const RunResult& run) {
  for (const auto& [time, line] : run.Lines) {
    if (line.rfind("Done", 0) == 0) return line;
  }
  return "";
}

long ScannedArchives(const std::string& summary) {
  const size_t at = summary.find(" archives scanned");
  if (at == std::string::npos) return -1;
  size_t start = at;
  while (start > 0 && summary[start - 1] >= '0' && summary[start - 1] <= '9') --start;
  return start == at ? -1 : std::strtol(summary.c_str() + start, nullptr, 10);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double MiB(long kib) {
  return static_cast<double>(kib) / 1024.0;
}

const char* Verdict(bool met) {
  return met ? "PASS" : "MISS";
}

TTempFolder::TTempFolder(const std::string& parent, const std::string& prefix) {
  std::string pattern = parent + "/" + prefix + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder in " + parent);
  path_ = pattern;
}

TTempFolder::~TTempFolder() {
  RemoveTree(path_);
}

void WarmCache(const std::string& root) {
  std::vector<char> buffer(1 << 20);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    if (FILE* in = std::fopen(entry.path().c_str(), "rb")) {
      while (std::fread(buffer.data(), 1, buffer.size(), in) > 0) {
      }
      std::fclose(in);
    }
  }
}

bool ParseBenchArgs(int argc, char** argv, const std::string& name, const std::string& out, TBenchArgs& args) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      args.Runs = std::atoi(argv[++i]);
    } else {
      positional.emplace_back(argv[i]);
    }
  }
  if (!positional.empty()) args.Games = std::atoi(positional[0].c_str());
  if (positional.size() > 1) args.Root = positional[1];
  args.Out = positional.size() > 2 ? positional[2] : out;
  if (args.Runs >= 1 && args.Games >= 1 && positional.size() <= 3) return true;
  std::fprintf(stderr, "usage: %s [--runs K] [GAMES [COLLECTION_DIR [OUTPUT_DIR]]]\n", name.c_str());
  return false;
}

std::string ShellQuote(std::string_view text) {
  if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=") ==
                           std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ShellLine(const std::vector<std::string>& command) {
  std::string line;
  for (const std::string& word : command) line += (line.empty() ? "" : " ") + ShellQuote(word);
  return line;
}

}  // namespace vq::bench
