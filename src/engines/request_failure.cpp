#include "engines/request_failure.h"

#include <algorithm>
#include <optional>

#include "engines/engine_pauses.h"
#include "net/http_response.h"
#include "net/url.h"

namespace sondrel {

std::string HostOf(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  std::string_view host = parts.netloc;
  if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
    host.remove_prefix(at + 1);
  }
  if (!host.starts_with('[')) host = host.substr(0, host.find(':'));
  return std::string(host);
}

NetFailure StatusFailure(std::string_view header, int status, std::string_view url,
                         std::int64_t now, std::int64_t& retryAfter) {
  NetFailure failure;
  failure.host = HostOf(url);
  failure.httpStatus = status;
  failure.reason = ReasonPhrase(header);
  failure.kind = status == 429 ? FailureKind::kRateLimited : FailureKind::kHttpStatus;
  retryAfter = 0;
  std::string value;
  if ((status == 429 || status == 503) &&
      FindHeader(value, kHeaderValueMax + 2, "Retry-After", header)) {
    if (const std::optional<std::int64_t> seconds = RetryAfterSeconds(value, now)) {
      retryAfter = now + *seconds;
      failure.kind = FailureKind::kRateLimited;
    }
  }
  return failure;
}

NetFailure ConnectionFailure(const NetProgress& progress, std::string_view url,
                             FailureKind fallback, std::uint64_t startedSeconds) {
  if (progress.failure) return progress.failure;
  NetFailure failure;
  failure.kind = fallback;
  failure.host = HostOf(url);
  const bool timedOut = startedSeconds > 0 && progress.timeoutOn &&
                        NowSeconds() - startedSeconds >=
                            static_cast<std::uint64_t>(std::max(progress.timeoutSeconds, 0));
  if (timedOut) {
    failure.kind = FailureKind::kTimedOut;
  } else if (progress.state == kNetStateResolving) {
    failure.kind = FailureKind::kNameNotFound;
  } else if (progress.state == kNetStateConnecting) {
    failure.kind = FailureKind::kRefused;
  }
  return failure;
}

}  // namespace sondrel
