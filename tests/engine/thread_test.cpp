// The worker-thread facility: start, terminate, the termination notice, the
// dispatcher, and the owner joining the thread.
#include "engine/thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace vq {
namespace {

// Marks what happened to a probe thread; outlives it.
struct Trace {
  std::atomic<int> executed{0};
  std::atomic<int> destroyed{0};
  std::atomic<bool> sawTerminate{false};
};

class ProbeThread : public TThread {
 public:
  enum class Mode { Return, Throw, WaitForTerminate, SynchronizeTwice };
  ProbeThread(std::shared_ptr<Trace> trace, Mode mode) : trace_(std::move(trace)), mode_(mode) {}
  ~ProbeThread() override {
    StopAndWait();
    ++trace_->destroyed;
  }
  std::vector<int> synchronized;

 protected:
  void Execute() override {
    ++trace_->executed;
    switch (mode_) {
      case Mode::Return: break;
      case Mode::Throw: throw std::runtime_error("phase failed");
      case Mode::WaitForTerminate:
        while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        trace_->sawTerminate = true;
        break;
      case Mode::SynchronizeTwice:
        Synchronize([this] { synchronized.push_back(1); });
        Synchronize([this] { synchronized.push_back(2); });
        break;
    }
  }

 private:
  std::shared_ptr<Trace> trace_;
  Mode mode_;
};

// A stand-in for a user-interface thread: calls queue up and run on the
// thread that pumps them; the caller waits until its call has run.
class CallQueue {
 public:
  TDispatcher Dispatcher() {
    return [this](const std::function<void()>& call) {
      std::promise<void> done;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back([&] {
          call();
          done.set_value();
        });
      }
      ready_.notify_one();
      done.get_future().wait();
    };
  }
  // Runs queued calls until `until` holds.
  void Pump(const std::function<bool()>& until) {
    while (!until()) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !calls_.empty(); });
        if (calls_.empty()) continue;
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
      ++ran;
    }
  }
  int ran = 0;

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> calls_;
};

TEST(Thread, NothingRunsBeforeStartAndWaitForJoins) {
  auto trace = std::make_shared<Trace>();
  {
    ProbeThread t(trace, ProbeThread::Mode::Return);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(trace->executed, 0);  // created suspended
    t.Start();
    t.WaitFor();
    EXPECT_EQ(trace->executed, 1);
  }
  EXPECT_EQ(trace->destroyed, 1);
}

TEST(Thread, SynchronizeRunsOnTheDispatchingThreadInOrder) {
  auto trace = std::make_shared<Trace>();
  CallQueue ui;
  ProbeThread t(trace, ProbeThread::Mode::SynchronizeTwice);
  const auto uiThread = std::this_thread::get_id();
  std::thread::id noticeThread;
  bool noticed = false;
  t.SetDispatcher(ui.Dispatcher());
  t.SetOnTerminate([&](TThread&) {
    noticeThread = std::this_thread::get_id();
    noticed = true;
  });
  t.Start();
  ui.Pump([&] { return noticed; });
  t.WaitFor();
  EXPECT_EQ(t.synchronized, (std::vector<int>{1, 2}));
  EXPECT_EQ(noticeThread, uiThread);
  EXPECT_EQ(ui.ran, 3);
}

TEST(Thread, TheNoticeRunsOnceAfterTheWorkWhetherItFinishesFailsOrIsAborted) {
  for (const auto mode : {ProbeThread::Mode::Return, ProbeThread::Mode::Throw, ProbeThread::Mode::WaitForTerminate}) {
    auto trace = std::make_shared<Trace>();
    CallQueue ui;
    auto t = std::make_unique<ProbeThread>(trace, mode);
    int notices = 0;
    int executedAtNotice = -1;
    t->SetDispatcher(ui.Dispatcher());
    t->SetOnTerminate([&](TThread&) {
      executedAtNotice = trace->executed;
      ++notices;
    });
    t->Start();
    if (mode == ProbeThread::Mode::WaitForTerminate) t->Terminate();
    ui.Pump([&] { return notices > 0; });
    // The owner joins the thread and destroys it; nothing goes away by itself.
    t->WaitFor();
    EXPECT_EQ(trace->destroyed, 0);
    t.reset();
    EXPECT_EQ(trace->destroyed, 1);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(executedAtNotice, 1);
    if (mode == ProbeThread::Mode::WaitForTerminate) {
      EXPECT_TRUE(trace->sawTerminate);
    }
  }
}

TEST(Thread, DestroyingARunningThreadStopsItFirst) {
  auto trace = std::make_shared<Trace>();
  {
    ProbeThread t(trace, ProbeThread::Mode::WaitForTerminate);
    t.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(trace->sawTerminate);
  EXPECT_EQ(trace->destroyed, 1);
}

}  // namespace
}  // namespace vq
