// The threads that read zips ahead, and the writer threads, change nothing
// a user can see: the same statuses, summary, error and tree as on one
// thread, also when a game fails.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/file_system.h"
#include "engine/manifest.h"
#include "engine/ordered_pipeline.h"
#include "job_test_util.h"
#include "temp_folder.h"

namespace vq::test {
namespace {

TEST(OrderedPipeline, ResultsComeInOrderWithinTheWindowAndErrorsAtTheirTurn) {
  for (const int threads : {0, 1, 3, 8}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    constexpr size_t kCount = 300;
    constexpr size_t kAhead = 5;
    std::atomic<size_t> taking{0};
    std::atomic<size_t> farthest{0};
    TOrderedPipeline<size_t> pipeline(
        kCount, threads, kAhead,
        [&](size_t i, int thread) {
          EXPECT_LT(thread, std::max(threads, 1));
          const size_t ahead = i - std::min(i, taking.load());
          size_t seen = farthest;
          while (ahead > seen && !farthest.compare_exchange_weak(seen, ahead)) {
          }
          if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
          if (i == 123) throw std::runtime_error("item 123");
          return i * 2;
        },
        [] { return false; });
    for (size_t i = 0; i < kCount; ++i) {
      taking = i;
      if (i == 123) {
        EXPECT_THROW(pipeline.Take(), std::runtime_error);
        continue;
      }
      const std::optional<size_t> r = pipeline.Take();
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(*r, i * 2);
    }
    EXPECT_FALSE(pipeline.Take().has_value());
    EXPECT_LE(farthest.load(), kAhead);
  }
}

TEST(OrderedPipeline, BudgetWaitsForRoomButNeverBlocksTheItemTakenNext) {
  TByteBudget budget(100);
  ASSERT_TRUE(budget.Acquire(80, [] { return false; }, [] { return false; }));
  // The item the consumer waits for goes past the cap.
  ASSERT_TRUE(budget.Acquire(50, [] { return true; }, [] { return false; }));
  EXPECT_EQ(budget.Held(), 130u);
  // Any other waits until room is given back, or gives up when stopped.
  EXPECT_FALSE(budget.Acquire(10, [] { return false; }, [] { return true; }));
  std::atomic<bool> got{false};
  std::thread waiter([&] { got = budget.Acquire(60, [] { return false; }, [] { return false; }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got);
  {
    TBudgetLease lease(&budget);
    lease.Add(130);
  }  // the lease gives the bytes back
  waiter.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(budget.Held(), 60u);

  TTaskQueue queue(3);
  std::atomic<int> ran{0};
  for (int i = 0; i < 50; ++i) queue.Submit([&ran] { ++ran; });
  queue.Drain();
  EXPECT_EQ(ran, 50);
}

// A path deeper than the system allows: reading it is fine, writing it fails.
std::string TooDeepPath() {
  std::string path;
  while (path.size() < 4200) path += std::string(250, 'd') + "/";
  return path + "g.d64";
}

TEST(ParallelJob, AnyNumberOfThreadsGivesTheRunOfOne) {
  TempFolder tmp;
  const std::string g = tmp.Path() + "games/";
  for (int i = 0; i < 60; ++i) {
    const std::string title = std::string(1, static_cast<char>('A' + i % 5)) + " Game " + std::to_string(100 + i);
    std::vector<std::pair<std::string, std::string>> members{{"disk1.d64", std::string(3000 + i, static_cast<char>('a' + i % 26))},
                                                             {"disk2.d64", "two"}};
    if (i == 40) members.emplace_back(TooDeepPath(), "x");
    if (i % 9 == 0) members.emplace_back("t.t64", TapeArchive({{"ONE", 0x801, "a"}, {"TWO", 0x801, "b"}}));
    if (i % 13 == 0) members.emplace_back("readme.txt", "?");
    // Every tenth game shares its title and ID with the one before it.
    WriteGameZip(g + std::to_string(100 + i) + ".zip", Nfo(i % 10 == 1 ? "A Game 100" : title, i % 10 == 1 ? 1 : i),
                 members);
  }
  for (const bool keepGoing : {false, true}) {
    JobResult reference;
    std::vector<std::string> referenceTree;
    std::map<std::string, std::string> referenceFiles;
    std::vector<std::string> referenceRecorded;
    for (const int jobs : {1, 2, 5}) {
      SCOPED_TRACE("keep going " + std::to_string(keepGoing) + ", jobs " + std::to_string(jobs));
      TestJob o;
      o.SourceDir = g;
      o.DestDir = tmp.Path() + "out";
      o.AutoSwap = o.ExtractT64 = true;
      o.KeepGoing = keepGoing;
      o.Jobs = jobs;
      std::filesystem::remove_all(o.DestDir);
      const JobResult r = RunJob(o);
      EXPECT_EQ(r.Outcome, keepGoing ? TJobOutcome::joFinished : TJobOutcome::joFailed);
      // A job the failure ends keeps the record of the games it finished;
      // it holds the files' times, so the games it names are compared.
      std::map<std::string, std::string> files = TreeFingerprint(o.Output());
      std::vector<std::string> recorded;
      if (files.erase(kUnfinishedManifestName) > 0) {
        const auto record = ParseUnfinishedManifest(ReadWholeFileAsString(o.Output() + "/" + kUnfinishedManifestName), "r");
        for (const TManifestEntry& game : record->Games) recorded.push_back(game.Zip + " " + game.Path);
      }
      EXPECT_EQ(!recorded.empty(), !keepGoing);
      if (jobs == 1) {
        reference = r;
        referenceTree = ListTree(o.Output() + "/");
        referenceFiles = files;
        referenceRecorded = recorded;
        EXPECT_EQ(r.FFailedGames, keepGoing ? 1 : 0);
        if (!keepGoing) {
          EXPECT_EQ(r.Final.rfind("ERROR: " + g + "140.zip: ", 0), 0u) << r.Final;
        }
        continue;
      }
      EXPECT_EQ(r.Statuses.size(), reference.Statuses.size());
      for (size_t k = 0; k < std::min(r.Statuses.size(), reference.Statuses.size()); ++k) {
        ASSERT_EQ(r.Statuses[k], reference.Statuses[k]) << "status " << k;
      }
      EXPECT_EQ(r.Final, reference.Final);
      EXPECT_EQ(ListTree(o.Output() + "/"), referenceTree);
      EXPECT_EQ(files, referenceFiles);
      EXPECT_EQ(recorded, referenceRecorded);
    }
  }
}

}  // namespace
}  // namespace vq::test
