#include "net/net_failure.h"

#include <string_view>

namespace sondrel {

std::string_view FailureWord(FailureKind kind) {
  switch (kind) {
    case FailureKind::kNone: return "none";
    case FailureKind::kNameNotFound: return "name-not-found";
    case FailureKind::kRefused: return "refused";
    case FailureKind::kTimedOut: return "timed-out";
    case FailureKind::kTls: return "tls";
    case FailureKind::kHttpStatus: return "http-status";
    case FailureKind::kFtpReply: return "ftp-reply";
    case FailureKind::kRateLimited: return "rate-limited";
    case FailureKind::kKeyMissing: return "key-missing";
    case FailureKind::kProtocol: return "protocol";
    case FailureKind::kTooLarge: return "too-large";
    case FailureKind::kNoResponse: return "no-response";
    case FailureKind::kCancelled: return "cancelled";
    case FailureKind::kLocalFile: return "local-file";
    case FailureKind::kBadAddress: return "bad-address";
  }
  return "unknown";
}

namespace {

std::string Cause(const NetFailure& f) {
  switch (f.kind) {
    case FailureKind::kNone: return "no failure";
    case FailureKind::kNameNotFound: return "name not found";
    case FailureKind::kRefused: return "connection refused";
    case FailureKind::kTimedOut: return "timed out";
    case FailureKind::kTls: return f.detail.empty() ? "TLS handshake failed" : "TLS: " + f.detail;
    case FailureKind::kHttpStatus: {
      std::string s = "HTTP " + std::to_string(f.httpStatus);
      if (!f.reason.empty()) s += " " + f.reason;
      return s;
    }
    case FailureKind::kFtpReply: {
      std::string s = "FTP " + std::to_string(f.replyCode);
      if (!f.reason.empty()) s += " " + f.reason;
      return s;
    }
    case FailureKind::kRateLimited: return "rate limited";
    case FailureKind::kKeyMissing: return "key missing";
    case FailureKind::kProtocol: return "malformed reply";
    case FailureKind::kTooLarge: return "reply too large";
    case FailureKind::kNoResponse: return "no response";
    case FailureKind::kCancelled: return "cancelled";
    case FailureKind::kLocalFile: return "cannot write the file";
    case FailureKind::kBadAddress: return "not a web or FTP address";
  }
  return "failed";
}

}  // namespace

std::string DescribeFailure(const NetFailure& failure) {
  std::string cause = Cause(failure);
  // TLS and protocol failures name their own reason; the others take it after a colon.
  if (!failure.detail.empty() && failure.kind != FailureKind::kTls) cause += " (" + failure.detail + ")";
  if (failure.host.empty()) return cause;
  return failure.host + ": " + cause;
}

}  // namespace sondrel
