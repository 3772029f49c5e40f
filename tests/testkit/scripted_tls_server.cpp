#include "testkit/scripted_tls_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "testkit/server_process.h"

namespace sondrel::testkit {
namespace {

constexpr int kSliceMs = 20;
constexpr int kIoTimeoutMs = 5000;

// Blocking socket calls that give up after kIoTimeoutMs, so a client that goes away never
// holds the server's thread.
void SetTimeouts(int socket) {
  timeval limit{kIoTimeoutMs / 1000, 0};
  ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

}  // namespace

ScriptedTlsServer::ScriptedTlsServer(const CertificatePair& pair, std::vector<TlsReply> replies)
    : replies_(std::move(replies)) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx || SSL_CTX_use_certificate_file(ctx, pair.cert.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, pair.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(ctx);
    return;
  }
  listener_ = ListenLoopback(port_);
  if (listener_ < 0) {
    SSL_CTX_free(ctx);
    return;
  }
  ctx_ = ctx;
  thread_ = std::thread([this] { Run(); });
}

ScriptedTlsServer::~ScriptedTlsServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  SSL_CTX_free(ctx_);
}

std::string ScriptedTlsServer::Url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> ScriptedTlsServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedTlsServer::Run() {
  std::size_t index = 0;
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    SetTimeouts(client);
    const TlsReply& reply = replies_[std::min(index++, replies_.size() - 1)];
    Serve(client, reply);
    ::close(client);
  }
}

void ScriptedTlsServer::Serve(int client, const TlsReply& reply) {
  SSL* ssl = SSL_new(ctx_);
  SSL_set_fd(ssl, client);
  if (SSL_accept(ssl) == 1) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      int n = SSL_read(ssl, buf, sizeof buf);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    std::size_t sent = 0;
    while (sent < reply.bytes.size()) {
      int n =
          SSL_write(ssl, reply.bytes.data() + sent, static_cast<int>(reply.bytes.size() - sent));
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    if (reply.closeNotify) SSL_shutdown(ssl);
  }
  SSL_free(ssl);
}

}  // namespace sondrel::testkit
