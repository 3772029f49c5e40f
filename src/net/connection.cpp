#include "net/connection.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>

#include "net/socket_io.h"
#include "net/tls_context.h"

namespace sondrel {
namespace {

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char scratch[16];
  return ::inet_pton(AF_INET, host.c_str(), scratch) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), scratch) == 1;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE on a peer that went away;
// a network program answers that with an error from the call instead.
void IgnoreBrokenPipe() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

std::string SessionKey(std::string_view host, int port, const TlsOptions& options) {
  std::string key(host);
  key += ':' + std::to_string(port) + (options.insecure ? "|k|" : "|v|") + options.caFile;
  return key;
}

// The start of one wait iteration: the idle hook, then cancellation and the timeout.
bool GiveUp(NetProgress* progress, std::uint64_t start) {
  if (IdleHook hook = CurrentIdleHook()) hook();
  FailureKind why = FailureKind::kNone;
  if (CancelRequested(progress)) {
    why = FailureKind::kCancelled;
  } else if (TimedOut(progress, start)) {
    why = FailureKind::kTimedOut;
  }
  if (why == FailureKind::kNone) return false;
  if (progress && !progress->failure) progress->failure.kind = why;
  return true;
}

}  // namespace

Connection::Connection(int socket) : socket_(socket), events_(POLLIN) {}

Connection::~Connection() {
  Close();
}

Connection::Connection(Connection&& other) noexcept {
  *this = std::move(other);
}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this == &other) return *this;
  Close();
  socket_ = std::exchange(other.socket_, -1);
  ssl_ = std::exchange(other.ssl_, nullptr);
  sessionKey_ = std::move(other.sessionKey_);
  ahead_ = std::move(other.ahead_);
  aheadPos_ = std::exchange(other.aheadPos_, 0);
  events_ = std::exchange(other.events_, 0);
  other.ahead_.clear();
  return *this;
}

bool Connection::StartTls(std::string_view host, int port, const TlsOptions& options,
                          NetFailure& failure) {
  IgnoreBrokenPipe();
  std::string detail;
  SSL_CTX* ctx = TlsClientContext(options, detail);
  ssl_ = ctx ? SSL_new(ctx) : nullptr;
  if (!ssl_ || SSL_set_fd(ssl_, socket_) != 1) {
    failure.kind = FailureKind::kTls;
    failure.detail = detail.empty() ? DescribeHandshakeFailure(nullptr) : detail;
    return false;
  }
  SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  const std::string name(host);
  if (IsAddressLiteral(name)) {
    if (!options.insecure) X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, name.c_str());
    if (!options.insecure) SSL_set1_host(ssl_, name.c_str());
  }
  sessionKey_ = std::make_unique<std::string>(SessionKey(host, port, options));
  SSL_set_ex_data(ssl_, TlsSessionKeyIndex(), sessionKey_.get());
  if (SSL_SESSION* session = RecallTlsSession(*sessionKey_)) {
    SSL_set_session(ssl_, session);
    SSL_SESSION_free(session);
  }
  events_ = POLLOUT;
  return true;
}

IoStatus Connection::Handshake(NetFailure& failure) {
  if (!ssl_) return IoStatus::kOk;
  ERR_clear_error();
  int r = SSL_connect(ssl_);
  if (r == 1) {
    CountHandshake(Resumed());
    events_ = POLLIN;
    return IoStatus::kOk;
  }
  IoResult result = TlsResult(r, 0);
  if (result.status == IoStatus::kWantRead || result.status == IoStatus::kWantWrite) {
    return result.status;
  }
  failure.kind = FailureKind::kTls;
  failure.detail = DescribeHandshakeFailure(ssl_);
  return IoStatus::kFailed;
}

bool Connection::Resumed() const {
  return ssl_ && SSL_session_reused(ssl_) == 1;
}

IoResult Connection::TlsResult(int r, std::size_t bytes) {
  if (r == 1) {
    events_ = POLLIN;
    return {IoStatus::kOk, bytes};
  }
  switch (SSL_get_error(ssl_, r)) {
    case SSL_ERROR_WANT_READ:
      events_ = POLLIN;
      return {IoStatus::kWantRead, 0};
    case SSL_ERROR_WANT_WRITE:
      events_ = POLLOUT;
      return {IoStatus::kWantWrite, 0};
    case SSL_ERROR_ZERO_RETURN:
      return {IoStatus::kClosed, 0};
    case SSL_ERROR_SYSCALL:
      if (WouldBlock(errno)) {
        events_ = POLLIN;
        return {IoStatus::kWantRead, 0};
      }
      [[fallthrough]];
    default:
      // Includes a peer that closed without its closing alert: the stream may be cut short.
      return {IoStatus::kFailed, 0};
  }
}

