#pragma once
// An HTTP fetch as a step machine that never blocks, for the search thread, which runs many of
// them side by side: lookup, connect, TLS, send, header, then the evaluation (redirects, the one
// retry with credentials, cookies) inside the job. The caller steps the job until it stops
// answering kAsyncAgain, reads the body with AsyncReadBlock and closes. The blocking fetches run
// the same job over a poll loop.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "net/async_exchange.h"
#include "net/async_wait.h"
#include "net/host_lookup.h"
#include "net/http_request.h"
#include "net/http_stream.h"
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

  // Prepares the fetch of request.url and starts it. request, header and progress must outlive
  // the job; header receives each response header (at most headerSize - 1 bytes).
  // ifModifiedSince, when given, is sent with every request of the fetch. request.pool, when
  // set, lends an open connection and takes it back after a complete body. Whatever an earlier
  // start left open is closed first.
  void Start(HttpRequest& request, const DateStamp* ifModifiedSince, std::string& header,
             std::size_t headerSize, NetProgress& progress);
  // kAsyncDone: the final response header (2xx or 304) is in header and the body can be read;
  // progress.total holds its length or -1. kAsyncFailed: the fetch failed, was cancelled or timed
  // out; nothing is left open, progress.failure says why, and header holds the last response
  // header, whatever of it arrived, or nothing. kAsyncAgain: call again. The answer stays the
  // same once the job has ended.
  [[nodiscard]] int Step();
  // Closes the connection (or hands it back to the pool after a complete body) and gives a
  // pending lookup up; a running job becomes failed.
  void Close();

  int state() const { return state_; }
  // After success: the body and its connection. Empty otherwise.
  HttpStream& Stream() { return stream_; }
  // Moves the body out of the job (the blocking fetches keep it after the job is gone).
  HttpStream TakeStream() { return std::move(stream_); }
  // When the body began (NowSeconds): pages and in-memory bodies must arrive within the timeout.
  std::uint64_t BodyStart() const { return bodyStart_; }
  // What the job waits for now; after success, the body on its connection. fd -1 when it can
  // move without waiting.
  AsyncWait Wait() const;
  // The same as Wait, as a descriptor and its poll events; -1 when there is nothing to wait for.
  int WaitFd(short& events) const;

 private:
  void StartExchange(bool mayReuse);
  int Finish(int state);
  int Succeed();

  AsyncExchange exchange_;
  HttpStream stream_;
  HttpRequest* request_ = nullptr;
  std::string* header_ = nullptr;
  std::size_t headerSize_ = 0;
  NetProgress* progress_ = nullptr;
  HttpFetchState fetch_;
  int state_ = kJobIdle;
  bool retried_ = false;
  std::uint64_t bodyStart_ = 0;
};

// Results of AsyncReadBlock.
enum AsyncReadResult {
  kAsyncReadFailed = 0,    // failure, timeout or cancellation (progress.failure says which)
  kAsyncReadFull = 1,      // position == size
  kAsyncReadComplete = 2,  // the whole body arrived
  kAsyncReadPending = 3,   // nothing more yet
};

// Receives what has arrived of the job's body into buffer[position, size) without waiting,
// advancing position and progress.transferred and refreshing lastActivity (NowSeconds) whenever
// data comes. Fails after the timeout of silence since lastActivity, and when the whole body
// takes longer than the timeout from its start: a server that trickles a page is cut off.
[[nodiscard]] int AsyncReadBlock(AsyncHttpJob& job, char* buffer, int size, int& position,
                                 std::uint64_t& lastActivity, NetProgress& progress);

// WaitForAnyJob over jobs (null entries and jobs with nothing to wait for are skipped).
int WaitForAnyJob(std::span<AsyncHttpJob* const> jobs, int timeoutMs = kJobWaitMs);

// Drives job to its end over a poll loop; kAsyncDone or kAsyncFailed.
int RunJob(AsyncHttpJob& job);

}  // namespace sondrel
