#pragma once
// A loopback HTTPS server that plays canned replies, one connection at a time, for the faults a
// real server will not produce: a body cut off without TLS's closing alert, a chunked reply over
// TLS. It records the request bytes it received.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testkit/test_certificates.h"

struct ssl_ctx_st;

namespace sondrel::testkit {

struct TlsReply {
  std::string bytes;
  bool closeNotify = true;  // false: the socket is closed without the TLS closing alert
};

class ScriptedTlsServer {
 public:
  // The replies in order; the last one answers every further connection.
  ScriptedTlsServer(const CertificatePair& pair, std::vector<TlsReply> replies);
  ~ScriptedTlsServer();
  ScriptedTlsServer(const ScriptedTlsServer&) = delete;
  ScriptedTlsServer& operator=(const ScriptedTlsServer&) = delete;

  bool ok() const { return ctx_ != nullptr; }
  int port() const { return port_; }
  std::string Url(const std::string& path = "/") const;  // "https://127.0.0.1:PORT/path"
  std::vector<std::string> Requests() const;

 private:
  void Run();
  void Serve(int client, const TlsReply& reply);

  std::vector<TlsReply> replies_;
  ssl_ctx_st* ctx_ = nullptr;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace sondrel::testkit
