#pragma once
// Why a network operation failed, as a type the front ends can word and map to exit statuses.
// Every fetch, job, verification, download and update that fails fills one of these, so a user
// can tell a missing host from a refused port or a bad certificate.

#include <cstdint>
#include <string>

namespace sondrel {

enum class FailureKind : std::uint8_t {
  kNone,          // no failure
  kNameNotFound,  // the host name did not resolve
  kRefused,       // the connection was refused or reset before a reply
  kTimedOut,      // silence past the timeout, or a deadline passed
  kTls,           // handshake or certificate failure; detail names the reason
  kHttpStatus,    // the server answered with an error status; httpStatus holds it
  kFtpReply,      // the FTP server answered with an error reply; replyCode holds it
  kRateLimited,   // 429 or 503 with Retry-After
  kKeyMissing,    // an engine needs a user key that the settings do not hold
  kProtocol,      // a reply that breaks the protocol (bad length, bad chunk, bad range, ...)
  kTooLarge,      // a body past its cap
  kNoResponse,    // the peer closed without answering
  kCancelled,     // the operation's own cancel flag was set
  kLocalFile,     // a local file could not be opened or written; detail names the path
  kBadAddress,    // not an address the program can fetch
};

struct NetFailure {
  FailureKind kind = FailureKind::kNone;
  std::string host;    // "archive.org", or the path for kLocalFile
  int httpStatus = 0;  // the status line's code, when one arrived
  int replyCode = 0;   // the FTP reply code, when one arrived
  std::string reason;  // the status line's reason phrase ("Not Found")
  std::string detail;  // "certificate has expired", "unknown issuer", ...

  explicit operator bool() const { return kind != FailureKind::kNone; }
};

// One line for a user: "archive.org: connection refused", "h: HTTP 404 Not Found",
// "h: TLS: certificate has expired".
std::string DescribeFailure(const NetFailure& failure);
// A short word for machine output: "name-not-found", "refused", "timed-out", "tls", ...
std::string_view FailureWord(FailureKind kind);

}  // namespace sondrel
