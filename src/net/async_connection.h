#pragma once
// A TCP connection opened without blocking: lookup, socket, connect, each as a pollable step.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/async_wait.h"
#include "net/host_lookup.h"
#include "net/net_progress.h"

namespace sondrel {

enum AsyncConnectionState {
  kConnectionResolving = 2,
  kConnectionCreate = 3,
  kConnectionConnecting = 30,
  kConnectionOpen = 1,
  kConnectionFailed = -1,
};

class AsyncConnection {
 public:
  AsyncConnection() = default;
  ~AsyncConnection() { Close(); }
  AsyncConnection(const AsyncConnection&) = delete;
  AsyncConnection& operator=(const AsyncConnection&) = delete;

  // Closes what an earlier start left open and begins the lookup of host.
  void Start(std::string_view host, int port, NetProgress* progress);
  // kAsyncDone connected (state 3 reported, text the peer's dotted address), kAsyncFailed with
  // nothing left open, kAsyncAgain call again. The connect is tried once.
  [[nodiscard]] int Step();
  // Closes the socket (resetting the connection) and gives a pending lookup up.
  void Close();

  int socket() const { return socket_; }
  int state() const { return state_; }
  AsyncWait Wait() const;

 private:
  int Fail();
  int Connected();

  int socket_ = -1;
  int state_ = kConnectionFailed;
  std::string host_;
  int port_ = 0;
  std::uint32_t address_ = 0;
  NetProgress* progress_ = nullptr;
  HostLookup lookup_;
  std::uint64_t connectStart_ = 0;
};

}  // namespace sondrel
