#include "shell/qt_dispatcher.h"

#include <QMetaObject>

namespace sondrel {

QtDispatcher::QtDispatcher() = default;

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

void QtDispatcher::Posted() {
  // One queued event serves every call posted before it runs.
  if (drainPosted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        drainPosted_ = false;
        RunPending();
      },
      Qt::QueuedConnection);
}

void QtDispatcher::Wake() {
  MainThreadQueue::Wake();
  QMetaObject::invokeMethod(this, [this] { emit workerFinished(); }, Qt::QueuedConnection);
}

}  // namespace sondrel
