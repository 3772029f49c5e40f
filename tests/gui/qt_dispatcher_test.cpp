// The Qt hand-off: workers' functions run on the main thread, shut-down never strands a worker,
// and the main thread can wait for workers without spinning.
#include "shell/qt_dispatcher.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "support/modal.h"

namespace sondrel {
namespace {

TEST(QtDispatcherTest, WorkerCallsRunOnTheMainThreadInOrder) {
  QtDispatcher dispatcher;
  const std::thread::id mainThread = std::this_thread::get_id();

  bool direct = false;
  EXPECT_TRUE(dispatcher.RunSync([&] { direct = true; }));
  EXPECT_TRUE(direct);  // on the main thread: at once, no event loop needed

  std::vector<int> order;
  std::vector<std::thread::id> ranOn;
  std::atomic<int> accepted{0};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      if (dispatcher.RunSync([&, i] {
            order.push_back(i);
            ranOn.push_back(std::this_thread::get_id());
          })) {
        ++accepted;
      }
    }
    finished = true;
  });
  EXPECT_TRUE(guitest::WaitUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(accepted.load(), 50);
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(ranOn[static_cast<std::size_t>(i)], mainThread);
  }
}

TEST(QtDispatcherTest, CloseReleasesABlockedWorkerAndRefusesLaterCalls) {
  QtDispatcher dispatcher;
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = dispatcher.RunSync([&] { ran = true; }) ? 1 : 0; });
  // No event is processed here, so the worker's call can only be pending or not yet posted;
  // either way Close must let it go without running it.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  dispatcher.Close();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_TRUE(dispatcher.Closed());

  std::thread late([&] { result = dispatcher.RunSync([&] { ran = true; }) ? 1 : 0; });
  late.join();
  EXPECT_EQ(result.load(), 0);
  QCoreApplication::processEvents();  // the queued drain finds nothing left to run
  EXPECT_FALSE(ran.load());
}

TEST(QtDispatcherTest, WaitUntilRunsWorkerCallsAndWakesOnWake) {
  QtDispatcher dispatcher;
  QSignalSpy finishedSpy(&dispatcher, &QtDispatcher::workerFinished);

  // The worker's completion needs the main thread while the main thread waits for it.
  bool completed = false;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    (void)dispatcher.RunSync([&] { completed = true; });
    done = true;
    dispatcher.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  constexpr int kLongTimeoutMs = 60000;
  EXPECT_TRUE(dispatcher.WaitUntil([&] { return done.load(); }, kLongTimeoutMs));
  // Woken, not timed out.
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(kLongTimeoutMs / 2));
  worker.join();
  EXPECT_TRUE(completed);

  // workerFinished arrives through the event loop.
  EXPECT_TRUE(guitest::WaitUntil([&] { return finishedSpy.count() == 1; }));

  EXPECT_FALSE(dispatcher.WaitUntil([] { return false; }, 30));
}

TEST(QtDispatcherTest, RunInGuiThreadGoesThroughTheInstalledDispatcher) {
  auto dispatcher = QtDispatcher::Create();
  InstallDispatcher(dispatcher);
  std::atomic<int> result{-1};
  bool ran = false;
  std::thread worker([&] {
    result = RunInGuiThread([&] { ran = true; });
    WakeDispatcher();
  });
  EXPECT_TRUE(dispatcher->WaitUntil([&] { return result.load() >= 0; }, 60000));
  worker.join();
  RemoveDispatcher();
  EXPECT_EQ(result.load(), 1);
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace sondrel
