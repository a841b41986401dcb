#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vq {

// Runs a call on the front end's user-interface thread and returns once it
// has run. The command line runs it in place.
using TDispatcher = std::function<void(const std::function<void()>&)>;

// Signalled once a thread has completely ended: its work, its termination
// notice and, for a self-freeing thread, its own destruction. Shared, so it
// outlives the thread object.
class TThreadCompletion {
 public:
  // Blocks until the thread has ended.
  void Wait();
  // True once the thread has ended.
  bool Done();

 private:
  friend class TThread;
  void Signal();

  std::mutex FMutex;
  std::condition_variable FEnded;
  bool FDone = false;
};

// A worker thread in the manner of a desktop runtime's thread class: created
// suspended, started once, asked to stop through a flag it polls, with a
// termination notice run through the dispatcher and, when FreeOnTerminate is
// set, destroying itself after that notice.
//
// Lifetime: with FreeOnTerminate the object must be created with new and is
// deleted by its own thread right after OnTerminate has returned; nobody may
// touch it after that. Without it, the owner destroys it; the destructor of
// the derived class must call StopAndWait() first.
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

  // Set before Start: the object deletes itself after OnTerminate.
  void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  // Set before Start: run through the dispatcher after Execute has ended.
  void SetOnTerminate(std::function<void(TThread&)> handler) { FOnTerminate = std::move(handler); }
  // Set before Start: where Synchronize and OnTerminate run. Empty: in place.
  void SetDispatcher(TDispatcher dispatcher) { FDispatcher = std::move(dispatcher); }

  // Waits until the thread has ended. Only without FreeOnTerminate.
  void WaitFor();
  // The completion signal; take it before Start to wait for a self-freeing
  // thread's real end, destruction included.
  std::shared_ptr<TThreadCompletion> Completion() const { return FCompletion; }

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
  bool FFreeOnTerminate = false;
  bool FStarted = false;
  std::function<void(TThread&)> FOnTerminate;
  TDispatcher FDispatcher;
  std::shared_ptr<TThreadCompletion> FCompletion = std::make_shared<TThreadCompletion>();
};

}  // namespace vq
