#pragma once
// One request and its response header over a connection opened without blocking: connect,
// send the request (and a body), read exactly the header, skipping interim 1xx replies. Bytes
// that arrived after the header stay on the connection for the body.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/async_connection.h"
#include "net/async_wait.h"
#include "net/connection.h"
#include "net/net_progress.h"

namespace sondrel {

enum class ExchangeStage : std::uint8_t {
  kConnecting,
  kSending,
  kSendingBody,
  kReadingHeader,
  kDone,
  kFailed,
};

// What one exchange sends, and where.
struct ExchangeRequest {
  ConnectTarget target;
  std::string requestText;
  std::string body;
  bool useCookies = false;  // stored cookies for url go out, Set-Cookie fields are stored
  std::string url;
};

class AsyncExchange {
 public:
  AsyncExchange() = default;
  AsyncExchange(const AsyncExchange&) = delete;
  AsyncExchange& operator=(const AsyncExchange&) = delete;

  // header receives the response header, at most headerSize - 1 bytes; it must outlive the
  // exchange. With reuse, the request goes over that already open connection.
  void Start(ExchangeRequest request, std::string& header, std::size_t headerSize,
             NetProgress* progress, Connection reuse = {});
  // kAsyncDone: the header arrived and the connection is at the first body byte. kAsyncFailed
  // (also when the server closed before the header's end, or it did not fit): nothing is left
  // open, header holds what arrived, progress->failure says why. kAsyncAgain: call again.
  [[nodiscard]] int Step();
  void Close();

  Connection& connection() { return connection_.connection(); }
  ExchangeStage stage() const { return stage_; }
  // Whether the request went over a reused connection (a failure before any reply byte may
  // then just be the server having closed it while idle).
  bool reused() const { return reused_; }
  AsyncWait Wait() const;

 private:
  int Fail(FailureKind kind, std::string_view detail = {});
  int SendStep(const std::string& bytes);
  int HeaderStep();
  void BeginSending();

  AsyncConnection connection_;
  ExchangeStage stage_ = ExchangeStage::kFailed;
  std::size_t position_ = 0;
  ExchangeRequest request_;
  std::string* header_ = nullptr;
  std::size_t headerSize_ = 0;
  NetProgress* progress_ = nullptr;
  std::uint64_t lastActivity_ = 0;
  std::uint64_t headerStart_ = 0;
  bool reused_ = false;
};

}  // namespace sondrel
