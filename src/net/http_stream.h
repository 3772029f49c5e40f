#pragma once
// The body side of a reply: the connection it arrives on and where it ends. When the whole body
// has been read and the server keeps the connection open, closing the stream hands the
// connection to the operation's pool for its next request; otherwise closing closes it.

#include <cstddef>

#include "net/async_connection.h"
#include "net/connection.h"
#include "net/connection_pool.h"
#include "net/http_body.h"

namespace sondrel {

class HttpStream {
 public:
  HttpStream() = default;
  HttpStream(Connection connection, HttpBody body, ConnectionPool* pool, ConnectTarget target,
             bool keepAlive);
  ~HttpStream() { Close(); }
  HttpStream(HttpStream&&) noexcept = default;
  HttpStream& operator=(HttpStream&& other) noexcept;
  HttpStream(const HttpStream&) = delete;
  HttpStream& operator=(const HttpStream&) = delete;

  explicit operator bool() const { return connection_.IsOpen(); }
  // Decoded body bytes without waiting (see HttpBody::Read).
  IoResult Read(char* buffer, std::size_t size) { return body_.Read(connection_, buffer, size); }
  // Whether a read can go on without waiting.
  bool HasBuffered() const { return connection_.HasBuffered(); }
  Connection& connection() { return connection_; }
  const Connection& connection() const { return connection_; }
  const HttpBody& body() const { return body_; }

  void Close();

 private:
  Connection connection_;
  HttpBody body_;
  ConnectionPool* pool_ = nullptr;
  ConnectTarget target_;
  bool keepAlive_ = false;
};

// Whether the server lets the connection stay open after this reply.
bool KeepsAlive(std::string_view header);

}  // namespace sondrel
