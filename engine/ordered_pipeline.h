#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vq {

// Works on items 0 .. count-1 on several threads and hands the results to one
// consumer in item order. The threads run at most `ahead` items beyond the
// one the consumer waits for. With no threads, Take does each item's work in
// place. A work function that throws has its exception thrown by Take at that
// item's turn.
//
// The consumer owns the object; destroying it stops the threads at their next
// item and joins them.
template <class T>
class TOrderedPipeline {
 public:
  // The work of item `index` on thread `thread` (0 .. threads-1; 0 in place).
  using TWork = std::function<T(size_t index, int thread)>;
  // Polled while waiting: true when the job was told to stop.
  using TStopped = std::function<bool()>;

  TOrderedPipeline(size_t count, int threads, size_t ahead, TWork work, TStopped stopped)
      : count_(count), ahead_(ahead < 1 ? 1 : ahead), work_(std::move(work)), stopped_(std::move(stopped)) {
    for (int t = 0; t < threads; ++t) threads_.emplace_back([this, t] { Run(t); });
  }
  ~TOrderedPipeline() {
    {
      const std::lock_guard lock(mutex_);
      closing_ = true;
    }
    room_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  TOrderedPipeline(const TOrderedPipeline&) = delete;
  TOrderedPipeline& operator=(const TOrderedPipeline&) = delete;

  // The result of the next item, waiting for it; nothing once the job is
  // told to stop or every item was taken.
  std::optional<T> Take() {
    std::unique_lock lock(mutex_);
    if (next_ >= count_ || stopped_()) return std::nullopt;
    if (threads_.empty()) {
      const size_t index = next_++;
      lock.unlock();
      return work_(index, 0);
    }
    while (slots_.empty() || !slots_.front().has_value()) {
      if (stopped_()) return std::nullopt;
      consumer_waits_ = true;
      ready_.wait_for(lock, kPoll);
      consumer_waits_ = false;
    }
    TSlot slot = std::move(*slots_.front());
    slots_.pop_front();
    ++next_;
    const bool wake = idle_threads_ > 0;
    lock.unlock();
    if (wake) room_.notify_all();
    if (slot.Error) std::rethrow_exception(slot.Error);
    return std::move(slot.Result);
  }

 private:
  // A finished item: its result, or what its work threw.
  struct TSlot {
    std::optional<T> Result;
    std::exception_ptr Error;
  };

  // How long a wait lasts before the stop flag is read again.
  static constexpr std::chrono::milliseconds kPoll{20};

  void Run(int thread) {
    std::unique_lock lock(mutex_);
    for (;;) {
      while (!closing_ && !stopped_() && claimed_ < count_ && claimed_ >= next_ + ahead_) {
        ++idle_threads_;
        room_.wait_for(lock, kPoll);
        --idle_threads_;
      }
      if (closing_ || stopped_() || claimed_ >= count_) return;
      const size_t index = claimed_++;
      slots_.emplace_back();  // the item's place in order, empty until it is done
      lock.unlock();
      TSlot slot;
      try {
        slot.Result.emplace(work_(index, thread));
      } catch (...) {
        slot.Error = std::current_exception();
      }
      lock.lock();
      slots_[index - next_].emplace(std::move(slot));
      // Only the consumer waits for items, and only for the next one.
      if (consumer_waits_ && index == next_) ready_.notify_one();
    }
  }

  const size_t count_;
  const size_t ahead_;
  const TWork work_;
  const TStopped stopped_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;  // an item was finished
  std::condition_variable room_;   // the consumer took an item, or the pipeline closes
  std::deque<std::optional<TSlot>> slots_;  // items next_ .. claimed_-1
  size_t next_ = 0;                         // the item the consumer takes next
  size_t claimed_ = 0;                      // the first item no thread has begun
  bool closing_ = false;
  bool consumer_waits_ = false;  // Take waits for the next item
  int idle_threads_ = 0;         // threads waiting for room ahead
  std::vector<std::thread> threads_;  // last: started once everything above is set
};

// Runs tasks on a few threads of its own, first in, first begun. The owner
// waits for them with Drain or WaitFor; destroying the queue runs what was
// submitted to the end and joins the threads. Tasks must not throw.
class TTaskQueue {
 public:
  explicit TTaskQueue(int threads) {
    for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { Run(); });
  }
  ~TTaskQueue() {
    {
      const std::lock_guard lock(mutex_);
      closing_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  TTaskQueue(const TTaskQueue&) = delete;
  TTaskQueue& operator=(const TTaskQueue&) = delete;

  int Threads() const { return static_cast<int>(threads_.size()); }

  void Submit(std::function<void()> task) {
    {
      const std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
      ++unfinished_;
    }
    work_.notify_one();
  }
  // Waits until every task submitted has run.
  void Drain() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return unfinished_ == 0; });
  }
  // Waits until `condition`, which a task makes true, holds.
  void WaitFor(const std::function<bool()>& condition) {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return condition() || unfinished_ == 0; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // closing, and nothing left to run
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      --unfinished_;
      finished_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;      // a task was submitted, or the queue closes
  std::condition_variable finished_;  // a task has run
  std::deque<std::function<void()>> tasks_;
  size_t unfinished_ = 0;
  bool closing_ = false;
  std::vector<std::thread> threads_;  // last: started once everything above is set
};

// Bytes that threads hold for the consumer, kept under a cap. A thread that
// would pass the cap waits, unless it works for the item the consumer waits
// for: that one always goes on, so the consumer never waits for ever.
class TByteBudget {
 public:
  explicit TByteBudget(size_t cap) : cap_(cap) {}

  // Takes `bytes`, waiting while they would pass the cap and `mayPass` is
  // false. Returns false, holding nothing, once `stopped` is true.
  bool Acquire(size_t bytes, const std::function<bool()>& mayPass, const std::function<bool()>& stopped) {
    std::unique_lock lock(mutex_);
    while (held_ + bytes > cap_ && !mayPass()) {
      if (stopped()) return false;
      freed_.wait_for(lock, std::chrono::milliseconds(20));
    }
    held_ += bytes;
    return true;
  }
  void Release(size_t bytes) {
    {
      const std::lock_guard lock(mutex_);
      held_ -= bytes;
    }
    freed_.notify_all();
  }
  size_t Held() const {
    const std::lock_guard lock(mutex_);
    return held_;
  }

 private:
  const size_t cap_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  size_t held_ = 0;
};

// Bytes taken from a TByteBudget, given back when the lease ends.
class TBudgetLease {
 public:
  TBudgetLease() = default;
  explicit TBudgetLease(TByteBudget* budget) : budget_(budget) {}
  ~TBudgetLease() { Reset(); }
  TBudgetLease(TBudgetLease&& other) noexcept
      : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}
  TBudgetLease& operator=(TBudgetLease&& other) noexcept {
    if (this != &other) {
      Reset();
      budget_ = std::exchange(other.budget_, nullptr);
      bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
  }

  // Adds `bytes` that the caller has already acquired from the budget.
  void Add(size_t bytes) { bytes_ += bytes; }
  // Gives back `bytes` of those held.
  void Give(size_t bytes) {
    if (bytes > bytes_) bytes = bytes_;
    if (budget_ && bytes) budget_->Release(bytes);
    bytes_ -= bytes;
  }
  void Reset() { Give(bytes_); }
  size_t Bytes() const { return bytes_; }

 private:
  TByteBudget* budget_ = nullptr;
  size_t bytes_ = 0;
};

}  // namespace vq
