#include "ui/termination_watcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "base/error.h"

namespace vq {

namespace {

// The write end of the self-pipe, for the signal handler. A signal handler
// can reach nothing but global state; this descriptor is the program's one
// global mutable value. It is set while a TTerminationWatcher lives, -1
// otherwise.
volatile sig_atomic_t gTerminationPipe = -1;

extern "C" void OnSigTerm(int) {
  const int savedErrno = errno;
  const char byte = 1;
  if (gTerminationPipe >= 0) (void)!write(gTerminationPipe, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TTerminationWatcher::TSocketPair::TSocketPair() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
    throw Error(std::string("cannot create the termination pipe: ") + std::strerror(errno));
  }
}

TTerminationWatcher::TSocketPair::~TSocketPair() {
  for (int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

TTerminationWatcher::TTerminationWatcher(std::function<void()> onTerminate, QObject* parent)
    : QObject(parent),
      on_terminate_(std::move(onTerminate)),
      notifier_(new QSocketNotifier(pipe_.Read(), QSocketNotifier::Read, this)) {
  connect(notifier_, &QSocketNotifier::activated, this, &TTerminationWatcher::Take);
  gTerminationPipe = pipe_.Write();
  struct sigaction action {};
  action.sa_handler = OnSigTerm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &previous_);
}

TTerminationWatcher::~TTerminationWatcher() {
  sigaction(SIGTERM, &previous_, nullptr);
  gTerminationPipe = -1;
}

void TTerminationWatcher::Take() {
  char bytes[16];
  while (read(pipe_.Read(), bytes, sizeof bytes) > 0) {
  }
  if (on_terminate_) on_terminate_();
}

}  // namespace vq
