#include "net/range_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

std::string Header(const std::string& statusLine, const std::string& lines) {
  return "HTTP/1.1 " + statusLine + "\r\n" + lines + "\r\n";
}

TEST(CheckRangeReplyTest, OnlyAMatchingRangeIsAppended) {
  struct Case {
    const char* what;
    std::string header;
    std::int64_t offset;  // -1: no Range was sent
    RangeVerdict verdict;
    std::int64_t total;
  };
  const Case cases[] = {
      {"206 continuing the part", Header("206 Partial", "Content-Range: bytes 100-199/200\r\n"
                                                        "Content-Length: 100\r\n"),
       100, RangeVerdict::kAppend, 200},
      {"206 with an unknown length", Header("206 Partial", "Content-Range: bytes 100-199/*\r\n"),
       100, RangeVerdict::kAppend, 200},
      {"200 replaces the part", Header("200 OK", "Content-Length: 200\r\n"), 100,
       RangeVerdict::kFromStart, 200},
      {"200 without a length", Header("200 OK", ""), -1, RangeVerdict::kFromStart, -1},
      {"plain 200", Header("200 OK", "Content-Length: 5\r\n"), -1, RangeVerdict::kFromStart, 5},
      // The replies that would put bytes at the wrong place or pass a part off as a file.
      {"206 without Content-Range", Header("206 Partial", "Content-Length: 100\r\n"), 100,
       RangeVerdict::kRefused, -1},
      {"206 unreadable Content-Range", Header("206 Partial", "Content-Range: bytes 1x0-199/200\r\n"),
       100, RangeVerdict::kRefused, -1},
      {"206 starting elsewhere", Header("206 Partial", "Content-Range: bytes 0-199/200\r\n"), 100,
       RangeVerdict::kRefused, -1},
      {"206 stopping short", Header("206 Partial", "Content-Range: bytes 100-149/200\r\n"), 100,
       RangeVerdict::kRefused, -1},
      {"206 length disagrees", Header("206 Partial", "Content-Range: bytes 100-199/200\r\n"
                                                     "Content-Length: 50\r\n"),
       100, RangeVerdict::kRefused, -1},
      {"206 to a request without Range", Header("206 Partial", "Content-Range: bytes 0-99/100\r\n"),
       -1, RangeVerdict::kRefused, -1},
      {"200 with a Content-Range", Header("200 OK", "Content-Range: bytes 100-199/200\r\n"), 100,
       RangeVerdict::kRefused, -1},
      {"200 with a Content-Range, no Range sent",
       Header("200 OK", "Content-Range: bytes 0-99/100\r\n"), -1, RangeVerdict::kRefused, -1},
      {"not a success", Header("404 Not Found", ""), 100, RangeVerdict::kRefused, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RangeCheck check = CheckRangeReply(c.header, c.offset);
    EXPECT_EQ(check.verdict, c.verdict);
    if (c.verdict == RangeVerdict::kRefused) {
      EXPECT_FALSE(check.reason.empty());
    } else {
      EXPECT_EQ(check.total, c.total);
    }
  }
}

TEST(ParseContentRangeTest, OneWellFormedRange) {
  struct Case {
    const char* value;
    bool ok;
    std::int64_t first, last, length;
  };
  const Case cases[] = {
      {"bytes 0-0/1", true, 0, 0, 1},
      {"  bytes\t5-9/*  ", true, 5, 9, -1},
      {"bytes 100-199/200", true, 100, 199, 200},
      {"bytes 100-199/199", false, 0, 0, 0},  // ends past the length
      {"bytes 9-5/10", false, 0, 0, 0},
      {"bytes */200", false, 0, 0, 0},  // the form of a 416
      {"bytes 1-2/3, 5-6/7", false, 0, 0, 0},
      {"bytes=1-2/3", false, 0, 0, 0},
      {"items 1-2/3", false, 0, 0, 0},
      {"bytes -1-2/3", false, 0, 0, 0},
      {"bytes 1-2/99999999999999999999999", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ContentRange range;
    ASSERT_EQ(ParseContentRange(c.value, range), c.ok);
    if (c.ok) {
      EXPECT_EQ(range.first, c.first);
      EXPECT_EQ(range.last, c.last);
      EXPECT_EQ(range.length, c.length);
    }
  }
}

}  // namespace
}  // namespace sondrel
