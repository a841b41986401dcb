// vqsd: runs one job from the command line.
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <iostream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/job_runner.h"
#include "engine/work_thread.h"

namespace {

// Turns Ctrl+C and SIGTERM into an abort request, on a thread of its own so
// the job's Terminate runs outside a signal handler.
class SignalWatcher {
 public:
  SignalWatcher() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, kWakeSignal);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this] { Watch(); });
  }
  ~SignalWatcher() {
    stop_ = true;
    // Wakes the watcher at once rather than at its next timeout.
    pthread_kill(thread_.native_handle(), kWakeSignal);
    thread_.join();
  }
  const std::atomic<bool>& AbortRequested() const { return abort_; }

 private:
  void Watch() {
    const timespec timeout{0, 100'000'000};
    while (!stop_) {
      const int signal = sigtimedwait(&signals_, nullptr, &timeout);
      if (signal > 0 && signal != kWakeSignal) {
        // The first request lets the job stop cleanly; a second one ends the
        // program at once, should the job be stuck.
        if (abort_.exchange(true)) _exit(130);
      }
    }
  }

  // Sent by the owner to end the watch.
  static constexpr int kWakeSignal = SIGUSR1;
  sigset_t signals_{};
  std::atomic<bool> abort_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  vq::PrepareProcessForJobs();
  vq::TCommandLine command;
  if (const auto exitCode = vq::ParseCommandLine(argc, argv, command, std::cout, std::cerr)) return *exitCode;

  // Progress is drawn as a bar where standard error is a terminal.
  vq::TConsole console{std::cout, std::cerr};
  console.Terminal = isatty(STDERR_FILENO) != 0;
  winsize ws{};
  if (console.Terminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) console.Width = ws.ws_col;

  SignalWatcher watcher;
  return vq::RunJob(command, console, watcher.AbortRequested());
}
