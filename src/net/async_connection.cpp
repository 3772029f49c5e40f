#include "net/async_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/http_response.h"
#include "net/net_texts.h"
#include "net/socket_io.h"

namespace sondrel {
namespace {

constexpr std::size_t kTunnelReplyMax = 4096;

std::string TunnelRequest(const ConnectTarget& target) {
  std::string where = target.server + ":" + std::to_string(target.serverPort);
  return "CONNECT " + where + " HTTP/1.1\r\nHost: " + where + "\r\n\r\n";
}

}  // namespace

void AsyncConnection::Start(ConnectTarget target, NetProgress* progress) {
  Close();
  target_ = std::move(target);
  progress_ = progress;
  address_ = 0;
  attemptsLeft_ = progress && progress->attempts > 1 ? progress->attempts : 1;
  stage_ = ConnectStage::kResolving;
  stageStart_ = NowSeconds();
  (void)lookup_.Start(target_.host, progress_);
}

void AsyncConnection::Adopt(Connection connection, NetProgress* progress) {
  Close();
  progress_ = progress;
  connection_ = std::move(connection);
  stage_ = connection_.IsOpen() ? ConnectStage::kOpen : ConnectStage::kFailed;
}

int AsyncConnection::Fail(FailureKind kind, std::string detail) {
  Close();
  stage_ = ConnectStage::kFailed;
  if (progress_ && !progress_->failure) {
    // A stop or a timeout says so, whatever stage it met.
    if (CancelRequested(progress_)) {
      kind = FailureKind::kCancelled;
    } else if (TimedOut(progress_, stageStart_)) {
      kind = FailureKind::kTimedOut;
    }
    progress_->failure.kind = kind;
    progress_->failure.host = kind == FailureKind::kTls ? target_.server : target_.host;
    if (progress_->failure.detail.empty()) progress_->failure.detail = std::move(detail);
  }
  return kAsyncFailed;
}

int AsyncConnection::Connected() {
  stage_ = ConnectStage::kOpen;
  return kAsyncDone;
}

int AsyncConnection::Step() {
  for (;;) {
    switch (stage_) {
      case ConnectStage::kResolving: {
        int r = lookup_.Step();
        if (r == kAsyncAgain) return kAsyncAgain;
        if (r != kAsyncDone) return Fail(FailureKind::kNameNotFound);
        address_ = lookup_.address();
        stage_ = ConnectStage::kCreate;
        break;
      }
      case ConnectStage::kCreate: {
        int r = CreateStep();
        if (r != kAsyncAgain) return r;
        break;
      }
      case ConnectStage::kConnecting:
        return ConnectingStep();
      case ConnectStage::kTunnelSending:
        return TunnelSendStep();
      case ConnectStage::kTunnelReply:
        return TunnelReplyStep();
      case ConnectStage::kHandshake:
        return HandshakeStep();
      case ConnectStage::kOpen:
        return kAsyncDone;
      default:
        return kAsyncFailed;
    }
  }
}

// Makes the socket and starts the connect: kAsyncAgain means go on to the next stage.
int AsyncConnection::CreateStep() {
  if (CancelRequested(progress_)) return Fail(FailureKind::kCancelled);
  if (target_.port <= 0 || target_.port > 65535) {
    return Fail(FailureKind::kBadAddress, std::string(net_texts::kBadPort));
  }
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) return Fail(FailureKind::kRefused);
  connection_ = Connection(s);
  SetSocketOptions(s, true);
  if (progress_) ReportState(*progress_, kNetStateConnecting);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(target_.port));
  peer.sin_addr.s_addr = address_;
  stageStart_ = NowSeconds();
  if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return AfterTcp();
  if (errno != EINPROGRESS && errno != EAGAIN && errno != EINTR) {
    return Fail(FailureKind::kRefused);
  }
  stage_ = ConnectStage::kConnecting;
  return kAsyncAgain;
}

