#include "net/http_body.h"

#include <gtest/gtest.h>

#include "net/http_request.h"

namespace sondrel {
namespace {

TEST(HttpBodyFraming, ContentLengthMustBeOneNumber) {
  struct Case {
    const char* fields;
    LengthField expected;
    std::int64_t length;
  } cases[] = {
      {"Content-Length: 10\r\n", LengthField::kValid, 10},
      {"content-length:   0  \r\n", LengthField::kValid, 0},
      {"Content-Length: 10, 10\r\nContent-Length: 10\r\n", LengthField::kValid, 10},
      {"", LengthField::kAbsent, -1},
      {"Content-Length: 10\r\nContent-Length: 11\r\n", LengthField::kInvalid, -1},
      {"Content-Length: 10, 100\r\n", LengthField::kInvalid, -1},
      {"Content-Length: -5\r\n", LengthField::kInvalid, -1},
      {"Content-Length: +5\r\n", LengthField::kInvalid, -1},
      {"Content-Length: 12abc\r\n", LengthField::kInvalid, -1},
      {"Content-Length: \r\n", LengthField::kInvalid, -1},
      {"Content-Length: 99999999999999999999999\r\n", LengthField::kInvalid, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    std::string header = std::string("HTTP/1.1 200 OK\r\n") + c.fields + "\r\n";
    std::int64_t length = 42;
    EXPECT_EQ(ContentLengthOf(header, length), c.expected);
    if (c.expected == LengthField::kValid) EXPECT_EQ(length, c.length);
  }
}

TEST(HttpBodyFraming, WhereTheBodyEnds) {
  struct Case {
    const char* header;
    int method;
    BodyFraming framing;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", kHttpGet, BodyFraming::kLength},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", kHttpHead, BodyFraming::kNone},
      {"HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n", kHttpGet, BodyFraming::kNone},
      {"HTTP/1.1 204 No Content\r\n\r\n", kHttpGet, BodyFraming::kNone},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\nContent-Length: 5\r\n\r\n", kHttpGet,
       BodyFraming::kChunked},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", kHttpGet,
       BodyFraming::kUntilClose},
      {"HTTP/1.0 200 OK\r\n\r\n", kHttpGet, BodyFraming::kUntilClose},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::int64_t length = 0;
    EXPECT_EQ(FramingOf(c.header, c.method, length), c.framing);
  }
}

}  // namespace
}  // namespace sondrel
