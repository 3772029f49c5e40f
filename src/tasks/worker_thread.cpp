#include "tasks/worker_thread.h"

#include <system_error>
#include <thread>
#include <utility>

#include "tasks/gui_dispatch.h"

namespace sondrel {

void WorkerSignal::Notify() {
  std::lock_guard lock(mutex_);
  ++generation_;
  changed_.notify_all();
}

std::uint64_t WorkerSignal::Generation() {
  std::lock_guard lock(mutex_);
  return generation_;
}

void WorkerSignal::WaitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return generation_ != seen; });
}

namespace {

void WorkerBody(WorkerThread* thread, std::shared_ptr<WorkerSignal> signal) {
  thread->finished.store(0);
  if (thread->proc != nullptr) thread->proc(*thread);
  thread->procDone.store(1);
  if (WorkerProc onDone = thread->onDone) {
    RunInGuiThread([onDone, thread] { onDone(*thread); });
  }
  // The owner may release the object as soon as it sees finished: nothing below touches it.
  thread->finished.store(1);
  if (signal) signal->Notify();
  WakeDispatcher();
}

}  // namespace

int StartWorker(WorkerThread& thread, int priority, WorkerProc proc, void* arg, WorkerProc onDone,
                std::shared_ptr<WorkerSignal> signal) {
  // Every caller asks for normal priority, which is what a new thread gets anyway.
  (void)priority;
  thread.procDone.store(0);
  thread.finished.store(0);
  thread.proc = proc;
  thread.arg = arg;
  thread.onDone = onDone;
  // The default stack: worker procedures keep their big buffers on the heap, but the libraries
  // they call (name lookup among them) are not written for a tiny stack.
  try {
    std::thread(WorkerBody, &thread, std::move(signal)).detach();
  } catch (const std::system_error&) {
    return 0;
  }
  return 1;
}

bool IsFinished(const WorkerThread& thread) {
  return thread.finished.load() != 0;
}

}  // namespace sondrel
