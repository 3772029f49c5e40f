#include "net/async_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/socket_io.h"

namespace sondrel {

void AsyncConnection::Start(std::string_view host, int port, NetProgress* progress) {
  Close();
  host_ = std::string(host);
  port_ = port;
  progress_ = progress;
  address_ = 0;
  state_ = kConnectionResolving;
  (void)lookup_.Start(host_, progress_);
}

int AsyncConnection::Fail() {
  Close();
  state_ = kConnectionFailed;
  return kAsyncFailed;
}

int AsyncConnection::Connected() {
  state_ = kConnectionOpen;
  if (progress_) {
    in_addr peer{};
    peer.s_addr = address_;
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer, dotted, sizeof dotted);
    progress_->text = dotted;
    progress_->port = port_;
    ReportState(*progress_, kNetStateConnected);
  }
  return kAsyncDone;
}

int AsyncConnection::Step() {
  for (;;) {
    switch (state_) {
      case kConnectionResolving: {
        int r = lookup_.Step();
        if (r == kAsyncAgain) return kAsyncAgain;
        if (r != kAsyncDone) return Fail();
        address_ = lookup_.address();
        state_ = kConnectionCreate;
        break;
      }
      case kConnectionCreate: {
        if (CancelRequested(progress_) || port_ <= 0 || port_ > 65535) return Fail();
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (socket_ < 0) return Fail();
        SetSocketOptions(socket_, true);
        if (progress_) ReportState(*progress_, kNetStateConnecting);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<std::uint16_t>(port_));
        peer.sin_addr.s_addr = address_;
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
          return Connected();
        }
        if (errno == EINPROGRESS || errno == EAGAIN || errno == EINTR) {
          connectStart_ = NowSeconds();
          state_ = kConnectionConnecting;
        } else {
          return Fail();
        }
        break;
      }
      case kConnectionConnecting: {
        if (CancelRequested(progress_) || TimedOut(progress_, connectStart_)) return Fail();
        int r = PollWritable(socket_, 0);
        if (r == 0) return kAsyncAgain;
        if (r < 0) return Fail();
        // Writable or in error: SO_ERROR tells which, so a refusal is seen at once.
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
          return Fail();
        }
        return Connected();
      }
      case kConnectionOpen:
        return kAsyncDone;
      default:
        return Fail();
    }
  }
}

void AsyncConnection::Close() {
  lookup_.Cancel();
  if (socket_ >= 0) CloseConnection(socket_, progress_);
  socket_ = -1;
  state_ = kConnectionFailed;
}

AsyncWait AsyncConnection::Wait() const {
  switch (state_) {
    case kConnectionResolving:
      return lookup_.Wait();
    case kConnectionConnecting:
      return {socket_, POLLOUT};
    default:
      return {};
  }
}

}  // namespace sondrel
