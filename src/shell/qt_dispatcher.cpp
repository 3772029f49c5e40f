#include "shell/qt_dispatcher.h"

#include <chrono>

#include <QMetaObject>

namespace sondrel {

QtDispatcher::QtDispatcher() : owner_(std::this_thread::get_id()) {}

QtDispatcher::~QtDispatcher() {
  Close();
}

std::shared_ptr<QtDispatcher> QtDispatcher::Create() {
  const std::thread::id owner = std::this_thread::get_id();
  return std::shared_ptr<QtDispatcher>(new QtDispatcher, [owner](QtDispatcher* dispatcher) {
    if (std::this_thread::get_id() == owner) {
      delete dispatcher;
    } else {
      dispatcher->Close();
      dispatcher->deleteLater();
    }
  });
}

bool QtDispatcher::RunSync(const std::function<void()>& fn) {
  if (!fn) return false;
  if (std::this_thread::get_id() == owner_) {
    fn();
    return true;
  }
  // The call lives on this worker's stack; the main thread touches it only under the mutex,
  // and this thread leaves only after it was marked done or dropped.
  Call call{&fn};
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  calls_.push_back(&call);
  // One queued drain serves every call posted before it starts.
  if (!drainPosted_) {
    drainPosted_ = true;
    QMetaObject::invokeMethod(this, [this] { RunPendingCalls(); }, Qt::QueuedConnection);
  }
  changed_.notify_all();  // a main thread inside WaitUntil runs it from there
  finished_.wait(lock, [&] { return call.done || call.dropped; });
  return call.done;
}

void QtDispatcher::RunPendingCalls() {
  std::unique_lock lock(mutex_);
  drainPosted_ = false;
  while (!calls_.empty()) {
    Call* call = calls_.front();
    calls_.pop_front();
    lock.unlock();
    // fn may open a modal window whose event loop runs further calls meanwhile.
    (*call->fn)();
    lock.lock();
    call->done = true;
    finished_.notify_all();
  }
}

void QtDispatcher::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakes_;
    changed_.notify_all();
  }
  QMetaObject::invokeMethod(this, [this] { emit workerFinished(); }, Qt::QueuedConnection);
}

void QtDispatcher::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (Call* call : calls_) call->dropped = true;
  calls_.clear();
  finished_.notify_all();
}

bool QtDispatcher::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

bool QtDispatcher::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const bool onOwner = std::this_thread::get_id() == owner_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (onOwner) RunPendingCalls();
    std::uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = wakes_;
    }
    // done() runs unlocked: it may read anything, even hand work to RunSync.
    if (done()) return true;
    std::unique_lock lock(mutex_);
    const auto woken = [&] { return wakes_ != seen || (onOwner && !calls_.empty()); };
    if (timeoutMs < 0) {
      changed_.wait(lock, woken);
    } else if (!changed_.wait_until(lock, deadline, woken)) {
      lock.unlock();
      return done();
    }
  }
}

}  // namespace sondrel
