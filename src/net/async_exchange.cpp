#include "net/async_exchange.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "net/cookies.h"
#include "net/http_request.h"
#include "net/http_response.h"
#include "net/socket_io.h"

namespace sondrel {
namespace {

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

void AsyncExchange::Start(std::string_view host, int port, std::string requestText,
                          std::string body, std::string& header, std::size_t headerSize,
                          bool useCookies, std::string url, NetProgress* progress) {
  Close();
  requestText_ = std::move(requestText);
  body_ = std::move(body);
  header_ = &header;
  header_->clear();
  headerSize_ = headerSize;
  useCookies_ = useCookies;
  url_ = std::move(url);
  progress_ = progress;
  position_ = 0;
  state_ = kExchangeConnecting;
  connection_.Start(host, port, progress_);
}

int AsyncExchange::Fail() {
  connection_.Close();
  state_ = kExchangeFailed;
  return kAsyncFailed;
}

int AsyncExchange::Step() {
  for (;;) {
    switch (state_) {
      case kExchangeConnecting: {
        int r = connection_.Step();
        if (r == kAsyncAgain) return kAsyncAgain;
        if (r != kAsyncDone) return Fail();
        if (useCookies_) AddCookieHeader(requestText_, kRequestTextMax, GlobalCookies(), url_);
        if (progress_) {
          progress_->text = requestText_;
          ReportState(*progress_, kNetStateSending);
        }
        lastActivity_ = NowSeconds();
        position_ = 0;
        state_ = kExchangeSending;
        break;
      }
      case kExchangeSending:
      case kExchangeSendingBody: {
        bool body = state_ == kExchangeSendingBody;
        int r = SendStep(body ? body_ : requestText_);
        if (r != kAsyncDone) return r == kAsyncAgain ? kAsyncAgain : Fail();
        position_ = 0;
        lastActivity_ = NowSeconds();
        if (!body && !body_.empty()) {
          state_ = kExchangeSendingBody;
        } else {
          if (progress_) ReportState(*progress_, kNetStateWaiting);
          state_ = kExchangeReadingHeader;
        }
        break;
      }
      case kExchangeReadingHeader: {
        int r = HeaderStep();
        if (r != kAsyncDone) return r == kAsyncAgain ? kAsyncAgain : Fail();
        if (useCookies_) StoreCookies(GlobalCookies(), *header_, url_);
        if (progress_) {
          progress_->text = *header_;
          ReportState(*progress_, kNetStateReceived);
        }
        state_ = kExchangeDone;
        return kAsyncDone;
      }
      case kExchangeDone:
        return kAsyncDone;
      default:
        return Fail();
    }
  }
}

int AsyncExchange::SendStep(const std::string& bytes) {
  if (CancelRequested(progress_) || TimedOut(progress_, lastActivity_)) return kAsyncFailed;
  int s = connection_.socket();
  while (position_ < bytes.size()) {
    std::size_t piece = std::min(kSendBlock, bytes.size() - position_);
    ssize_t sent = ::send(s, bytes.data() + position_, piece, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) return WouldBlock(errno) ? kAsyncAgain : kAsyncFailed;
    position_ += static_cast<std::size_t>(sent);
    lastActivity_ = NowSeconds();
  }
  return kAsyncDone;
}

// Peeks at what arrived and consumes it up to the header's end, never past it: the socket is
// left holding only body bytes, and is not left readable with bytes already looked at (which
// would wake the search thread over and over for nothing).
int AsyncExchange::HeaderStep() {
  if (CancelRequested(progress_) || TimedOut(progress_, lastActivity_)) return kAsyncFailed;
  int s = connection_.socket();
  std::string& header = *header_;
  char scratch[kRecvBlock];
  for (;;) {
    // A header that does not fit the buffer is a failure, as in the blocking fetch.
    if (headerSize_ < 2 || header.size() >= headerSize_ - 1) return kAsyncFailed;
    std::size_t room = std::min(kRecvBlock, headerSize_ - 1 - header.size());
    ssize_t peeked = ::recv(s, scratch, room, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0) return WouldBlock(errno) ? kAsyncAgain : kAsyncFailed;
    // A header cut short by a close is a broken reply, as in the blocking fetch; header keeps
    // what arrived for the caller to look at.
    if (peeked == 0) return kAsyncFailed;
    lastActivity_ = NowSeconds();
    std::size_t had = header.size();
    header.append(scratch, static_cast<std::size_t>(peeked));
    std::size_t end = HeaderEnd(header.data(), header.size());
    std::size_t take = static_cast<std::size_t>(peeked);
    if (end > 0) take = end > had ? end - had : 0;
    header.resize(had + take);
    // The bytes are queued already, so this takes exactly take of them.
    std::size_t consumed = 0;
    while (consumed < take) {
      ssize_t got = ::recv(s, scratch, take - consumed, MSG_DONTWAIT);
      if (got <= 0) return kAsyncFailed;
      consumed += static_cast<std::size_t>(got);
    }
    if (end > 0) return kAsyncDone;
  }
}

void AsyncExchange::Close() {
  connection_.Close();
  state_ = kExchangeFailed;
}

AsyncWait AsyncExchange::Wait() const {
  switch (state_) {
    case kExchangeConnecting:
      return connection_.Wait();
    case kExchangeSending:
    case kExchangeSendingBody:
      return {socket(), POLLOUT};
    case kExchangeReadingHeader:
      return {socket(), POLLIN};
    default:
      return {};
  }
}

}  // namespace sondrel
