#include "net/async_exchange.h"

#include <poll.h>

#include <algorithm>

#include "net/cookies.h"
#include "net/http_request.h"
#include "net/http_response.h"
#include "net/net_texts.h"
#include "net/socket_io.h"

namespace sondrel {

void AsyncExchange::Start(ExchangeRequest request, std::string& header, std::size_t headerSize,
                          NetProgress* progress, Connection reuse) {
  Close();
  request_ = std::move(request);
  header_ = &header;
  header_->clear();
  headerSize_ = headerSize;
  progress_ = progress;
  position_ = 0;
  reused_ = reuse.IsOpen();
  stage_ = ExchangeStage::kConnecting;
  if (reused_) {
    connection_.Adopt(std::move(reuse), progress_);
  } else {
    connection_.Start(request_.target, progress_);
  }
}

int AsyncExchange::Fail(FailureKind kind, std::string_view detail) {
  connection_.Close();
  stage_ = ExchangeStage::kFailed;
  if (progress_ && !progress_->failure) {
    if (CancelRequested(progress_)) kind = FailureKind::kCancelled;
    progress_->failure.kind = kind;
    progress_->failure.host = request_.target.server;
    progress_->failure.detail = std::string(detail);
  }
  return kAsyncFailed;
}

void AsyncExchange::BeginSending() {
  if (request_.useCookies) {
    AddCookieHeader(request_.requestText, kRequestTextMax, GlobalCookies(), request_.url);
  }
  if (progress_) {
    progress_->text = request_.requestText;
    ReportState(*progress_, kNetStateSending);
  }
  lastActivity_ = NowSeconds();
  position_ = 0;
  stage_ = ExchangeStage::kSending;
}

int AsyncExchange::Step() {
  for (;;) {
    switch (stage_) {
      case ExchangeStage::kConnecting: {
        int r = connection_.Step();
        if (r == kAsyncAgain) return kAsyncAgain;
        if (r != kAsyncDone) {
          stage_ = ExchangeStage::kFailed;
          return kAsyncFailed;  // the connection filled the failure
        }
        BeginSending();
        break;
      }
      case ExchangeStage::kSending:
      case ExchangeStage::kSendingBody: {
        bool body = stage_ == ExchangeStage::kSendingBody;
        int r = SendStep(body ? request_.body : request_.requestText);
        if (r == kAsyncAgain) return kAsyncAgain;
        if (r != kAsyncDone) {
          return Fail(TimedOut(progress_, lastActivity_) ? FailureKind::kTimedOut
                                                         : FailureKind::kRefused);
        }
        position_ = 0;
        lastActivity_ = NowSeconds();
        if (!body && !request_.body.empty()) {
          stage_ = ExchangeStage::kSendingBody;
        } else {
          if (progress_) ReportState(*progress_, kNetStateWaiting);
          headerStart_ = NowSeconds();
          stage_ = ExchangeStage::kReadingHeader;
        }
        break;
      }
      case ExchangeStage::kReadingHeader: {
        int r = HeaderStep();
        if (r != kAsyncDone) return r;
        if (request_.useCookies) StoreCookies(GlobalCookies(), *header_, request_.url);
        if (progress_) {
          progress_->text = *header_;
          ReportState(*progress_, kNetStateReceived);
        }
        stage_ = ExchangeStage::kDone;
        return kAsyncDone;
      }
      case ExchangeStage::kDone:
        return kAsyncDone;
      default:
        return kAsyncFailed;
    }
  }
}

int AsyncExchange::SendStep(const std::string& bytes) {
  if (CancelRequested(progress_) || TimedOut(progress_, lastActivity_)) return kAsyncFailed;
  Connection& c = connection();
  while (position_ < bytes.size()) {
    std::size_t piece = std::min(kSendBlock * 16, bytes.size() - position_);
    IoResult r = c.Write(bytes.data() + position_, piece);
    if (r.status == IoStatus::kWantRead || r.status == IoStatus::kWantWrite) return kAsyncAgain;
    if (r.status != IoStatus::kOk) return kAsyncFailed;
    position_ += r.bytes;
    lastActivity_ = NowSeconds();
  }
  return kAsyncDone;
}

// Reads until the header's blank line; what came after it goes back to the connection. The
// whole header must arrive within the timeout: a peer that trickles it is cut off.
int AsyncExchange::HeaderStep() {
  if (CancelRequested(progress_)) return Fail(FailureKind::kCancelled);
  if (TimedOut(progress_, headerStart_)) return Fail(FailureKind::kTimedOut);
  Connection& c = connection();
  std::string& header = *header_;
  char scratch[kRecvBlock];
  for (;;) {
    if (headerSize_ < 2 || header.size() >= headerSize_ - 1) {
      return Fail(FailureKind::kProtocol, net_texts::kHeaderTooLong);
    }
    std::size_t room = std::min(kRecvBlock, headerSize_ - 1 - header.size());
    IoResult r = c.Read(scratch, room);
    if (r.status == IoStatus::kWantRead || r.status == IoStatus::kWantWrite) return kAsyncAgain;
    // A header cut short by a close is a broken reply; header keeps what arrived.
    if (r.status != IoStatus::kOk) return Fail(FailureKind::kNoResponse);
    lastActivity_ = NowSeconds();
    header.append(scratch, r.bytes);
    std::size_t end = HeaderEnd(header.data(), header.size());
    if (end == 0) continue;
    c.PutBack(std::string_view(header).substr(end));
    header.resize(end);
    int status = StatusCode(header);
    if (status < 100 || status > 199 || status == 101) return kAsyncDone;
    // An interim reply (100 Continue, 103 Early Hints): the real one follows.
    header.clear();
  }
}

void AsyncExchange::Close() {
  connection_.Close();
  stage_ = ExchangeStage::kFailed;
}

AsyncWait AsyncExchange::Wait() const {
  switch (stage_) {
    case ExchangeStage::kConnecting:
      return connection_.Wait();
    case ExchangeStage::kSending:
    case ExchangeStage::kSendingBody:
    case ExchangeStage::kReadingHeader:
      if (connection_.connection().HasBuffered()) return {};
      return {connection_.connection().fd(), connection_.connection().Events()};
    default:
      return {};
  }
}

}  // namespace sondrel
