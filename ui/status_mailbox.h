#pragma once

#include <mutex>
#include <string>

namespace vq {

// Hands a job's status reports to the window's thread: the job posts each
// report without waiting, the window takes the latest when it is ready to
// show one. Reports in between are replaced, never queued.
class TStatusMailbox {
 public:
  // Stores `status` as the latest report. Safe from any thread.
  void Post(const std::string& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    latest_ = status;
    fresh_ = true;
  }
  // Moves the latest report into `status` when one came since the last
  // take; false otherwise.
  bool Take(std::string& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh_) return false;
    status.swap(latest_);
    fresh_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::string latest_;
  bool fresh_ = false;
};

}  // namespace vq
