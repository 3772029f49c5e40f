#pragma once
// A small HTTP proxy on loopback that answers CONNECT only: it opens the tunnel to a 127.0.0.1
// port and relays bytes both ways, or refuses with the status line it was given. One tunnel at a
// time; it records the request head of every connection.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sondrel::testkit {

class ConnectProxy {
 public:
  // refusal empty: tunnels are opened; else the status line every CONNECT is answered with.
  explicit ConnectProxy(std::string refusal = {});
  ~ConnectProxy();
  ConnectProxy(const ConnectProxy&) = delete;
  ConnectProxy& operator=(const ConnectProxy&) = delete;

  int port() const { return port_; }
  std::vector<std::string> Requests() const;

 private:
  void Run();
  void Serve(int client);
  void Relay(int client, int server);

  std::string refusal_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace sondrel::testkit
