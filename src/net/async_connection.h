#pragma once
// A connection opened without blocking, each stage a pollable step: lookup, socket, connect,
// through an HTTP proxy the CONNECT tunnel, then the TLS handshake. The result is a Connection.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/async_wait.h"
#include "net/connection.h"
#include "net/host_lookup.h"
#include "net/net_progress.h"
#include "net/tls_options.h"

namespace sondrel {

// Where a connection goes and what it must be before the request can be sent.
struct ConnectTarget {
  std::string host;  // the server, or the proxy
  int port = 0;
  std::string server;  // the server's name and port (TLS check and the tunnel's target)
  int serverPort = 0;
  bool tls = false;
  bool tunnel = false;  // CONNECT server:serverPort through the proxy first
  TlsOptions tlsOptions;
};

enum class ConnectStage : std::uint8_t {
  kResolving,
  kCreate,
  kConnecting,
  kTunnelSending,
  kTunnelReply,
  kHandshake,
  kOpen,
  kFailed,
};

class AsyncConnection {
 public:
  AsyncConnection() = default;
  ~AsyncConnection() { Close(); }
  AsyncConnection(const AsyncConnection&) = delete;
  AsyncConnection& operator=(const AsyncConnection&) = delete;

  // Closes what an earlier start left open and begins the lookup of target.host.
  void Start(ConnectTarget target, NetProgress* progress);
  // Starts from a connection that is already open (a reused one): Step answers kAsyncDone.
  void Adopt(Connection connection, NetProgress* progress);
  // kAsyncDone open (state 3 reported, text the peer's dotted address), kAsyncFailed with
  // nothing left open and progress->failure filled, kAsyncAgain call again. The connect is tried
  // progress->attempts times.
  [[nodiscard]] int Step();
  // Closes the connection and gives a pending lookup up.
  void Close();

  Connection& connection() { return connection_; }
  const Connection& connection() const { return connection_; }
  ConnectStage stage() const { return stage_; }
  AsyncWait Wait() const;

 private:
  int Fail(FailureKind kind, std::string detail = {});
  int Connected();
  int CreateStep();
  int ConnectingStep();
  int TunnelSendStep();
  int TunnelReplyStep();
  int HandshakeStep();
  int AfterTcp();

  Connection connection_;
  ConnectStage stage_ = ConnectStage::kFailed;
  ConnectTarget target_;
  std::uint32_t address_ = 0;
  NetProgress* progress_ = nullptr;
  HostLookup lookup_;
  std::uint64_t stageStart_ = 0;
  int attemptsLeft_ = 1;
  std::string tunnelText_;  // the CONNECT request, then the proxy's reply
  std::size_t position_ = 0;
};

}  // namespace sondrel
