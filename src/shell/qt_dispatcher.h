#pragma once
// RunInGuiThread's Qt side. The application installs one at start-up; a worker's RunSync posts
// the function to the Qt main thread and blocks until it ran there or the dispatcher was closed.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QObject>

#include "tasks/gui_dispatch.h"

namespace sondrel {

class QtDispatcher : public QObject, public GuiDispatcher {
  Q_OBJECT

 public:
  QtDispatcher();  // on the Qt main thread
  ~QtDispatcher() override;

  // For InstallDispatcher: a worker may drop the last reference, so the object is deleted on
  // the main thread (at once there, else through its event loop).
  static std::shared_ptr<QtDispatcher> Create();

  // Runs fn directly when called on the main thread; from another thread posts it and waits.
  bool RunSync(const std::function<void()>& fn) override;
  // A worker finished: wakes WaitUntil and emits workerFinished() on the main thread.
  void Wake() override;
  // Refuses every pending and later RunSync from a worker (shut-down).
  void Close();
  bool Closed() const;
  // Main thread: waits without a busy loop (a condition variable woken by Wake and by posted
  // calls, which it runs meanwhile) until done() holds or timeoutMs passed (negative: no
  // limit). True when done() held. Other Qt events wait until control returns to the loop.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

 signals:
  void workerFinished();

 private:
  struct Call {
    const std::function<void()>* fn;
    bool done = false;     // ran
    bool dropped = false;  // refused by Close
  };
  // Main thread: runs every posted call in order.
  void RunPendingCalls();

  mutable std::mutex mutex_;
  std::condition_variable changed_;   // main thread waits: a call arrived, or Wake
  std::condition_variable finished_;  // workers wait: their call ran or was dropped
  std::deque<Call*> calls_;           // posted, not yet run, in order
  bool drainPosted_ = false;          // a RunPendingCalls event is on its way
  std::uint64_t wakes_ = 0;
  bool closed_ = false;
  std::thread::id owner_;
};

}  // namespace sondrel
