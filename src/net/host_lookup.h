#pragma once
// Host name lookup as a pollable step. Dotted numbers and names in the host cache are answered at
// once; other names go to a resolver that runs one lookup at a time on a helper thread, so the
// search thread never blocks in the system resolver. Jobs that find the resolver busy wait their
// turn.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/async_wait.h"
#include "net/host_cache.h"
#include "net/net_progress.h"

namespace sondrel {

// Results of every step of the non-blocking stack.
enum AsyncStepResult { kAsyncFailed = 0, kAsyncDone = 1, kAsyncAgain = 3 };

enum HostLookupState {
  kLookupNotStarted = 11,  // waiting for the resolver to be free
  kLookupPending = 2,
  kLookupResolved = 1,
  kLookupFailed = -1,
};

constexpr std::size_t kHostNameMax = 499;

class HostLookup {
 public:
  HostLookup() = default;
  ~HostLookup() { Cancel(); }
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // Reports state 1 with text := name. kAsyncDone when the name was resolved here (a dotted
  // number, or a cache hit), else kAsyncAgain. progress may be null: no cancel, no timeout.
  int Start(std::string_view name, NetProgress* progress);
  // kAsyncDone resolved, kAsyncFailed failed, cancelled or timed out, kAsyncAgain call again.
  // The step that hands the name to the resolver answers kAsyncAgain; a finished lookup puts
  // its answer into the shared host cache.
  [[nodiscard]] int Step();
  // Gives the resolver up: its answer is dropped when it arrives, and the next lookup may start.
  void Cancel();

  const std::string& name() const { return name_; }
  std::uint32_t address() const { return address_; }  // network order; kNoAddress when none
  int state() const { return state_; }
  // The resolver's wake-up while this lookup waits for it.
  AsyncWait Wait() const;

 private:
  std::string name_;
  std::uint32_t address_ = kNoAddress;
  int state_ = kLookupFailed;
  std::uint64_t handle_ = 0;  // the resolver's handle while pending
  std::uint64_t startSeconds_ = 0;
  NetProgress* progress_ = nullptr;
};

// A descriptor that becomes readable when a lookup finished or the resolver became free;
// -1 when none could be made (the waits then just time out). WaitForAnyJob drains it.
int ResolverWakeFd();
void DrainResolverWake();
// How many names were handed to the system resolver since the program started.
std::uint64_t ResolverLookupCount();

}  // namespace sondrel
