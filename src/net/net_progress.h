#pragma once
// The record every network operation reports through, the clock, the stop flag and the idle
// hook that the waits of the socket layer call.

#include <atomic>
#include <cstdint>
#include <string>

#include "net/net_failure.h"

namespace sondrel {

enum NetState {
  kNetStateNone = 0,
  kNetStateResolving = 1,
  kNetStateConnecting = 2,
  kNetStateConnected = 3,
  kNetStateData = 6,
  kNetStateSending = 7,
  kNetStateReceived = 8,
  kNetStateWaiting = 9,
  kNetStateLoggedIn = 10,
};

// The cancel flag of one operation (a search, a verification run, a download, an update): set
// by its Stop or Cancel, read by every wait of that operation and of no other.
class CancelFlag {
 public:
  void Cancel() { requested_.store(true); }
  void Reset() { requested_.store(false); }
  bool Requested() const { return requested_.load(); }

 private:
  std::atomic<bool> requested_{false};
};

struct NetProgress;
using NetProgressFn = void (*)(NetProgress& progress);
using NetCancelFn = bool (*)(NetProgress& progress);

// One per network operation, owned by the caller. Sizes are 64-bit so that files past 2 GiB
// count correctly.
struct NetProgress {
  void* userData = nullptr;
  int port = 0;
  std::string text;  // host name, then peer address; the HTTP client puts request and header here
  NetProgressFn onProgress = nullptr;
  int attempts = 1;
  int timeoutSeconds = 0;
  bool timeoutOn = false;
  int state = kNetStateNone;
  std::int64_t transferred = 0;
  std::int64_t total = -1;  // -1 when unknown
  std::int64_t elapsedMs = 0;
  NetCancelFn shouldCancel = nullptr;
  const CancelFlag* cancel = nullptr;  // the operation's own flag; null when it has none
  NetFailure failure;                  // why the operation failed, filled where it failed
};

// The record for one operation that gives up after timeoutSeconds, with one connect attempt.
NetProgress TimedProgress(int timeoutSeconds, NetProgressFn onProgress, NetCancelFn shouldCancel,
                          void* userData);

// Calls onProgress when set.
void ReportProgress(NetProgress& progress);
// Sets state and calls onProgress.
void ReportState(NetProgress& progress, int state);
// Whether the operation's cancel flag is set or shouldCancel asks to stop.
bool CancelRequested(NetProgress* progress);

// The wording shown for a state: "Resolving", ..., "%ld / %ld (%d %%)" or "Received %ld bytes"
// for data; empty for states that show nothing.
std::string FormatProgress(const NetProgress& progress);

// Millisecond tick count (wraps after 49 days; differences stay right in unsigned arithmetic).
std::uint32_t NowMillis();
// Whole seconds of a monotonic clock that does not wrap, so a timeout never fires at a wrap.
std::uint64_t NowSeconds();
// True when timeoutOn is set and more than timeoutSeconds whole seconds passed since start.
bool TimedOut(const NetProgress* progress, std::uint64_t startSeconds);

// The stop flag: set by Stop, cleared when an operation starts; the usual shouldCancel.
void SetStopFlag(bool value);
bool StopRequested();
bool StopFlagCancel(NetProgress& progress);  // a NetCancelFn that returns the stop flag

// The idle hook every wait iteration calls; null means none.
using IdleHook = void (*)();
void SetIdleHook(IdleHook hook);
IdleHook CurrentIdleHook();
// The default hook. The waits block in poll for a short slice, so there is nothing to yield;
// work meant for the interface thread reaches it through the dispatcher, not through waits.
void NetIdle();

}  // namespace sondrel
