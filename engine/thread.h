#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace vq {

// Runs a call on the front end's user-interface thread and returns once it
// has run. Without one, calls run in place on the worker.
using TDispatcher = std::function<void(const std::function<void()>&)>;

// A worker thread in the manner of a desktop runtime's thread class: created
// suspended, started once, asked to stop through a flag it polls, with a
// termination notice run through the dispatcher.
//
// Lifetime: whoever starts the thread owns the object and joins it with
// WaitFor, or by destroying it; the destructor of a derived class must call
// StopAndWait() first. Never destroy the object from inside its termination
// notice: the thread is still running the notice then.
class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Runs Execute on a new thread. Call once.
  void Start();
  // Asks the thread to stop; returns at once. Safe from any thread.
  void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
  // True once Terminate has been called.
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }

  // Set before Start: run through the dispatcher after Execute has ended.
  void SetOnTerminate(std::function<void(TThread&)> handler) { FOnTerminate = std::move(handler); }
  // Set before Start: where Synchronize and OnTerminate run. Empty: in place.
  void SetDispatcher(TDispatcher dispatcher) { FDispatcher = std::move(dispatcher); }

  // Waits until the thread has ended, termination notice included, and
  // joins it. Not from the thread itself, nor from inside a dispatched call
  // the thread waits for.
  void WaitFor();

 protected:
  // The thread's work.
  virtual void Execute() = 0;
  // Runs `call` through the dispatcher and waits until it has run.
  void Synchronize(const std::function<void()>& call);
  // Sets the flag and joins the thread; for destructors of derived classes.
  void StopAndWait();

 private:
  void Run();

  std::mutex FStartMutex;  // held by Start until FThread is assigned
  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  bool FStarted = false;
  std::function<void(TThread&)> FOnTerminate;
  TDispatcher FDispatcher;
};

}  // namespace vq
