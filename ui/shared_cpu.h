#pragma once

#include <sched.h>

namespace vq {

// Keeps the calling thread, and every thread it starts while the scope
// lives, on the processor it runs on now; restores the thread's former
// processor set when the scope ends.
//
// A job's worker hands every status report to the window's thread and waits
// for it, so the two never run at the same time during a hand-over. On one
// processor a hand-over is a plain switch between the two; across two it
// costs a wake-up of a sleeping processor each way, several times slower.
class TSharedCpu {
 public:
  TSharedCpu();
  ~TSharedCpu();
  TSharedCpu(const TSharedCpu&) = delete;
  TSharedCpu& operator=(const TSharedCpu&) = delete;

 private:
  cpu_set_t FFormerSet{};
  bool FPinned = false;
};

}  // namespace vq
