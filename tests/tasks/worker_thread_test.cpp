#include "tasks/worker_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "tasks/gui_dispatch.h"
#include "tasks/worker_pool.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

class WorkerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    queue_ = std::make_shared<MainThreadQueue>();
    InstallDispatcher(queue_);
  }
  void TearDown() override {
    RemoveDispatcher();
    queue_->Close();
  }
  void RunUntilFinished(const WorkerThread& thread) {
    queue_->RunUntil([&] { return IsFinished(thread); });
  }

  std::shared_ptr<MainThreadQueue> queue_;
};

// What the procedures and completions below saw, in the order they saw it.
struct Trace {
  std::mutex mutex;
  std::vector<std::string> steps;
  std::thread::id procThread;
  std::thread::id doneThread;
  int procDoneInProc = -1;
  int procDoneInDone = -1;
  int finishedInDone = -1;
  void Add(std::string step) {
    std::lock_guard lock(mutex);
    steps.push_back(std::move(step));
  }
};

void TracingProc(WorkerThread& thread) {
  auto* trace = static_cast<Trace*>(thread.arg);
  trace->procThread = std::this_thread::get_id();
  trace->procDoneInProc = thread.procDone.load();
  trace->Add("proc");
}

void TracingDone(WorkerThread& thread) {
  auto* trace = static_cast<Trace*>(thread.arg);
  trace->doneThread = std::this_thread::get_id();
  trace->procDoneInDone = thread.procDone.load();
  trace->finishedInDone = thread.finished.load();
  trace->Add("done");
}

TEST_F(WorkerThreadTest, BodyRunsProcThenOnDoneOnTheDispatcherThreadThenFinishes) {
  Trace trace;
  WorkerThread thread;
  ASSERT_EQ(StartWorker(thread, 0, TracingProc, &trace, TracingDone), 1);
  RunUntilFinished(thread);

  EXPECT_EQ(trace.steps, (std::vector<std::string>{"proc", "done"}));
  EXPECT_NE(trace.procThread, std::this_thread::get_id());
  EXPECT_EQ(trace.doneThread, std::this_thread::get_id());
  EXPECT_EQ(trace.procDoneInProc, 0);
  EXPECT_EQ(trace.procDoneInDone, 1);
  EXPECT_EQ(trace.finishedInDone, 0);
  EXPECT_EQ(thread.procDone.load(), 1);
  EXPECT_TRUE(IsFinished(thread));
}

TEST_F(WorkerThreadTest, AThreadObjectCanBeStartedAgainAfterItFinished) {
  WorkerThread thread;
  for (int round = 0; round < 3; ++round) {
    Trace trace;
    ASSERT_EQ(StartWorker(thread, 0, TracingProc, &trace, TracingDone), 1);
    RunUntilFinished(thread);
    EXPECT_EQ(trace.steps, (std::vector<std::string>{"proc", "done"})) << "round " << round;
  }
}

TEST_F(WorkerThreadTest, WithoutDispatcherOnDoneNeverRunsButTheThreadFinishes) {
  RemoveDispatcher();
  std::atomic<int> ran{0};
  EXPECT_EQ(RunInGuiThread([&] { ran = 1; }), 0);
  EXPECT_EQ(ran.load(), 0);

  Trace trace;
  WorkerThread thread;
  ASSERT_EQ(StartWorker(thread, 0, TracingProc, &trace, TracingDone), 1);
  while (!IsFinished(thread)) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"proc"}));
}

TEST_F(WorkerThreadTest, RunInGuiThreadReturnsOnlyAfterTheFunctionRan) {
  struct Shared {
    std::atomic<int> value{0};
    int seenAfterReturn = -1;
    int result = -1;
  } shared;
  WorkerThread thread;
  ASSERT_EQ(StartWorker(
                thread, 0,
                [](WorkerThread& t) {
                  auto* s = static_cast<Shared*>(t.arg);
                  s->result = RunInGuiThread([s] {
                    // Slow on purpose: a hand-off that did not wait would see 0 below.
                    std::this_thread::sleep_for(20ms);
                    s->value = 7;
                  });
                  s->seenAfterReturn = s->value.load();
                },
                &shared, nullptr),
            1);
  RunUntilFinished(thread);
  EXPECT_EQ(shared.result, 1);
  EXPECT_EQ(shared.seenAfterReturn, 7);
}

