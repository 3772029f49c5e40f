#include "testkit/connect_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "testkit/server_process.h"

namespace sondrel::testkit {
namespace {

constexpr int kSliceMs = 20;
constexpr int kHeadWaitMs = 5000;

bool SendAll(int socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

int ConnectLoopback(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

}  // namespace

ConnectProxy::ConnectProxy(std::string refusal) : refusal_(std::move(refusal)) {
  listener_ = ListenLoopback(port_);
  if (listener_ < 0) throw std::runtime_error("connect proxy: cannot listen");
  thread_ = std::thread([this] { Run(); });
}

ConnectProxy::~ConnectProxy() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::vector<std::string> ConnectProxy::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ConnectProxy::Run() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    ::close(client);
  }
}

// Reads the request head byte by byte, so nothing of the tunnel's first bytes is taken with it.
void ConnectProxy::Serve(int client) {
  std::string head;
  for (int waited = 0; head.find("\r\n\r\n") == std::string::npos && waited < kHeadWaitMs;) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) {
      waited += kSliceMs;
      if (stop_) return;
      continue;
    }
    char c = 0;
    if (::recv(client, &c, 1, 0) != 1) return;
    head += c;
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(head);
  }
  std::size_t colon = head.find(':');
  bool connect = head.rfind("CONNECT 127.0.0.1:", 0) == 0 && colon != std::string::npos;
  int server =
      connect && refusal_.empty() ? ConnectLoopback(std::atoi(head.c_str() + colon + 1)) : -1;
  if (server < 0) {
    std::string line = refusal_.empty() ? "HTTP/1.1 502 Bad Gateway" : refusal_;
    (void)SendAll(client, line + "\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  if (SendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) Relay(client, server);
  ::close(server);
}

void ConnectProxy::Relay(int client, int server) {
  char buf[16384];
  while (!stop_) {
    pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    int r = ::poll(p, 2, kSliceMs);
    if (r < 0) return;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
      if (n <= 0 || !SendAll(p[1 - i].fd, std::string(buf, static_cast<std::size_t>(n)))) return;
    }
  }
}

}  // namespace sondrel::testkit
