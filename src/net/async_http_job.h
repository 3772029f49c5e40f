#pragma once
// An HTTP fetch as a step machine that never blocks, for the search thread, which runs many of
// them side by side: lookup, connect, send, header, then the same evaluation as the blocking
// fetch (redirects, the one retry with credentials, cookies) inside the job. The caller steps
// the job until it stops answering kAsyncAgain, reads the body with AsyncReadBlock and closes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "net/async_exchange.h"
#include "net/async_wait.h"
#include "net/host_lookup.h"
#include "net/http_request.h"
#include "net/net_progress.h"
#include "support/dates.h"

namespace sondrel {

enum AsyncJobState {
  kJobIdle = 0,
  kJobRunning = 1,
  kJobSucceeded = 2,
  kJobFailed = 3,
};

class AsyncHttpJob {
 public:
  AsyncHttpJob() = default;
  ~AsyncHttpJob() { Close(); }
  AsyncHttpJob(const AsyncHttpJob&) = delete;
  AsyncHttpJob& operator=(const AsyncHttpJob&) = delete;

  // Prepares the fetch of request.url as the blocking fetch does and starts it. request, header
  // and progress must outlive the job; header receives each response header (at most
  // headerSize - 1 bytes). ifModifiedSince, when given, is sent with every request of the fetch.
  // Whatever an earlier start left open is closed first.
  void Start(HttpRequest& request, const DateStamp* ifModifiedSince, std::string& header,
             std::size_t headerSize, NetProgress& progress);
  // kAsyncDone: the final response header (2xx or 304) is in header and Connection() is open
  // at the first body byte; progress.total holds Content-Length or -1. kAsyncFailed: the
  // fetch failed, was cancelled or timed out; nothing is left open, and header holds the last
  // response header, whatever of it arrived, or nothing. kAsyncAgain: call again. The answer
  // stays the same once the job has ended.
  [[nodiscard]] int Step();
  // Closes the connection and gives a pending lookup up; a running job becomes failed. The
  // owner calls it when the body is read, or to abandon the job at any step.
  void Close();

  int state() const { return state_; }
  // The open connection after success, -1 otherwise.
  int Connection() const { return state_ == kJobSucceeded ? exchange_.socket() : -1; }
  // What the job waits for now; after success, the body on its connection.
  AsyncWait Wait() const;
  // The same as Wait, as a descriptor and its poll events; -1 when there is nothing to wait for.
  int WaitFd(short& events) const;

 private:
  void StartExchange();
  int Finish(int state);

  AsyncExchange exchange_;
  HttpRequest* request_ = nullptr;
  std::string* header_ = nullptr;
  std::size_t headerSize_ = 0;
  NetProgress* progress_ = nullptr;
  HttpFetchState fetch_;
  int state_ = kJobIdle;
};

// Results of AsyncReadBlock.
enum AsyncReadResult {
  kAsyncReadFailed = 0,    // failure, timeout (since lastActivity) or cancellation
  kAsyncReadFull = 1,      // position == size
  kAsyncReadComplete = 2,  // all of progress.total arrived, or the server closed
  kAsyncReadPending = 3,   // nothing more yet
};

// Receives what has arrived of a body into buffer[position, size) without waiting, advancing
// position and progress.transferred and refreshing lastActivity (NowSeconds) whenever data
// comes. Never reads past progress.total when it is known.
[[nodiscard]] int AsyncReadBlock(int connection, char* buffer, int size, int& position,
                                 std::uint64_t& lastActivity, NetProgress& progress);

// WaitForAnyJob over jobs (null entries and jobs with nothing to wait for are skipped).
int WaitForAnyJob(std::span<AsyncHttpJob* const> jobs, int timeoutMs = kJobWaitMs);

}  // namespace sondrel
