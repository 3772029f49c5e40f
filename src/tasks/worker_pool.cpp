#include "tasks/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace sondrel {

namespace {

// Upper bound of one idle wait. Finishing workers wake the loop at once; the bound only limits
// how late a stop request is noticed and how soon a failed thread start is retried.
constexpr std::chrono::milliseconds kIdleWait{20};

}  // namespace

int ReapSlots(std::span<WorkerSlot> slots, std::span<std::uint8_t> busy, int active) {
  const int count = static_cast<int>(std::min(slots.size(), busy.size()));
  active = std::clamp(active, 0, count);
  for (int i = 0; i < active; ++i) {
    if (busy[i] != 0 && IsFinished(slots[i].thread)) busy[i] = 0;
  }
  while (active > 0 && busy[active - 1] == 0) --active;
  return active;
}

int FindSlot(std::span<const std::uint8_t> busy, int active, std::uint8_t wanted) {
  for (int i = std::min(active, static_cast<int>(busy.size())) - 1; i >= 0; --i) {
    if (busy[i] == wanted) return i;
  }
  return -1;
}

int RunDispatchLoop(const DispatchPass& pass) {
  // The slots are on the heap: a pool is too big for a worker's stack and its address must not
  // move while the workers point into it.
  auto slots = std::make_unique<std::array<WorkerSlot, kPoolSlots>>();
  std::array<std::uint8_t, kPoolSlots> busy{};
  auto signal = std::make_shared<WorkerSignal>();
  // A limit below 1 would never start anything and never end.
  const int limit = std::clamp(pass.limit, 1, kPoolSlots);
  const auto stopped = [&] { return pass.stopRequested && pass.stopRequested(); };

  int active = 0;
  int started = 0;
  int index = 0;
  while (!stopped() && index < pass.jobCount) {
    const std::uint64_t seen = signal->Generation();
    active = ReapSlots(*slots, busy, active);
    int slot = FindSlot(busy, active, 0);
    if (slot < 0 && active < limit) slot = active++;
    if (pass.handles && !pass.handles(index)) {
      ++index;
      continue;
    }
    if (slot < 0) {
      signal->WaitForChange(seen, kIdleWait);
      continue;
    }
    WorkerSlot& s = (*slots)[slot];
    s.job = index;
    s.run = pass.run;
    if (StartWorker(s.thread, 0, pass.proc, &s, nullptr, signal) == 1) {
      busy[slot] = 1;
      ++started;
      ++index;
    } else {
      // Out of threads for the moment: try the same job again after a pause.
      signal->WaitForChange(seen, kIdleWait);
    }
  }

  for (;;) {
    const std::uint64_t seen = signal->Generation();
    active = ReapSlots(*slots, busy, active);
    if (FindSlot(busy, active, 1) == -1 && active <= 0) break;
    signal->WaitForChange(seen, kIdleWait);
  }
  return started;
}

}  // namespace sondrel
