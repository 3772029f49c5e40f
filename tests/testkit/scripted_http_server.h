#pragma once
// A loopback HTTP server that plays canned replies byte for byte, one connection at a time,
// and records the exact bytes of every request it received. For the faults a real server will
// not produce: a header without CR, a stall, a close mid-header, a redirect loop.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sondrel::testkit {

struct ScriptedReply {
  std::string bytes;   // sent as they stand once the request has arrived, then the server closes
  bool stall = false;  // never answer: hold the connection until the client or the server ends
  // After bytes: each piece in turn, pauseMs apart (a reply split across reads, a trickle).
  std::vector<std::string> pieces = {};
  int pauseMs = 0;
  // After bytes and pieces: this block again and again until the client goes (an endless body).
  std::string endless = {};
};

// Gets the connection number (0 first) and the request received on it.
using ReplyScript = std::function<ScriptedReply(int connection, const std::string& request)>;

class ScriptedHttpServer {
 public:
  explicit ScriptedHttpServer(ReplyScript script);
  // The replies in order; the last one answers every further connection.
  explicit ScriptedHttpServer(std::vector<ScriptedReply> replies);
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;  // "http://127.0.0.1:PORT/path"
  std::vector<std::string> Requests() const;
  int Connections() const { return connections_.load(); }

 private:
  void Run();
  void Serve(int client, int index);

  ReplyScript script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A complete reply: status line, the given header lines, Content-Length of body, body.
std::string HttpReply(std::string_view statusLine, std::string_view headerLines,
                      std::string_view body);

}  // namespace sondrel::testkit
