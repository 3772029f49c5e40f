#include "net/http_stream.h"

#include "net/http_response.h"
#include "net/net_texts.h"
#include "support/text.h"

namespace sondrel {

HttpStream::HttpStream(Connection connection, HttpBody body, ConnectionPool* pool,
                       ConnectTarget target, bool keepAlive)
    : connection_(std::move(connection)),
      body_(std::move(body)),
      pool_(pool),
      target_(std::move(target)),
      keepAlive_(keepAlive) {}

HttpStream& HttpStream::operator=(HttpStream&& other) noexcept {
  if (this == &other) return *this;
  Close();
  connection_ = std::move(other.connection_);
  body_ = std::move(other.body_);
  pool_ = other.pool_;
  target_ = std::move(other.target_);
  keepAlive_ = other.keepAlive_;
  other.pool_ = nullptr;
  return *this;
}

void HttpStream::Close() {
  if (pool_ && keepAlive_ && connection_.IsOpen() && body_.Finished() && body_.Delimited()) {
    pool_->Put(target_, std::move(connection_));
  }
  connection_.Close();
  pool_ = nullptr;
}

bool KeepsAlive(std::string_view header) {
  std::string value;
  bool named = FindHeader(value, kHeaderValueMax + 2, net_texts::kConnectionField, header);
  if (named && StrFind(value, net_texts::kClose, false) >= 0) return false;
  // HTTP/1.1 stays open unless told otherwise; 1.0 only when it says keep-alive.
  if (header.substr(0, 8) == "HTTP/1.1") return true;
  return named && StrFind(value, net_texts::kKeepAlive, false) >= 0;
}

}  // namespace sondrel
