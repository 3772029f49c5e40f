#pragma once
// Where a reply's body ends: after Content-Length bytes, at the last chunk of a chunked body,
// or when the server closes. Reads decoded body bytes from a connection without waiting, and
// leaves whatever follows the body on the connection for the next reply.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/chunked_decoder.h"
#include "net/connection.h"
#include "net/net_failure.h"

namespace sondrel {

enum class BodyFraming : std::uint8_t {
  kNone,        // HEAD, 1xx, 204, 304: no body at all
  kLength,      // Content-Length bytes
  kChunked,     // Transfer-Encoding: chunked
  kUntilClose,  // neither: the body ends when the server closes
};

enum class LengthField : std::uint8_t { kAbsent, kValid, kInvalid };

// The Content-Length of header: every field and every comma-separated value must be the same
// non-negative decimal number, else kInvalid.
LengthField ContentLengthOf(std::string_view header, std::int64_t& length);
// Whether the last transfer coding of header is chunked.
bool IsChunked(std::string_view header);
// How the body of the reply to a request with method (kHttpHead ...) ends; kInvalid lengths
// are the caller's failure. length is the Content-Length for kLength.
BodyFraming FramingOf(std::string_view header, int method, std::int64_t& length);

class HttpBody {
 public:
  void Begin(BodyFraming framing, std::int64_t length);

  // Up to size decoded bytes without waiting. kOk with bytes > 0; kClosed once the whole body
  // has been read; kWantRead/kWantWrite; kFailed for a body cut short or malformed (failure()).
  IoResult Read(Connection& connection, char* buffer, std::size_t size);

  bool Finished() const { return finished_; }
  // Whether the connection is positioned at the next reply once the body is read.
  bool Delimited() const {
    return framing_ == BodyFraming::kLength || framing_ == BodyFraming::kChunked ||
           framing_ == BodyFraming::kNone;
  }
  BodyFraming framing() const { return framing_; }
  const NetFailure& failure() const { return failure_; }
  std::int64_t received() const { return received_; }

 private:
  IoResult Fail(FailureKind kind, std::string_view detail);
  IoResult ReadChunked(Connection& connection, char* buffer, std::size_t size);

  BodyFraming framing_ = BodyFraming::kNone;
  std::int64_t remaining_ = 0;
  std::int64_t received_ = 0;
  bool finished_ = false;
  ChunkedDecoder chunked_;
  NetFailure failure_;
};

}  // namespace sondrel
