#include "testkit/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "testkit/server_process.h"

namespace sondrel::testkit {
namespace {

constexpr int kSliceMs = 20;
constexpr int kRequestWaitMs = 5000;

std::size_t RequestLength(const std::string& bytes) {
  std::size_t end = bytes.find("\r\n\r\n");
  std::size_t endLength = 4;
  if (end == std::string::npos) {
    end = bytes.find("\n\n");
    endLength = 2;
  }
  if (end == std::string::npos) return 0;
  std::size_t headerLength = end + endLength;
  std::size_t body = 0;
  std::string lower;
  for (char c : bytes.substr(0, headerLength)) lower += static_cast<char>(std::tolower(c));
  std::size_t at = lower.find("\ncontent-length:");
  if (at != std::string::npos) body = std::strtoul(lower.c_str() + at + 16, nullptr, 10);
  return headerLength + body;
}

// False when the client went away or the server stops. Sends wait at most a slice at a time,
// so a client that stops reading cannot hold the server's thread.
bool SendAll(int client, const std::string& bytes, const std::atomic<bool>& stop) {
  timeval slice{0, kSliceMs * 1000};
  ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (stop) return false;
    ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string HttpReply(std::string_view statusLine, std::string_view headerLines,
                      std::string_view body) {
  std::string reply(statusLine);
  reply += "\r\n";
  reply += headerLines;
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  reply += body;
  return reply;
}

ScriptedHttpServer::ScriptedHttpServer(std::vector<ScriptedReply> replies)
    : ScriptedHttpServer([replies](int connection, const std::string&) {
        if (replies.empty()) return ScriptedReply{};
        std::size_t i =
            std::min<std::size_t>(static_cast<std::size_t>(connection), replies.size() - 1);
        return replies[i];
      }) {}

ScriptedHttpServer::ScriptedHttpServer(ReplyScript script) : script_(std::move(script)) {
  listener_ = ListenLoopback(port_);
  if (listener_ < 0) throw std::runtime_error("scripted server: cannot listen");
  thread_ = std::thread([this] { Run(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string ScriptedHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedHttpServer::Run() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client, connections_.fetch_add(1));
    ::close(client);
  }
}

void ScriptedHttpServer::Serve(int client, int index) {
  std::string request;
  char buf[4096];
  int waited = 0;
  while (!stop_ && waited < kRequestWaitMs) {
    std::size_t need = RequestLength(request);
    if (need > 0 && request.size() >= need) break;
    pollfd p{client, POLLIN, 0};
    int r = ::poll(&p, 1, kSliceMs);
    if (r == 0) {
      waited += kSliceMs;
      continue;
    }
    ssize_t got = ::recv(client, buf, sizeof buf, 0);
    if (got <= 0) break;
    request.append(buf, static_cast<std::size_t>(got));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  ScriptedReply reply = script_(index, request);
  if (reply.stall) {
    // Hold the connection silently until the client gives up or the server stops.
    while (!stop_) {
      pollfd p{client, POLLIN, 0};
      if (::poll(&p, 1, kSliceMs) > 0 && ::recv(client, buf, sizeof buf, 0) <= 0) break;
    }
    return;
  }
  if (!SendAll(client, reply.bytes, stop_)) return;
  for (const std::string& piece : reply.pieces) {
    for (int waited = 0; waited < reply.pauseMs && !stop_; waited += kSliceMs) {
      ::poll(nullptr, 0, std::min(kSliceMs, reply.pauseMs - waited));
    }
    if (stop_ || !SendAll(client, piece, stop_)) return;
  }
  while (!reply.endless.empty() && !stop_) {
    if (!SendAll(client, reply.endless, stop_)) return;
  }
  ::shutdown(client, SHUT_WR);
  // Let the client read everything before the socket goes away.
  for (int i = 0; i < 50 && !stop_; ++i) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) > 0 && ::recv(client, buf, sizeof buf, 0) <= 0) break;
  }
}

}  // namespace sondrel::testkit
