#include "engine/thread.h"

#include <cstdio>
#include <exception>

namespace vq {

void TThreadCompletion::Wait() {
  std::unique_lock<std::mutex> lock(FMutex);
  FEnded.wait(lock, [this] { return FDone; });
}

bool TThreadCompletion::Done() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FDone;
}

void TThreadCompletion::Signal() {
  std::lock_guard<std::mutex> lock(FMutex);
  FDone = true;
  FEnded.notify_all();
}

TThread::TThread() = default;

TThread::~TThread() {
  // A derived class has stopped the thread already; this only covers a
  // thread that was never started or has been joined.
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      FThread.detach();
    } else {
      Terminate();
      FThread.join();
    }
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
  // Nothing of the object is touched after this point but the copy of the
  // completion signal.
  const std::shared_ptr<TThreadCompletion> completion = FCompletion;
  if (FFreeOnTerminate) {
    FThread.detach();
    delete this;
  }
  completion->Signal();
}

}  // namespace vq
