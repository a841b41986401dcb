#pragma once

#include <signal.h>

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace vq {

// Turns SIGTERM into a call of `onTerminate` on the Qt event loop, through a
// self-pipe: the signal handler only writes one byte to it, and a socket
// notifier on the other end makes the call. While the object lives it owns
// the process's SIGTERM handling; the handler it replaced comes back when it
// goes. At most one may exist at a time.
class TTerminationWatcher : public QObject {
  Q_OBJECT

 public:
  explicit TTerminationWatcher(std::function<void()> onTerminate, QObject* parent = nullptr);
  ~TTerminationWatcher() override;
  TTerminationWatcher(const TTerminationWatcher&) = delete;
  TTerminationWatcher& operator=(const TTerminationWatcher&) = delete;

 private:
  void Take();

  // The two ends of the pipe, owned here and closed in the destructor.
  class TSocketPair {
   public:
    TSocketPair();
    ~TSocketPair();
    TSocketPair(const TSocketPair&) = delete;
    TSocketPair& operator=(const TSocketPair&) = delete;
    int Read() const { return fds_[0]; }
    int Write() const { return fds_[1]; }

   private:
    int fds_[2] = {-1, -1};
  };

  std::function<void()> on_terminate_;
  TSocketPair pipe_;
  QSocketNotifier* notifier_;
  struct sigaction previous_ {};  // the handler replaced; restored at the end
};

}  // namespace vq
