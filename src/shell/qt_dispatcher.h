#pragma once
// RunInGuiThread's Qt side. The application installs one at start-up; a worker's RunSync posts
// the function to the Qt main thread and blocks until it ran there or the dispatcher was closed.
// The queue itself is the core's; this adds the Qt event that serves it and the signal that
// tells the window a worker finished.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <QObject>

#include "tasks/gui_dispatch.h"

namespace sondrel {

class QtDispatcher : public QObject, public MainThreadQueue {
  Q_OBJECT

 public:
  QtDispatcher();  // on the Qt main thread
  ~QtDispatcher() override;

  // For InstallDispatcher: a worker may drop the last reference, so the object is deleted on
  // the main thread (at once there, else through its event loop).
  static std::shared_ptr<QtDispatcher> Create();

  // A worker finished: wakes WaitUntil and emits workerFinished() on the main thread.
  void Wake() override;

  // Main thread: waits without a busy loop (a condition variable woken by Wake and by posted
  // calls, which it runs meanwhile) until done() holds or timeoutMs passed (negative: no
  // limit). True when done() held. Other Qt events wait until control returns to the loop.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    return RunUntil(done, timeoutMs);
  }

 signals:
  void workerFinished();

 protected:
  void Posted() override;

 private:
  std::atomic<bool> drainPosted_{false};  // a RunPending event is on its way
};

}  // namespace sondrel
