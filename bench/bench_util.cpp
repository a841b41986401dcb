#include "bench/bench_util.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tools/sample_collection.h"

extern char** environ;

namespace vq::bench {

namespace fs = std::filesystem;

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

RunResult RunProgram(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  FILE* out = fdopen(fds[0], "r");
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t n;
  while ((n = getline(&line, &capacity, out)) > 0) {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string text(line, static_cast<size_t>(n));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    result.Lines.emplace_back(t, std::move(text));
  }
  free(line);
  fclose(out);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.PeakKiB = usage.ru_maxrss;
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

}  // namespace vq::bench
