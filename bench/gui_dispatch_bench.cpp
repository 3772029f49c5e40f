// Cost of handing work from a worker to the interface thread: a worker makes 16,000
// RunInGuiThread calls that sondrel-cli's MainThreadQueue runs on the main thread, each call
// blocking until its function ran. Real time is what a worker loses per row it hands over.

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

#include "tasks/gui_dispatch.h"
#include "tasks/worker_thread.h"

namespace {

using namespace sondrel;

constexpr int kHandOffs = 16000;

struct Counter {
  std::atomic<long> value{0};
};

void HandOffs(WorkerThread& thread) {
  auto* counter = static_cast<Counter*>(thread.arg);
  for (int i = 0; i < kHandOffs; ++i) {
    (void)RunInGuiThread([counter] { counter->value.fetch_add(1, std::memory_order_relaxed); });
  }
}

void BM_RunInGuiThread(benchmark::State& state) {
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  Counter counter;
  for (auto _ : state) {
    WorkerThread worker;
    if (StartWorker(worker, 0, HandOffs, &counter, nullptr) != 1) {
      state.SkipWithError("no worker thread");
      break;
    }
    queue->RunUntil([&] { return IsFinished(worker); });
  }
  RemoveDispatcher();
  queue->Close();
  if (counter.value.load() != static_cast<long>(state.iterations()) * kHandOffs) {
    state.SkipWithError("hand-offs lost");
  }
  state.SetItemsProcessed(state.iterations() * kHandOffs);
  state.counters["per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kHandOffs,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunInGuiThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: the same calls made by the main thread itself, which runs them at once.
void BM_RunInGuiThreadOnOwner(benchmark::State& state) {
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  Counter counter;
  WorkerThread self;
  self.arg = &counter;
  for (auto _ : state) HandOffs(self);
  RemoveDispatcher();
  state.SetItemsProcessed(state.iterations() * kHandOffs);
  state.counters["per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kHandOffs,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunInGuiThreadOnOwner)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
