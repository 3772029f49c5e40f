#pragma once
// Sleeping until one of many non-blocking jobs can move. The search thread steps every job with
// zero-timeout checks; between two passes it waits here once, on all the sockets at the same time
// and on the name resolver's wake-up, so an idle search costs no CPU and a reply is seen at once.

#include <span>

namespace sondrel {

// What a job waits for: fd becomes ready for events (POLLIN or POLLOUT). fd -1: nothing to wait
// for (finished, failed, or able to move without waiting).
struct AsyncWait {
  int fd = -1;
  short events = 0;
};

// Longest sleep the search thread should ask for: bounds how late a stop or a timeout is seen.
constexpr int kJobWaitMs = 20;

// Sleeps until one of the waits is ready, a name lookup finished or its slot became free, or
// timeoutMs passed. The number of ready descriptors (0 after the timeout), -1 when poll failed.
int WaitForAnyJob(std::span<const AsyncWait> waits, int timeoutMs = kJobWaitMs);

}  // namespace sondrel