IoResult Connection::Read(char* buffer, std::size_t size) {
  if (socket_ < 0 || size == 0) return {IoStatus::kFailed, 0};
  if (aheadPos_ < ahead_.size()) {
    std::size_t n = std::min(size, ahead_.size() - aheadPos_);
    ahead_.copy(buffer, n, aheadPos_);
    aheadPos_ += n;
    if (aheadPos_ == ahead_.size()) {
      ahead_.clear();
      aheadPos_ = 0;
    }
    return {IoStatus::kOk, n};
  }
  if (ssl_) {
    ERR_clear_error();
    std::size_t got = 0;
    int r = SSL_read_ex(ssl_, buffer, size, &got);
    return TlsResult(r, got);
  }
  ssize_t got = ::recv(socket_, buffer, size, MSG_DONTWAIT);
  events_ = POLLIN;
  if (got > 0) return {IoStatus::kOk, static_cast<std::size_t>(got)};
  if (got == 0) return {IoStatus::kClosed, 0};
  return {WouldBlock(errno) ? IoStatus::kWantRead : IoStatus::kFailed, 0};
}

IoResult Connection::Write(const char* buffer, std::size_t size) {
  if (socket_ < 0) return {IoStatus::kFailed, 0};
  if (size == 0) return {IoStatus::kOk, 0};
  if (ssl_) {
    ERR_clear_error();
    std::size_t sent = 0;
    int r = SSL_write_ex(ssl_, buffer, size, &sent);
    return TlsResult(r, sent);
  }
  ssize_t sent = ::send(socket_, buffer, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent >= 0) {
    events_ = POLLIN;
    return {IoStatus::kOk, static_cast<std::size_t>(sent)};
  }
  events_ = POLLOUT;
  return {WouldBlock(errno) ? IoStatus::kWantWrite : IoStatus::kFailed, 0};
}

void Connection::PutBack(std::string_view bytes) {
  if (bytes.empty()) return;
  ahead_.erase(0, aheadPos_);
  aheadPos_ = 0;
  ahead_.insert(0, bytes);
}

bool Connection::HasBuffered() const {
  return aheadPos_ < ahead_.size() || (ssl_ && SSL_has_pending(ssl_) == 1);
}

void Connection::Close() {
  if (ssl_) {
    if (SSL_is_init_finished(ssl_)) (void)SSL_shutdown(ssl_);
    SSL_free(ssl_);
    ssl_ = nullptr;
    ERR_clear_error();
  }
  sessionKey_.reset();
  if (socket_ >= 0) CloseConnection(socket_, nullptr);
  socket_ = -1;
  ahead_.clear();
  aheadPos_ = 0;
  events_ = 0;
}

int WaitConnection(const Connection& connection, int timeoutMs) {
  if (!connection.IsOpen()) return -1;
  if (connection.HasBuffered()) return 1;
  return connection.Events() == POLLOUT ? PollWritable(connection.fd(), timeoutMs)
                                        : PollReadable(connection.fd(), timeoutMs);
}

IoResult ReadWait(Connection& connection, char* buffer, std::size_t size, NetProgress* progress) {
  if (size == 0) return {IoStatus::kOk, 0};
  std::uint64_t start = NowSeconds();
  for (;;) {
    if (GiveUp(progress, start)) return {IoStatus::kFailed, 0};
    IoResult r = connection.Read(buffer, size);
    if (r.status != IoStatus::kWantRead && r.status != IoStatus::kWantWrite) return r;
    if (WaitConnection(connection, kPollSliceMs) < 0) return {IoStatus::kFailed, 0};
  }
}

bool WriteAllWait(Connection& connection, std::string_view bytes, NetProgress* progress) {
  std::uint64_t start = NowSeconds();
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (GiveUp(progress, start)) return false;
    IoResult r = connection.Write(bytes.data() + sent, bytes.size() - sent);
    if (r.status == IoStatus::kOk) {
      sent += r.bytes;
      start = NowSeconds();
      continue;
    }
    if (r.status != IoStatus::kWantRead && r.status != IoStatus::kWantWrite) return false;
    if (WaitConnection(connection, kPollSliceMs) < 0) return false;
  }
  return true;
}

}  // namespace sondrel
