#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

#include "support/text.h"

namespace sondrel {
namespace {

enum SlotState { kSlotFree = 0, kSlotPending = 1, kSlotResolved = 2, kSlotFailed = 3 };
enum BeginResult { kBeginFailed = 0, kBeginStarted = 1, kBeginBusy = 3 };

// The one lookup slot of the process. Each lookup runs on a thread of its own; a lookup given up
// frees the slot at once, and its thread's late answer finds a different handle and is dropped.
// The object lives for the whole process, so a thread still in getaddrinfo at exit is harmless.
class Resolver {
 public:
  static Resolver& Instance() {
    static Resolver* resolver = new Resolver;
    return *resolver;
  }

  int Begin(const std::string& name, std::uint64_t& handle) {
    {
      std::lock_guard lock(mutex_);
      if (slotState_ != kSlotFree) return kBeginBusy;
      slotState_ = kSlotPending;
      slotHandle_ = handle = nextHandle_++;
      slotAddress_ = kNoAddress;
    }
    try {
      std::thread([this, name, handle] { Complete(handle, ResolveHostAddress(name)); }).detach();
    } catch (const std::system_error&) {
      Release(handle);
      return kBeginFailed;
    }
    lookups_.fetch_add(1);
    return kBeginStarted;
  }

  int Poll(std::uint64_t handle, std::uint32_t& address) {
    std::lock_guard lock(mutex_);
    if (slotHandle_ != handle || slotState_ == kSlotFree) return kSlotFailed;
    address = slotAddress_;
    return slotState_;
  }

  void Release(std::uint64_t handle) {
    {
      std::lock_guard lock(mutex_);
      if (slotHandle_ != handle || slotState_ == kSlotFree) return;
      slotState_ = kSlotFree;
    }
    Signal();  // a job waiting for the slot can start now
  }

  int WakeFd() const { return wakeFd_; }
  std::uint64_t Lookups() const { return lookups_.load(); }

  void Drain() {
    if (wakeFd_ < 0) return;
    eventfd_t value = 0;
    while (::eventfd_read(wakeFd_, &value) == 0) {
    }
  }

 private:
  Resolver() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

  void Complete(std::uint64_t handle, std::uint32_t address) {
    {
      std::lock_guard lock(mutex_);
      if (slotHandle_ != handle || slotState_ != kSlotPending) return;  // given up meanwhile
      slotAddress_ = address;
      slotState_ = address == kNoAddress ? kSlotFailed : kSlotResolved;
    }
    Signal();
  }

  void Signal() {
    if (wakeFd_ >= 0) (void)::eventfd_write(wakeFd_, 1);
  }

  std::mutex mutex_;
  int slotState_ = kSlotFree;
  std::uint64_t slotHandle_ = 0;
  std::uint32_t slotAddress_ = kNoAddress;
  std::uint64_t nextHandle_ = 1;
  std::atomic<std::uint64_t> lookups_{0};
  const int wakeFd_;
};

// The text after the last dot (or the whole name) does not begin with a letter.
bool LooksNumeric(std::string_view name) {
  std::size_t dot = name.rfind('.');
  std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
  return last.empty() || !std::isalpha(static_cast<unsigned char>(last.front()));
}

std::uint32_t CachedAddress(const std::string& name) {
  HostCache* cache = SharedHostCache();
  return cache ? cache->Lookup(name) : kNoAddress;
}

}  // namespace

int HostLookup::Start(std::string_view name, NetProgress* progress) {
  Cancel();
  state_ = kLookupNotStarted;
  name_ = StrCopyN(name, kHostNameMax + 1);
  address_ = kNoAddress;
  progress_ = progress;
  if (progress_) {
    progress_->text = name_;
    ReportState(*progress_, kNetStateResolving);
  }
  if (name_.empty()) {
    state_ = kLookupFailed;
    return kAsyncAgain;
  }
  if (LooksNumeric(name_)) {
    in_addr numeric{};
    if (::inet_pton(AF_INET, name_.c_str(), &numeric) == 1) {
      address_ = numeric.s_addr;
      state_ = kLookupResolved;
      return kAsyncDone;
    }
  }
  address_ = CachedAddress(name_);
  if (address_ != kNoAddress) {
    state_ = kLookupResolved;
    return kAsyncDone;
  }
  return kAsyncAgain;
}

int HostLookup::Step() {
  // Answered at the start (a dotted number, a cached name): the resolver, and its wake-up
  // descriptor, are not needed at all.
  if (state_ == kLookupResolved) return kAsyncDone;
  if (state_ == kLookupFailed) return kAsyncFailed;
  Resolver& resolver = Resolver::Instance();
  if (state_ == kLookupNotStarted) {
    if (CancelRequested(progress_)) {
      state_ = kLookupFailed;
      return kAsyncFailed;
    }
    // A lookup that ran while this one waited may have brought the same name.
    address_ = CachedAddress(name_);
    if (address_ != kNoAddress) {
      state_ = kLookupResolved;
      return kAsyncDone;
    }
    int begun = resolver.Begin(name_, handle_);
    if (begun == kBeginBusy) return kAsyncAgain;
    if (begun == kBeginFailed) {
      state_ = kLookupFailed;
      return kAsyncFailed;
    }
    state_ = kLookupPending;
    startSeconds_ = NowSeconds();
    return kAsyncAgain;  // the answer is looked at from the next step on
  }
  if (state_ == kLookupPending) {
    if (CancelRequested(progress_) || TimedOut(progress_, startSeconds_)) {
      Cancel();
      return kAsyncFailed;
    }
    std::uint32_t address = kNoAddress;
    int slot = resolver.Poll(handle_, address);
    if (slot == kSlotPending) return kAsyncAgain;
    resolver.Release(handle_);
    if (slot == kSlotResolved) {
      address_ = address;
      state_ = kLookupResolved;
      if (HostCache* cache = SharedHostCache()) cache->Add(name_, address_);
    } else {
      address_ = kNoAddress;
      state_ = kLookupFailed;
    }
  }
  return state_ == kLookupResolved ? kAsyncDone : kAsyncFailed;
}

void HostLookup::Cancel() {
  if (state_ == kLookupPending) Resolver::Instance().Release(handle_);
  if (state_ == kLookupPending || state_ == kLookupNotStarted) {
    state_ = kLookupFailed;
    address_ = kNoAddress;
  }
}

AsyncWait HostLookup::Wait() const {
  if (state_ == kLookupPending || state_ == kLookupNotStarted) {
    return {ResolverWakeFd(), POLLIN};
  }
  return {};
}

int ResolverWakeFd() {
  return Resolver::Instance().WakeFd();
}
void DrainResolverWake() {
  Resolver::Instance().Drain();
}
std::uint64_t ResolverLookupCount() {
  return Resolver::Instance().Lookups();
}

}  // namespace sondrel
