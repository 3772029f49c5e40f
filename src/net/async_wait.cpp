#include "net/async_wait.h"

#include <poll.h>

#include <cerrno>
#include <vector>

#include "net/host_lookup.h"

namespace sondrel {

int WaitForAnyJob(std::span<const AsyncWait> waits, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(waits.size() + 1);
  int wake = ResolverWakeFd();
  if (wake >= 0) fds.push_back({wake, POLLIN, 0});
  for (const AsyncWait& wait : waits) {
    if (wait.fd >= 0 && wait.fd != wake && wait.events != 0)
      fds.push_back({wait.fd, wait.events, 0});
  }
  int ready = ::poll(fds.data(), fds.size(), timeoutMs < 0 ? 0 : timeoutMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (wake >= 0 && (fds[0].revents & POLLIN)) DrainResolverWake();
  return ready;
}

}  // namespace sondrel
