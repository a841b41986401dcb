#include "engine/thread.h"

#include <cstdio>
#include <exception>

namespace vq {

TThread::TThread() = default;

TThread::~TThread() {
  // A derived class has stopped the thread already; this only covers a
  // thread that was never started or has been joined.
  if (FThread.joinable()) {
    Terminate();
    FThread.join();
  }
}

void TThread::Start() {
  if (FStarted) return;
  FStarted = true;
  std::lock_guard<std::mutex> lock(FStartMutex);
  FThread = std::thread([this] { Run(); });
}

void TThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TThread::StopAndWait() {
  Terminate();
  WaitFor();
}

void TThread::Synchronize(const std::function<void()>& call) {
  if (FDispatcher) {
    FDispatcher(call);
  } else {
    call();
  }
}

void TThread::Run() {
  {
    // Wait until Start has stored the thread handle.
    std::lock_guard<std::mutex> lock(FStartMutex);
  }
  try {
    Execute();
  } catch (const std::exception& e) {
    // Execute handles its own errors; this is the last guard of the thread.
    std::fprintf(stderr, "worker thread: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "worker thread: unknown error\n");
  }
  try {
    if (FOnTerminate) Synchronize([this] { FOnTerminate(*this); });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "worker thread: termination notice failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "worker thread: termination notice failed\n");
  }
}

}  // namespace vq
