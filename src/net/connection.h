#pragma once
// One open connection to a server, plain TCP or TLS over it. The object owns its socket and its
// TLS state and releases both when it goes; it can be moved, never copied. Every call is
// non-blocking: a read or write that cannot go on says what it waits for, and the caller polls
// Events() on fd(). The blocking fetches drive the same calls through ReadWait and WriteAllWait.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/net_failure.h"
#include "net/net_progress.h"
#include "net/tls_options.h"

struct ssl_st;

namespace sondrel {

enum class IoStatus : std::uint8_t {
  kOk,         // bytes moved (a read of 0 bytes never answers kOk)
  kWantRead,   // try again when fd() is readable
  kWantWrite,  // try again when fd() is writable (TLS may need to write to read)
  kClosed,     // the peer ended the stream cleanly
  kFailed,     // reset, error, or a TLS stream cut off without its closing alert
};

struct IoResult {
  IoStatus status = IoStatus::kFailed;
  std::size_t bytes = 0;
};

class Connection {
 public:
  Connection() = default;
  explicit Connection(int socket);  // takes a connected non-blocking socket
  ~Connection();
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool IsOpen() const { return socket_ >= 0; }
  explicit operator bool() const { return IsOpen(); }
  int fd() const { return socket_; }
  bool IsTls() const { return ssl_ != nullptr; }

  // Puts TLS on the open socket for host (SNI and the name or address checked against the
  // certificate). False with failure filled when no TLS state could be made.
  bool StartTls(std::string_view host, int port, const TlsOptions& options, NetFailure& failure);
  // One handshake step: kOk when done, kWantRead/kWantWrite, or kFailed with failure filled.
  IoStatus Handshake(NetFailure& failure);
  // Whether the last finished handshake resumed a session of an earlier connection.
  bool Resumed() const;

  IoResult Read(char* buffer, std::size_t size);
  IoResult Write(const char* buffer, std::size_t size);
  // Bytes read ahead of what the caller wanted; the next reads return them first.
  void PutBack(std::string_view bytes);
  // Whether a read can return bytes without waiting (put-back bytes or a decrypted record).
  bool HasBuffered() const;
  // The poll events the last call asked for (POLLIN unless a TLS step wants to write).
  short Events() const { return events_; }

  // Sends the TLS closing alert when it can go at once, then closes the socket with a reset.
  void Close();

 private:
  IoResult TlsResult(int r, std::size_t bytes);

  int socket_ = -1;
  ssl_st* ssl_ = nullptr;
  std::unique_ptr<std::string> sessionKey_;  // stable address for the session callback
  std::string ahead_;
  std::size_t aheadPos_ = 0;
  short events_ = 0;
};

// Blocking forms over Connection for worker threads: each waits in short poll slices, calling
// the idle hook and checking cancellation and the timeout (counted from the call). They fill
// progress->failure with kCancelled or kTimedOut when they give up for those reasons.
// A read of up to size bytes: kOk, kClosed or kFailed.
IoResult ReadWait(Connection& connection, char* buffer, std::size_t size, NetProgress* progress);
// All of bytes, or false.
bool WriteAllWait(Connection& connection, std::string_view bytes, NetProgress* progress);
// Waits for the connection's last wish (Events()) once, up to timeoutMs: 1 ready, 0 not yet,
// -1 error. A buffered connection is ready at once.
int WaitConnection(const Connection& connection, int timeoutMs);

}  // namespace sondrel