int AsyncConnection::ConnectingStep() {
  if (CancelRequested(progress_) || TimedOut(progress_, stageStart_)) {
    return Fail(FailureKind::kTimedOut);
  }
  int r = PollWritable(connection_.fd(), 0);
  if (r == 0) return kAsyncAgain;
  // Writable or in error: SO_ERROR tells which, so a refusal is seen at once.
  int error = 0;
  socklen_t length = sizeof error;
  if (r < 0 || ::getsockopt(connection_.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
      error != 0) {
    if (--attemptsLeft_ > 0) {
      connection_.Close();
      stage_ = ConnectStage::kCreate;
      return Step();
    }
    return Fail(FailureKind::kRefused);
  }
  return AfterTcp();
}

// The TCP connection is up: report it, then the tunnel or the handshake when there is one.
int AsyncConnection::AfterTcp() {
  if (progress_) {
    in_addr peer{};
    peer.s_addr = address_;
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer, dotted, sizeof dotted);
    progress_->text = dotted;
    progress_->port = target_.port;
    ReportState(*progress_, kNetStateConnected);
  }
  stageStart_ = NowSeconds();
  if (target_.tunnel) {
    tunnelText_ = TunnelRequest(target_);
    position_ = 0;
    stage_ = ConnectStage::kTunnelSending;
    return TunnelSendStep();
  }
  if (!target_.tls) return Connected();
  NetFailure failure;
  if (!connection_.StartTls(target_.server, target_.serverPort, target_.tlsOptions, failure)) {
    return Fail(FailureKind::kTls, failure.detail);
  }
  stage_ = ConnectStage::kHandshake;
  return HandshakeStep();
}

int AsyncConnection::TunnelSendStep() {
  if (CancelRequested(progress_) || TimedOut(progress_, stageStart_)) {
    return Fail(FailureKind::kTimedOut);
  }
  while (position_ < tunnelText_.size()) {
    IoResult r = connection_.Write(tunnelText_.data() + position_, tunnelText_.size() - position_);
    if (r.status == IoStatus::kWantWrite || r.status == IoStatus::kWantRead) return kAsyncAgain;
    if (r.status != IoStatus::kOk) return Fail(FailureKind::kRefused);
    position_ += r.bytes;
  }
  tunnelText_.clear();
  stage_ = ConnectStage::kTunnelReply;
  return TunnelReplyStep();
}

// Reads the proxy's reply up to its blank line and no further: after it the socket carries the
// server's TLS records, which OpenSSL reads from the socket itself.
int AsyncConnection::TunnelReplyStep() {
  if (CancelRequested(progress_) || TimedOut(progress_, stageStart_)) {
    return Fail(FailureKind::kTimedOut);
  }
  char scratch[kTunnelReplyMax];
  std::size_t room = kTunnelReplyMax - tunnelText_.size();
  if (room == 0) return Fail(FailureKind::kProtocol, std::string(net_texts::kHeaderTooLong));
  ssize_t peeked = ::recv(connection_.fd(), scratch, room, MSG_PEEK | MSG_DONTWAIT);
  if (peeked < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kAsyncAgain;
    return Fail(FailureKind::kNoResponse);
  }
  if (peeked == 0) return Fail(FailureKind::kNoResponse);
  std::size_t had = tunnelText_.size();
  tunnelText_.append(scratch, static_cast<std::size_t>(peeked));
  std::size_t end = HeaderEnd(tunnelText_.data(), tunnelText_.size());
  std::size_t take = end > 0 ? end - had : static_cast<std::size_t>(peeked);
  tunnelText_.resize(had + take);
  if (::recv(connection_.fd(), scratch, take, MSG_DONTWAIT) != static_cast<ssize_t>(take)) {
    return Fail(FailureKind::kNoResponse);
  }
  if (end == 0) return kAsyncAgain;
  int status = StatusCode(tunnelText_);
  if (status < 200 || status > 299) {
    if (progress_ && !progress_->failure) {
      progress_->failure.httpStatus = status;
      progress_->failure.reason = ReasonPhrase(tunnelText_);
    }
    return Fail(FailureKind::kHttpStatus,
                std::string(net_texts::kProxyRefused) + StatusLine(tunnelText_));
  }
  target_.tunnel = false;
  return AfterTcp();
}

int AsyncConnection::HandshakeStep() {
  if (CancelRequested(progress_) || TimedOut(progress_, stageStart_)) {
    return Fail(FailureKind::kTimedOut);
  }
  NetFailure failure;
  IoStatus r = connection_.Handshake(failure);
  if (r == IoStatus::kOk) return Connected();
  if (r == IoStatus::kWantRead || r == IoStatus::kWantWrite) return kAsyncAgain;
  return Fail(FailureKind::kTls, failure.detail);
}

void AsyncConnection::Close() {
  lookup_.Cancel();
  connection_.Close();
  stage_ = ConnectStage::kFailed;
}

AsyncWait AsyncConnection::Wait() const {
  switch (stage_) {
    case ConnectStage::kResolving:
      return lookup_.Wait();
    case ConnectStage::kConnecting:
    case ConnectStage::kTunnelSending:
      return {connection_.fd(), POLLOUT};
    case ConnectStage::kTunnelReply:
      return {connection_.fd(), POLLIN};
    case ConnectStage::kHandshake:
      return {connection_.fd(), connection_.Events()};
    default:
      return {};
  }
}

}  // namespace sondrel
