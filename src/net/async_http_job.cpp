#include "net/async_http_job.h"

#include <poll.h>

#include <algorithm>
#include <vector>

#include "net/connection_pool.h"
#include "net/http_body.h"
#include "net/http_response.h"
#include "net/socket_io.h"

namespace sondrel {

void AsyncHttpJob::Start(HttpRequest& request, const DateStamp* ifModifiedSince,
                         std::string& header, std::size_t headerSize, NetProgress& progress) {
  Close();
  request_ = &request;
  header_ = &header;
  headerSize_ = headerSize;
  progress_ = &progress;
  progress.failure = NetFailure{};
  retried_ = false;
  if (ifModifiedSince) request.ifModifiedSince = *ifModifiedSince;
  fetch_ = HttpFetchState{};
  state_ = kJobRunning;
  if (CancelRequested(&progress)) {
    header.clear();
    progress.failure.kind = FailureKind::kCancelled;
    Finish(kJobFailed);
    return;
  }
  if (!PrepareHttpFetch(request, fetch_)) {
    header.clear();
    progress.failure = fetch_.failure;
    Finish(kJobFailed);
    return;
  }
  StartExchange(true);
}

void AsyncHttpJob::StartExchange(bool mayReuse) {
  header_->clear();
  ExchangeRequest exchange;
  exchange.target = fetch_.target;
  exchange.requestText = fetch_.requestText;
  if (request_->method == kHttpPost) exchange.body = request_->postBody;
  exchange.useCookies = request_->useCookies;
  exchange.url = request_->workUrl;
  Connection reuse;
  if (mayReuse && request_->pool) reuse = request_->pool->Take(fetch_.target);
  exchange_.Start(std::move(exchange), *header_, headerSize_, progress_, std::move(reuse));
}

int AsyncHttpJob::Finish(int state) {
  if (state != kJobSucceeded) {
    exchange_.Close();
    stream_.Close();
  }
  // A POST turned into a GET by a redirect is a POST again for the next fetch.
  request_->method = fetch_.startMethod;
  state_ = state;
  return state == kJobSucceeded ? kAsyncDone : kAsyncFailed;
}

int AsyncHttpJob::Succeed() {
  std::int64_t length = -1;
  BodyFraming framing = FramingOf(*header_, request_->method, length);
  HttpBody body;
  body.Begin(framing, length);
  stream_ = HttpStream(std::move(exchange_.connection()), std::move(body), request_->pool,
                       fetch_.target, KeepsAlive(*header_));
  exchange_.Close();
  bodyStart_ = NowSeconds();
  return Finish(kJobSucceeded);
}

int AsyncHttpJob::Step() {
  if (state_ == kJobSucceeded) return kAsyncDone;
  if (state_ != kJobRunning) return kAsyncFailed;
  for (;;) {
    if (CancelRequested(progress_)) {
      if (!progress_->failure) progress_->failure.kind = FailureKind::kCancelled;
      return Finish(kJobFailed);
    }
    int r = exchange_.Step();
    if (r == kAsyncAgain) return kAsyncAgain;
    if (r != kAsyncDone) {
      // A kept connection the server closed while it sat idle: once more on a new one.
      bool stale = exchange_.reused() && header_->empty() && !retried_ &&
                   progress_->failure.kind != FailureKind::kCancelled &&
                   progress_->failure.kind != FailureKind::kTimedOut;
      if (!stale) return Finish(kJobFailed);
      retried_ = true;
      progress_->failure = NetFailure{};
      StartExchange(false);
      continue;
    }
    int verdict = EvaluateResponse(fetch_, *request_, *header_, *progress_);
    if (verdict == kEvaluateDone) return Succeed();
    if (verdict != kEvaluateAgain) return Finish(kJobFailed);
    // A redirect or the retry with credentials: never leave the old connection open behind it.
    exchange_.Close();
    StartExchange(true);
  }
}

void AsyncHttpJob::Close() {
  exchange_.Close();
  stream_.Close();
  if (state_ == kJobRunning) Finish(kJobFailed);
}

AsyncWait AsyncHttpJob::Wait() const {
  if (state_ == kJobRunning) return exchange_.Wait();
  if (state_ == kJobSucceeded && stream_) {
    // A body read to its end, or bytes already decoded: the next read answers at once.
    if (stream_.HasBuffered() || stream_.body().Finished()) return {};
    return {stream_.connection().fd(), stream_.connection().Events()};
  }
  return {};
}

int AsyncHttpJob::WaitFd(short& events) const {
  AsyncWait wait = Wait();
  events = wait.events;
  return wait.fd;
}

int AsyncReadBlock(AsyncHttpJob& job, char* buffer, int size, int& position,
                   std::uint64_t& lastActivity, NetProgress& progress) {
  HttpStream& stream = job.Stream();
  if (stream.body().Finished()) return kAsyncReadComplete;
  if (!stream || !buffer || size < 0 || position < 0 || position > size) return kAsyncReadFailed;
  auto fail = [&](FailureKind kind) {
    if (!progress.failure) progress.failure.kind = kind;
    return kAsyncReadFailed;
  };
  if (CancelRequested(&progress)) return fail(FailureKind::kCancelled);
  if (TimedOut(&progress, lastActivity) || TimedOut(&progress, job.BodyStart())) {
    return fail(FailureKind::kTimedOut);
  }
  if (position == size) return kAsyncReadFull;
  int result = kAsyncReadPending;
  long got = 0;
  while (position < size) {
    std::size_t piece =
        std::min<std::size_t>(kRecvBlock * 4, static_cast<std::size_t>(size - position));
    IoResult r = stream.Read(buffer + position, piece);
    if (r.status == IoStatus::kWantRead || r.status == IoStatus::kWantWrite) break;
    if (r.status == IoStatus::kClosed) {
      result = kAsyncReadComplete;
      break;
    }
    if (r.status != IoStatus::kOk) {
      if (!progress.failure) progress.failure = stream.body().failure();
      return kAsyncReadFailed;
    }
    position += static_cast<int>(r.bytes);
    progress.transferred += static_cast<std::int64_t>(r.bytes);
    got += static_cast<long>(r.bytes);
    lastActivity = NowSeconds();
    if (stream.body().Finished()) {
      result = kAsyncReadComplete;
      break;
    }
  }
  if (result == kAsyncReadPending && position == size) result = kAsyncReadFull;
  if (got > 0) ReportState(progress, kNetStateData);
  return result;
}

int WaitForAnyJob(std::span<AsyncHttpJob* const> jobs, int timeoutMs) {
  std::vector<AsyncWait> waits;
  waits.reserve(jobs.size());
  for (AsyncHttpJob* job : jobs) {
    if (job) waits.push_back(job->Wait());
  }
  return WaitForAnyJob(std::span<const AsyncWait>(waits), timeoutMs);
}

int RunJob(AsyncHttpJob& job) {
  for (;;) {
    int r = job.Step();
    if (r != kAsyncAgain) return r;
    if (IdleHook hook = CurrentIdleHook()) hook();
    AsyncWait wait = job.Wait();
    if (wait.fd >= 0) {
      pollfd p{wait.fd, wait.events, 0};
      (void)::poll(&p, 1, kPollSliceMs);
    } else {
      // A lookup waiting its turn: sleep on the resolver's wake-up.
      (void)WaitForAnyJob(std::span<const AsyncWait>(), kPollSliceMs);
    }
  }
}

}  // namespace sondrel
