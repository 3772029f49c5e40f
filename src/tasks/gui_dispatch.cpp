#include "tasks/gui_dispatch.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace sondrel {

namespace {

std::mutex gDispatcherMutex;
std::shared_ptr<GuiDispatcher> gDispatcher;

}  // namespace

void InstallDispatcher(std::shared_ptr<GuiDispatcher> dispatcher) {
  std::lock_guard lock(gDispatcherMutex);
  gDispatcher = std::move(dispatcher);
}

void RemoveDispatcher() {
  std::shared_ptr<GuiDispatcher> old;
  {
    std::lock_guard lock(gDispatcherMutex);
    old.swap(gDispatcher);
  }
  // old may be the last reference; let it go outside the lock.
}

std::shared_ptr<GuiDispatcher> CurrentDispatcher() {
  std::lock_guard lock(gDispatcherMutex);
  return gDispatcher;
}

int RunInGuiThread(const std::function<void()>& fn) {
  if (!fn) return 0;
  std::shared_ptr<GuiDispatcher> dispatcher = CurrentDispatcher();
  if (!dispatcher) return 0;
  return dispatcher->RunSync(fn) ? 1 : 0;
}

int RunInGuiThread(void (*fn)(void*), void* arg) {
  if (fn == nullptr) return 0;
  return RunInGuiThread([fn, arg] { fn(arg); });
}

void WakeDispatcher() {
  if (std::shared_ptr<GuiDispatcher> dispatcher = CurrentDispatcher()) dispatcher->Wake();
}

MainThreadQueue::MainThreadQueue() : owner_(std::this_thread::get_id()) {}

MainThreadQueue::~MainThreadQueue() {
  Close();
}

bool MainThreadQueue::RunSync(const std::function<void()>& fn) {
  if (!fn) return false;
  if (std::this_thread::get_id() == owner_) {
    fn();
    return true;
  }
  // The call lives on this worker's stack; the owner only touches it under the mutex, and
  // this thread leaves only after the owner marked it done or dropped.
  Call call{&fn};
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  calls_.push_back(&call);
  posted_.notify_one();
  Posted();
  finished_.wait(lock, [&] { return call.done || call.dropped; });
  return call.done;
}

void MainThreadQueue::Wake() {
  std::lock_guard lock(mutex_);
  ++wakes_;
  posted_.notify_one();
}

bool MainThreadQueue::RunOne(std::unique_lock<std::mutex>& lock) {
  if (calls_.empty()) return false;
  Call* call = calls_.front();
  calls_.pop_front();
  lock.unlock();
  // fn may open a modal window whose event loop serves further calls meanwhile.
  (*call->fn)();
  lock.lock();
  call->done = true;
  finished_.notify_all();
  return true;
}

void MainThreadQueue::RunPending() {
  std::unique_lock lock(mutex_);
  while (RunOne(lock)) {
  }
}

bool MainThreadQueue::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (RunOne(lock)) continue;
    const std::uint64_t seen = wakes_;
    // done() runs unlocked: it may read anything, even hand work to RunSync.
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished && calls_.empty()) return true;
    if (finished) continue;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRecheckMs);
    if (timeoutMs >= 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      until = std::min(until, deadline);
    }
    posted_.wait_until(lock, until, [&] { return !calls_.empty() || wakes_ != seen; });
  }
}

void MainThreadQueue::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (Call* call : calls_) call->dropped = true;
  calls_.clear();
  finished_.notify_all();
}

bool MainThreadQueue::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace sondrel
