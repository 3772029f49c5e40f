#include "cli/net_errors.h"

#include "cli/arguments.h"
#include "net/http_response.h"
#include "net/url.h"

namespace sondrel::cli {

int ExitStatusFor(const NetFailure& failure) {
  switch (failure.kind) {
    case FailureKind::kNameNotFound:
    case FailureKind::kRefused:
    case FailureKind::kTimedOut:
    case FailureKind::kNoResponse:
      return kExitNothingAnswered;
    case FailureKind::kHttpStatus:
    case FailureKind::kFtpReply:
    case FailureKind::kRateLimited:
      return kExitErrorReply;
    case FailureKind::kCancelled:
      return kExitInterrupted;
    default:
      return kExitFailure;
  }
}

std::string HostOfUrl(std::string_view url) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  std::string netloc = parts.netloc;
  if (const std::size_t at = netloc.rfind('@'); at != std::string::npos) netloc.erase(0, at + 1);
  std::string host;
  int port = 0;
  SplitHostPort(netloc, host, port);
  return host.empty() ? std::string(url) : host;
}

NetFailure FailureFromReply(std::string_view url, std::string_view header) {
  NetFailure failure;
  failure.host = HostOfUrl(url);
  const int status = header.empty() ? 0 : StatusCode(header);
  if (status < 100) {
    failure.kind = FailureKind::kNoResponse;
    return failure;
  }
  const std::string_view line = header.substr(0, header.find_first_of("\r\n"));
  // "HTTP/1.1 404 Not Found": the reason phrase follows the second space.
  if (const std::size_t first = line.find(' '); first != std::string_view::npos) {
    if (const std::size_t second = line.find(' ', first + 1); second != std::string_view::npos) {
      failure.reason = std::string(line.substr(second + 1));
    }
  }
  failure.httpStatus = status;
  failure.kind = status >= 400 ? FailureKind::kHttpStatus : FailureKind::kProtocol;
  if (status < 400) failure.detail = "the transfer broke off after " + std::string(line);
  return failure;
}

int FailNet(const NetFailure& failure) {
  return FailWith(ExitStatusFor(failure), DescribeFailure(failure));
}

}  // namespace sondrel::cli