TEST_F(WorkerThreadTest, HandOffsRunInOrderOnTheOwnerThread) {
  std::vector<int> order;  // written only on the owner thread
  std::set<std::thread::id> threads;
  WorkerThread thread;
  struct Ctx {
    std::vector<int>* order;
    std::set<std::thread::id>* threads;
  } ctx{&order, &threads};
  ASSERT_EQ(StartWorker(
                thread, 0,
                [](WorkerThread& t) {
                  auto* c = static_cast<Ctx*>(t.arg);
                  for (int i = 0; i < 50; ++i) {
                    RunInGuiThread([c, i] {
                      c->order->push_back(i);
                      c->threads->insert(std::this_thread::get_id());
                    });
                  }
                },
                &ctx, nullptr),
            1);
  RunUntilFinished(thread);
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(WorkerThreadTest, OwnerThreadRunsItsOwnHandOffAtOnce) {
  int ran = 0;
  EXPECT_EQ(RunInGuiThread([&] { ran = 1; }), 1);
  EXPECT_EQ(ran, 1);
}

TEST_F(WorkerThreadTest, ClosingTheQueueReleasesABlockedWorker) {
  struct Shared {
    std::atomic<int> posted{0};
    std::atomic<int> ran{0};
    std::atomic<int> result{-1};
  } shared;
  WorkerThread thread;
  ASSERT_EQ(StartWorker(
                thread, 0,
                [](WorkerThread& t) {
                  auto* s = static_cast<Shared*>(t.arg);
                  s->posted = 1;
                  s->result = RunInGuiThread([s] { s->ran = 1; });
                },
                &shared, nullptr),
            1);
  while (shared.posted.load() == 0) std::this_thread::sleep_for(1ms);
  // Give the worker time to queue its call; Close must release it either way.
  std::this_thread::sleep_for(10ms);
  queue_->Close();
  while (!IsFinished(thread)) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(shared.result.load(), 0);
  EXPECT_EQ(shared.ran.load(), 0);
}

TEST(WorkerPoolTest, ReapSlotsFreesFinishedSlotsAndDropsTrailingFreeOnes) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> busy;
    std::vector<std::uint8_t> finished;
    int active;
    std::vector<std::uint8_t> busyAfter;
    int activeAfter;
  };
  const std::vector<Case> cases = {
      {"nothing active", {0, 0, 0}, {0, 0, 0}, 0, {0, 0, 0}, 0},
      {"all running", {1, 1, 1}, {0, 0, 0}, 3, {1, 1, 1}, 3},
      {"last finished", {1, 1, 1}, {0, 0, 1}, 3, {1, 1, 0}, 2},
      {"middle finished keeps the range", {1, 1, 1}, {0, 1, 0}, 3, {1, 0, 1}, 3},
      {"trailing run of free slots", {1, 1, 0, 1}, {0, 0, 0, 1}, 4, {1, 1, 0, 0}, 2},
      {"all finished", {1, 1, 1}, {1, 1, 1}, 3, {0, 0, 0}, 0},
      {"free slot that is finished stays free", {0, 1}, {1, 0}, 2, {0, 1}, 2},
      {"slots past active are left alone", {1, 1, 1}, {1, 1, 1}, 1, {0, 1, 1}, 0},
      {"active past the array is cut", {1, 1}, {0, 0}, 9, {1, 1}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<WorkerSlot> slots(c.busy.size());
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i].thread.finished = c.finished[i];
    std::vector<std::uint8_t> busy = c.busy;
    EXPECT_EQ(ReapSlots(slots, busy, c.active), c.activeAfter);
    EXPECT_EQ(busy, c.busyAfter);
  }
}

TEST(WorkerPoolTest, FindSlotTakesTheHighestMatchingIndexBelowActive) {
  struct Case {
    std::vector<std::uint8_t> busy;
    int active;
    std::uint8_t wanted;
    int expected;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0}, 0, 0, -1},  // nothing active: no slot, even if free
      {{1, 0, 1}, 3, 0, 1},  {{0, 0, 1}, 3, 0, 1},  {{1, 1, 1}, 3, 0, -1}, {{1, 0, 1}, 3, 1, 2},
      {{1, 0, 1}, 2, 1, 0},  {{0, 0, 0}, 3, 1, -1}, {{0, 1}, 5, 0, 0},  // active beyond the array
                                                                        // is cut to it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "active " << c.active << " wanted " << int(c.wanted));
    EXPECT_EQ(FindSlot(c.busy, c.active, c.wanted), c.expected);
  }
}

