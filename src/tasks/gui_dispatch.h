#pragma once
// Hand-off from worker threads to the interface thread. A worker never touches the front end
// itself: it passes a function to RunInGuiThread, which runs it on the interface thread and
// returns only after it ran. The front end decides what "the interface thread" is by installing
// a dispatcher: the GUI one runs functions on the Qt main thread, sondrel-cli serves a
// MainThreadQueue from its main thread. Without a dispatcher nothing runs.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace sondrel {

class GuiDispatcher {
 public:
  virtual ~GuiDispatcher() = default;
  // Runs fn on the interface thread and returns after it ran; false when fn was not run
  // because the dispatcher is shutting down.
  virtual bool RunSync(const std::function<void()>& fn) = 0;
  // Asks the interface thread to look at its wait condition again (a worker finished).
  virtual void Wake() {}
};

// Installing replaces any earlier dispatcher. A worker already inside RunInGuiThread keeps the
// dispatcher it started with alive until its call returns.
void InstallDispatcher(std::shared_ptr<GuiDispatcher> dispatcher);
void RemoveDispatcher();
std::shared_ptr<GuiDispatcher> CurrentDispatcher();

// 1 when fn ran on the interface thread, 0 when there is no dispatcher or it refused.
int RunInGuiThread(const std::function<void()>& fn);
int RunInGuiThread(void (*fn)(void*), void* arg);
// Wake() on the installed dispatcher, if any.
void WakeDispatcher();

// The interface thread as a queue of calls: the thread that constructs the queue owns it and
// serves it; any other thread posts with RunSync and blocks until its call ran. sondrel-cli
// serves it with RunUntil; the GUI's dispatcher adds a Qt event that runs RunPending.
class MainThreadQueue : public GuiDispatcher {
 public:
  MainThreadQueue();
  ~MainThreadQueue() override;

  // From the owner thread fn runs at once (waiting for ourselves would never end).
  bool RunSync(const std::function<void()>& fn) override;
  void Wake() override;

  // Owner thread only: runs posted functions in order until done() holds and nothing is
  // queued, or timeoutMs passed (negative: no limit); true when done() held. Sleeps on a
  // condition variable in between; done() is tested unlocked after every function, on every
  // Wake and at least every kRecheckMs.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = -1);
  // Owner thread only: runs every call posted so far, in order, and returns.
  void RunPending();

  // Refuses every pending and later RunSync so that no worker stays blocked on a queue that
  // nobody serves any more. Called by the destructor too.
  void Close();
  bool Closed() const;

  static constexpr int kRecheckMs = 100;

 protected:
  // A call was queued (under the queue's lock): a front end with an event loop asks it here to
  // run RunPending soon. Must not call back into the queue.
  virtual void Posted() {}

 private:
  struct Call {
    const std::function<void()>* fn;
    bool done = false;     // ran
    bool dropped = false;  // refused by Close
  };
  // Runs the first queued call with the lock released; false when there was none.
  bool RunOne(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable posted_;    // owner waits: a call arrived or Wake
  std::condition_variable finished_;  // workers wait: their call ran or was dropped
  std::deque<Call*> calls_;
  std::uint64_t wakes_ = 0;
  bool closed_ = false;
  std::thread::id owner_;
};

}  // namespace sondrel
