#pragma once
// A bounded pool of worker slots: the verification runs many checks at once through it, at
// most "Max Concurrent Connections" of them, never more than the 25 slots of a pool.

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "tasks/worker_thread.h"

namespace sondrel {

constexpr int kPoolSlots = 25;

struct WorkerSlot {
  int job = -1;         // index of the job in the run's job list
  void* run = nullptr;  // the owning run
  WorkerThread thread;  // its arg points back at this slot
};

// Every busy slot whose thread has finished becomes free, then trailing free slots leave the
// active range. Returns the new active count.
int ReapSlots(std::span<WorkerSlot> slots, std::span<std::uint8_t> busy, int active);
// The highest index below active whose busy byte equals wanted (0 free, 1 busy), or -1.
int FindSlot(std::span<const std::uint8_t> busy, int active, std::uint8_t wanted);

struct DispatchPass {
  int jobCount = 0;
  int limit = 1;                         // concurrent workers; kept within 1..kPoolSlots
  void* run = nullptr;                   // handed to every slot
  WorkerProc proc = nullptr;             // runs one job; thread.arg is its WorkerSlot
  std::function<bool(int job)> handles;  // whether this pass takes the job; null takes all
  std::function<bool()> stopRequested;   // tested before each start; null never stops
};

// Starts one worker per handled job, at most limit at a time, in job order, and returns only
// after every started worker has finished. Once stopRequested holds no further worker starts.
// Returns the number of workers started. Run it on a background thread, never on the
// interface thread: the workers may hand work to that thread.
int RunDispatchLoop(const DispatchPass& pass);

}  // namespace sondrel