// Shared state of the dispatch-loop jobs.
struct PoolRun {
  std::atomic<int> running{0};
  std::atomic<int> maxRunning{0};
  std::atomic<int> completed{0};
  std::atomic<bool> stop{false};
  int stopAfterStarts = -1;
  std::atomic<int> starts{0};
  std::mutex mutex;
  std::vector<int> jobsSeen;
};

void PoolJob(WorkerThread& thread) {
  auto* slot = static_cast<WorkerSlot*>(thread.arg);
  auto* run = static_cast<PoolRun*>(slot->run);
  const int now = ++run->running;
  int seen = run->maxRunning.load();
  while (now > seen && !run->maxRunning.compare_exchange_weak(seen, now)) {
  }
  {
    std::lock_guard lock(run->mutex);
    run->jobsSeen.push_back(slot->job);
  }
  if (++run->starts == run->stopAfterStarts) run->stop = true;
  // Later jobs take longer, so a loop that stopped waiting early would miss them.
  std::this_thread::sleep_for(std::chrono::milliseconds(5 + 2 * slot->job));
  --run->running;
  ++run->completed;
}

// A pass of jobCount PoolJob jobs over run, at most limit at a time.
DispatchPass PoolPass(PoolRun& run, int jobCount, int limit) {
  DispatchPass pass;
  pass.jobCount = jobCount;
  pass.limit = limit;
  pass.run = &run;
  pass.proc = PoolJob;
  return pass;
}

TEST(WorkerPoolTest, DispatchLoopKeepsToTheLimitAndWaitsForEveryJob) {
  PoolRun run;
  DispatchPass pass = PoolPass(run, 10, 3);
  EXPECT_EQ(RunDispatchLoop(pass), 10);
  EXPECT_EQ(run.completed.load(), 10);
  EXPECT_LE(run.maxRunning.load(), 3);
  EXPECT_GE(run.maxRunning.load(), 2);  // the pool did run jobs side by side
  std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::sort(run.jobsSeen.begin(), run.jobsSeen.end());
  EXPECT_EQ(run.jobsSeen, expected);
}

TEST(WorkerPoolTest, JobsThePassDoesNotHandleAreSkippedWithoutASlot) {
  PoolRun run;
  DispatchPass pass = PoolPass(run, 9, 1);
  pass.handles = [](int job) { return job % 3 == 0; };
  EXPECT_EQ(RunDispatchLoop(pass), 3);
  std::sort(run.jobsSeen.begin(), run.jobsSeen.end());
  EXPECT_EQ(run.jobsSeen, (std::vector<int>{0, 3, 6}));
  EXPECT_EQ(run.maxRunning.load(), 1);
}

TEST(WorkerPoolTest, StopStartsNoMoreWorkersButWaitsForTheRunningOnes) {
  PoolRun run;
  run.stopAfterStarts = 2;
  DispatchPass pass = PoolPass(run, 10, 2);
  pass.stopRequested = [&run] { return run.stop.load(); };
  const int started = RunDispatchLoop(pass);
  EXPECT_GE(started, 2);
  EXPECT_LT(started, 10);
  EXPECT_EQ(run.completed.load(), started);
  EXPECT_EQ(run.running.load(), 0);
}

TEST(WorkerPoolTest, LimitsOutsideThePoolAreClamped) {
  for (int limit : {0, -4, 40}) {
    SCOPED_TRACE(limit);
    PoolRun run;
    DispatchPass pass = PoolPass(run, 12, limit);
    EXPECT_EQ(RunDispatchLoop(pass), 12);
    EXPECT_EQ(run.completed.load(), 12);
    EXPECT_LE(run.maxRunning.load(), limit > 0 ? kPoolSlots : 1);
  }
}

TEST(WorkerPoolTest, EmptyJobListEndsAtOnce) {
  DispatchPass pass;
  pass.jobCount = 0;
  pass.limit = 3;
  pass.proc = PoolJob;
  EXPECT_EQ(RunDispatchLoop(pass), 0);
}

}  // namespace
}  // namespace sondrel
