#include "engines/request_failure.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

TEST(RequestFailureTest, ErrorStatusesAndRetryAfter) {
  const std::int64_t now = 1000;
  struct Case {
    std::string header;
    FailureKind kind;
    std::int64_t retryAfter;
    std::string reason;
  };
  const Case cases[] = {
      {"HTTP/1.1 404 Not Found\r\n\r\n", FailureKind::kHttpStatus, 0, "Not Found"},
      {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 30\r\n\r\n", FailureKind::kRateLimited,
       1030, "Too Many Requests"},
      {"HTTP/1.1 429 Too Many Requests\r\n\r\n", FailureKind::kRateLimited, 0, "Too Many Requests"},
      {"HTTP/1.1 503 Service Unavailable\r\nretry-after: 5\r\n\r\n", FailureKind::kRateLimited,
       1005, "Service Unavailable"},
      {"HTTP/1.1 503 Service Unavailable\r\n\r\n", FailureKind::kHttpStatus, 0,
       "Service Unavailable"},
      {"HTTP/1.1 503 Service Unavailable\r\nRetry-After: later\r\n\r\n", FailureKind::kHttpStatus,
       0, "Service Unavailable"},
      {"HTTP/1.1 500 Internal Error\r\nRetry-After: 5\r\n\r\n", FailureKind::kHttpStatus, 0,
       "Internal Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header.substr(0, c.header.find('\r')));
    std::int64_t retryAfter = -1;
    const int status = std::stoi(c.header.substr(9, 3));
    const NetFailure failure =
        StatusFailure(c.header, status, "https://user@api.h:8443/x", now, retryAfter);
    EXPECT_EQ(failure.kind, c.kind);
    EXPECT_EQ(failure.httpStatus, status);
    EXPECT_EQ(failure.reason, c.reason);
    EXPECT_EQ(failure.host, "api.h");
    EXPECT_EQ(retryAfter, c.retryAfter);
  }
}

TEST(RequestFailureTest, WithoutARecordedFailureHowFarTheConnectionGot) {
  NetProgress progress;
  progress.timeoutOn = true;
  progress.timeoutSeconds = 5;
  progress.state = kNetStateConnecting;
  EXPECT_EQ(ConnectionFailure(progress, "http://h/", FailureKind::kNoResponse).kind,
            FailureKind::kRefused);
  progress.state = kNetStateResolving;
  EXPECT_EQ(ConnectionFailure(progress, "http://h/", FailureKind::kNoResponse).kind,
            FailureKind::kNameNotFound);
  progress.state = kNetStateWaiting;
  EXPECT_EQ(ConnectionFailure(progress, "http://h/", FailureKind::kNoResponse).kind,
            FailureKind::kNoResponse);
  const std::uint64_t sixSecondsAgo = NowSeconds() - 6;
  EXPECT_EQ(ConnectionFailure(progress, "http://h/", FailureKind::kNoResponse, sixSecondsAgo).kind,
            FailureKind::kTimedOut);
  // What the connection recorded wins.
  progress.failure.kind = FailureKind::kTls;
  progress.failure.detail = "unknown issuer";
  EXPECT_EQ(ConnectionFailure(progress, "http://h/", FailureKind::kNoResponse).detail,
            "unknown issuer");
}

}  // namespace
}  // namespace sondrel
