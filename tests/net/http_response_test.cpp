#include "net/http_response.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace sondrel {
namespace {

std::size_t End(std::string_view text) {
  return HeaderEnd(text.data(), text.size());
}

TEST(HeaderEnd, FindsTheBlankLine) {
  struct Case {
    const char* text;
    std::size_t end;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody", 25},
      {"HTTP/1.0 200 OK\nA: b\n\nbody", 22},
      {"HTTP/1.0 200 OK\rA: b\r\rbody", 22},
      {"HTTP/1.0 200 OK\r\nA: b\r\n", 0},
      {"", 0},
      // The earliest ending counts, so a body never becomes part of the header.
      {"H\r\n\r\nx\n\n", 5},
      {"HTTP/1.0 200 OK\nA: b\n\nbin\n\r\nx", 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(End(c.text), c.end);
  }
}

TEST(StatusCode, ReadsTheNumberAfterTheFirstWord) {
  struct Case {
    const char* text;
    int code;
  } cases[] = {
      {"HTTP/1.1 404 Not Found\r\n", 404},
      {"HTTP/1.0 200\r\n", 200},
      {"HTTP/1.1 Found 302\r\n", 0},
      {"garbage", 0},
      {"", 0},
      {"X 2000 long\r\n", 200},
      {"ICY 200 OK\r\n", 200},
      {"HTTP/1.1 -12 x\r\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StatusCode(c.text), c.code);
  }
}

constexpr std::string_view kHeader =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/html  \r\n"
    "X-Folded: first\r\n"
    " \tsecond\r\n"
    "set-cookie: a=1\r\n"
    "Set-Cookie:b=2\r\n"
    "\r\n"
    "Body: not a field\r\n";

TEST(HeaderFields, FindHeaderIgnoresCaseAndTakesTheLastFoldedLine) {
  std::string value;
  ASSERT_TRUE(FindHeader(value, 100, "content-type", kHeader));
  EXPECT_EQ(value, "text/html  ");
  ASSERT_TRUE(FindHeader(value, 100, "X-Folded", kHeader));
  EXPECT_EQ(value, "second");
  ASSERT_TRUE(FindHeader(value, 100, "SET-COOKIE", kHeader));
  EXPECT_EQ(value, "a=1");
  EXPECT_FALSE(FindHeader(value, 100, "Body", kHeader));
  ASSERT_TRUE(FindHeader(value, 6, "Content-Type", kHeader));
  EXPECT_EQ(value, "text");
}

TEST(HeaderFields, NextHeaderFieldWalksInOrderAndJoinsFoldedLines) {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string name, value;
  std::size_t cursor = 0;
  while (NextHeaderField(name, value, 1024, kHeader, cursor)) fields.emplace_back(name, value);
  std::vector<std::pair<std::string, std::string>> expected = {
      {"Content-Type", "text/html  "},
      {"X-Folded", "firstsecond"},
      {"set-cookie", "a=1"},
      {"Set-Cookie", "b=2"},
  };
  EXPECT_EQ(fields, expected);
}

TEST(HeaderFields, BareLineFeedsAndOddInput) {
  std::string value;
  EXPECT_TRUE(FindHeader(value, 100, "Location", "HTTP/1.0 302 Found\nLocation: /x\n\n"));
  EXPECT_EQ(value, "/x");
  EXPECT_FALSE(FindHeader(value, 100, "Location", "HTTP/1.0 302 Found"));
  EXPECT_FALSE(FindHeader(value, 100, "A", "HTTP/1.0 200\r\nno colon here\r\nA: b\r\n"));
  // A long value is cut, a long name too.
  std::string longHeader =
      "HTTP/1.0 200\r\n" + std::string(300, 'N') + ": " + std::string(5000, 'v') + "\r\n\r\n";
  std::string name;
  std::size_t cursor = 0;
  ASSERT_TRUE(NextHeaderField(name, value, 10000, longHeader, cursor));
  EXPECT_EQ(name.size(), kHeaderNameMax);
  EXPECT_EQ(value.size(), kHeaderValueMax);
  EXPECT_FALSE(NextHeaderField(name, value, 10000, longHeader, cursor));
}

struct EvalCase {
  const char* name;
  const char* header;
  bool resume = false;
  int expected = kEvaluateDone;
  std::int64_t transferred = 0;
  std::int64_t total = -1;
  bool resumeAfter = false;
  bool notHtml = true;
};

TEST(EvaluateResponse, SuccessBookkeeping) {
  const EvalCase cases[] = {
      {"length and html",
       "HTTP/1.0 200 OK\r\nContent-Length: 1234\r\nContent-Type: TEXT/HTML\r\n\r\n", false,
       kEvaluateDone, 0, 1234, false, false},
      {"html with charset", "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=x\r\n\r\n",
       false, kEvaluateDone, 0, -1, false, false},
      {"negative length", "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", false,
       kEvaluateFailed},
      {"length not a number", "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n", false,
       kEvaluateFailed},
      {"lengths that differ", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 11\r\n\r\n",
       false, kEvaluateFailed},
      {"a length list that differs", "HTTP/1.1 200 OK\r\nContent-Length: 10, 100\r\n\r\n", false,
       kEvaluateFailed},
      {"a repeated length", "HTTP/1.1 200 OK\r\nContent-Length: 10, 10\r\nContent-Length: 10\r\n\r\n",
       false, kEvaluateDone, 0, 10},
      {"chunked overrides a length",
       "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nTransfer-Encoding: chunked\r\n\r\n", false,
       kEvaluateDone, 0, -1},
      {"304", "HTTP/1.0 304 Not Modified\r\nContent-Length: 7\r\n\r\n", false, kEvaluateDone, 0, 7},
      {"partial",
       "HTTP/1.1 206 Partial\r\nContent-Length: 100\r\nContent-Range: bytes 100-199/200\r\n\r\n",
       true, kEvaluateDone, 100, 200, true},
      {"range from elsewhere", "HTTP/1.1 206 Partial\r\nContent-Range: bytes 50-199/200\r\n\r\n",
       true, kEvaluateFailed},
      {"range unreadable",
       "HTTP/1.1 206 Partial\r\nContent-Length: 100\r\nContent-Range: bytes */200\r\n\r\n", true,
       kEvaluateDone, 100, 100, true},
      {"range ignored", "HTTP/1.1 200 OK\r\nContent-Length: 200\r\n\r\n", true, kEvaluateDone, 0,
       200, false},
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\n\r\n", false, kEvaluateFailed},
      {"no status", "garbage\r\n\r\n", false, kEvaluateFailed},
      {"302 without location", "HTTP/1.0 302 Found\r\n\r\n", false, kEvaluateFailed},
      {"401 without credentials", "HTTP/1.0 401 No\r\n\r\n", false, kEvaluateFailed},
  };
  for (const EvalCase& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequest request;
    request.url = "http://h/f";
    request.resume = c.resume;
    request.resumeOffset = 100;
    HttpFetchState state;
    PrepareHttpFetch(request, state);
    NetProgress progress;
    progress.transferred = c.resume ? 100 : 55;
    EXPECT_EQ(EvaluateResponse(state, request, c.header, progress), c.expected);
    if (c.expected != kEvaluateDone) continue;
    EXPECT_EQ(progress.transferred, c.transferred);
    EXPECT_EQ(progress.total, c.total);
    EXPECT_EQ(request.resume, c.resumeAfter);
    EXPECT_EQ(request.notHtml, c.notHtml);
  }
}

TEST(EvaluateResponse, OneRetryWithCredentialsAfter401) {
  HttpRequest request;
  request.url = "http://h/private";
  request.user = "ann";
  request.password = "";
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  EXPECT_EQ(state.requestText.find("Authorization"), std::string::npos);
  NetProgress progress;
  const char* refused = "HTTP/1.0 401 Unauthorized\r\n\r\n";
  EXPECT_EQ(EvaluateResponse(state, request, refused, progress), kEvaluateAgain);
  EXPECT_TRUE(state.authTried);
  // A user without a password is retried once, without an Authorization line.
  EXPECT_EQ(state.requestText.find("Authorization"), std::string::npos);
  EXPECT_EQ(EvaluateResponse(state, request, refused, progress), kEvaluateFailed);

  request.password = "pw";
  PrepareHttpFetch(request, state);
  EXPECT_EQ(EvaluateResponse(state, request, refused, progress), kEvaluateAgain);
  EXPECT_NE(state.requestText.find("Authorization: Basic YW5uOnB3\r\n"), std::string::npos);
  // A redirect after the 401 keeps sending the credentials.
  EXPECT_EQ(EvaluateResponse(state, request, "HTTP/1.0 302 x\r\nLocation: /b\r\n\r\n", progress),
            kEvaluateAgain);
  EXPECT_NE(state.requestText.find("Authorization: Basic YW5uOnB3\r\n"), std::string::npos);
}

TEST(EvaluateResponse, Redirects) {
  struct Case {
    const char* name;
    const char* start;
    int method;
    const char* location;
    const char* workUrl;
    const char* host;
    int port;
    const char* firstLine;
  } cases[] = {
      {"relative", "http://h/a/b", kHttpGet, "c", "http://h/a/c", "h", 80, "GET /a/c HTTP/1.1\r\n"},
      {"www without scheme", "http://h/a", kHttpGet, "www.other.x/f", "http://www.other.x/f",
       "www.other.x", 80, "GET /f HTTP/1.1\r\n"},
      {"other host and port", "http://h/", kHttpHead, "http://o:81/z", "http://o:81/z", "o", 81,
       "HEAD /z HTTP/1.1\r\n"},
      {"post becomes get", "http://h/form", kHttpPost, "/next", "http://h/next?q=1&r=2", "h", 80,
       "GET /next?q=1&r=2 HTTP/1.1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequest request;
    request.url = c.start;
    request.method = c.method;
    request.postBody = "q=1&r=2";
    request.referer = "http://ref/";
    HttpFetchState state;
    PrepareHttpFetch(request, state);
    NetProgress progress;
    std::string header = std::string("HTTP/1.1 301 Moved\r\nLocation: ") + c.location + "\r\n\r\n";
    ASSERT_EQ(EvaluateResponse(state, request, header, progress), kEvaluateAgain);
    EXPECT_EQ(request.workUrl, c.workUrl);
    EXPECT_EQ(state.target.host, c.host);
    EXPECT_EQ(state.target.port, c.port);
    EXPECT_TRUE(state.requestText.starts_with(c.firstLine)) << state.requestText;
    EXPECT_NE(state.requestText.find("Referer: http://ref/\r\n"), std::string::npos);
    EXPECT_EQ(state.requestText.find("Content-length"), std::string::npos);
  }
}

TEST(EvaluateResponse, ARedirectLoopEndsAfterTwentyRedirects) {
  HttpRequest request;
  request.url = "http://h/loop";
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  NetProgress progress;
  const char* loop = "HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n";
  for (int i = 0; i < kMaxRedirects; ++i) {
    ASSERT_EQ(EvaluateResponse(state, request, loop, progress), kEvaluateAgain) << i;
  }
  EXPECT_EQ(EvaluateResponse(state, request, loop, progress), kEvaluateFailed);
}

TEST(EvaluateResponse, RedirectThroughAProxyKeepsTheProxy) {
  HttpRequest request;
  request.url = "http://h/a";
  request.useProxy = true;
  request.proxyHost = "proxy";
  request.proxyPort = 8080;
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  NetProgress progress;
  ASSERT_EQ(
      EvaluateResponse(state, request, "HTTP/1.0 302 F\r\nLocation: http://o/b\r\n\r\n", progress),
      kEvaluateAgain);
  EXPECT_EQ(state.target.host, "proxy");
  EXPECT_EQ(state.target.port, 8080);
  EXPECT_TRUE(state.requestText.starts_with("GET http://o/b HTTP/1.1\r\n"));
}

}  // namespace
}  // namespace sondrel
