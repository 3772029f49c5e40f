#pragma once
// One request and its response header over a connection opened without blocking: connect,
// send the request (and a body), read exactly the header. The body stays unread in the socket.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/async_connection.h"
#include "net/async_wait.h"
#include "net/net_progress.h"

namespace sondrel {

enum AsyncExchangeState {
  kExchangeConnecting = 1,
  kExchangeSending = 2,
  kExchangeSendingBody = 3,
  kExchangeReadingHeader = 4,
  kExchangeDone = 5,
  kExchangeFailed = -1,
};

class AsyncExchange {
 public:
  AsyncExchange() = default;
  AsyncExchange(const AsyncExchange&) = delete;
  AsyncExchange& operator=(const AsyncExchange&) = delete;

  // header receives the response header, at most headerSize - 1 bytes; it must outlive the
  // exchange. With useCookies the stored cookies for url go with the request and the
  // Set-Cookie fields of the response are stored.
  void Start(std::string_view host, int port, std::string requestText, std::string body,
             std::string& header, std::size_t headerSize, bool useCookies, std::string url,
             NetProgress* progress);
  // kAsyncDone: the header arrived and the connection is at the first body byte. kAsyncFailed
  // (also when the server closed before the header's end, or it did not fit): nothing is left
  // open, header holds what arrived. kAsyncAgain: call again.
  [[nodiscard]] int Step();
  void Close();

  int socket() const { return connection_.socket(); }
  int state() const { return state_; }
  AsyncWait Wait() const;

 private:
  int Fail();
  int SendStep(const std::string& bytes);
  int HeaderStep();

  AsyncConnection connection_;
  int state_ = kExchangeFailed;
  std::size_t position_ = 0;
  std::string requestText_;
  std::string body_;
  std::string* header_ = nullptr;
  std::size_t headerSize_ = 0;
  bool useCookies_ = false;
  std::string url_;
  NetProgress* progress_ = nullptr;
  std::uint64_t lastActivity_ = 0;
};

}  // namespace sondrel
