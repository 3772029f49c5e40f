#include "net/async_http_job.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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
  if (ifModifiedSince) request.ifModifiedSince = *ifModifiedSince;
  fetch_ = HttpFetchState{};
  PrepareHttpFetch(request, fetch_);
  state_ = kJobRunning;
  StartExchange();
}

void AsyncHttpJob::StartExchange() {
  header_->clear();
  std::string body = request_->method == kHttpPost ? request_->postBody : std::string();
  exchange_.Start(fetch_.connectHost, fetch_.connectPort, fetch_.requestText, std::move(body),
                  *header_, headerSize_, request_->useCookies, request_->workUrl, progress_);
}

int AsyncHttpJob::Finish(int state) {
  if (state != kJobSucceeded) exchange_.Close();
  // A POST turned into a GET by a redirect is a POST again for the next fetch.
  request_->method = fetch_.startMethod;
  state_ = state;
  return state == kJobSucceeded ? kAsyncDone : kAsyncFailed;
}

int AsyncHttpJob::Step() {
  if (state_ == kJobSucceeded) return kAsyncDone;
  if (state_ != kJobRunning) return kAsyncFailed;
  for (;;) {
    if (CancelRequested(progress_)) return Finish(kJobFailed);
    int r = exchange_.Step();
    if (r == kAsyncAgain) return kAsyncAgain;
    if (r != kAsyncDone) return Finish(kJobFailed);
    int verdict = EvaluateResponse(fetch_, *request_, *header_, *progress_);
    if (verdict == kEvaluateDone) return Finish(kJobSucceeded);
    if (verdict != kEvaluateAgain) return Finish(kJobFailed);
    // A redirect or the retry with credentials: never leave the old connection open behind it.
    exchange_.Close();
    StartExchange();
  }
}

void AsyncHttpJob::Close() {
  exchange_.Close();
  if (state_ == kJobRunning) Finish(kJobFailed);
}

AsyncWait AsyncHttpJob::Wait() const {
  if (state_ == kJobRunning) return exchange_.Wait();
  if (state_ == kJobSucceeded && exchange_.socket() >= 0) return {exchange_.socket(), POLLIN};
  return {};
}

int AsyncHttpJob::WaitFd(short& events) const {
  AsyncWait wait = Wait();
  events = wait.events;
  return wait.fd;
}

int AsyncReadBlock(int connection, char* buffer, int size, int& position,
                   std::uint64_t& lastActivity, NetProgress& progress) {
  auto left = [&]() -> std::int64_t {
    return progress.total < 0 ? -1 : progress.total - progress.transferred;
  };
  if (progress.total >= 0 && left() <= 0) return kAsyncReadComplete;
  if (connection < 0 || !buffer || size < 0 || position < 0 || position > size) {
    return kAsyncReadFailed;
  }
  if (CancelRequested(&progress) || TimedOut(&progress, lastActivity)) return kAsyncReadFailed;
  if (position == size) return kAsyncReadFull;
  int result = kAsyncReadPending;
  long got = 0;
  while (position < size) {
    std::size_t piece =
        std::min<std::size_t>(kRecvBlock, static_cast<std::size_t>(size - position));
    std::int64_t rest = left();
    if (rest >= 0) piece = std::min<std::size_t>(piece, static_cast<std::size_t>(rest));
    if (piece == 0) break;
    ssize_t n = ::recv(connection, buffer + position, piece, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
      return kAsyncReadFailed;
    }
    if (n == 0) {
      result = kAsyncReadComplete;
      break;
    }
    position += static_cast<int>(n);
    progress.transferred += n;
    got += static_cast<long>(n);
    lastActivity = NowSeconds();
  }
  if (result == kAsyncReadPending && position == size) result = kAsyncReadFull;
  if (got > 0) ReportState(progress, kNetStateData);
  if (progress.total >= 0 && left() <= 0) result = kAsyncReadComplete;
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

}  // namespace sondrel
