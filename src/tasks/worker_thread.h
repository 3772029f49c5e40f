#pragma once
// The thread object of every background operation (the search, a verification run and its
// checks, a download). The owner keeps the WorkerThread and must not release it before
// IsFinished; stopping is cooperative through the flags the procedure itself tests.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace sondrel {

struct WorkerThread;
using WorkerProc = void (*)(WorkerThread& thread);

// Wakes whoever waits for any of a group of workers to finish (the verification dispatch
// loop), so that waiting costs no CPU and no fixed polling delay.
class WorkerSignal {
 public:
  void Notify();
  std::uint64_t Generation();
  // Waits until Notify was called since Generation() returned seen, or timeout passed.
  void WaitForChange(std::uint64_t seen, std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t generation_ = 0;
};

struct WorkerThread {
  std::atomic<std::uint8_t> procDone{0};  // proc has returned
  std::atomic<std::uint8_t> finished{0};  // last step of the thread, after onDone ran
  WorkerProc proc = nullptr;
  void* arg = nullptr;          // the caller's argument, for proc
  WorkerProc onDone = nullptr;  // runs on the interface thread; may be null
};

// Starts proc(thread) on a new thread. When proc has returned, procDone is set, onDone (if
// any) runs on the interface thread through RunInGuiThread and the worker waits for it, and
// finally finished is set; after that the thread touches nothing of the WorkerThread, and
// pokes signal (if any) and the installed dispatcher. priority 0 is the only one used and means
// normal. Returns 1, or 0 when no thread could be created (then nothing runs, onDone included).
[[nodiscard]] int StartWorker(WorkerThread& thread, int priority, WorkerProc proc, void* arg,
                              WorkerProc onDone, std::shared_ptr<WorkerSignal> signal = nullptr);

bool IsFinished(const WorkerThread& thread);

}  // namespace sondrel
