#include "net/chunked_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace sondrel {
namespace {

struct Decoded {
  std::string body;
  std::size_t consumed = 0;
  bool done = false;
  bool failed = false;
};

// Feeds the bytes in pieces of at most piece bytes, as reads from a socket would arrive.
Decoded Decode(const std::string& bytes, std::size_t piece) {
  ChunkedDecoder decoder;
  Decoded out;
  while (out.consumed < bytes.size() && !decoder.Done() && !decoder.Failed()) {
    std::string part = bytes.substr(out.consumed, piece);
    ChunkedStep step = decoder.Decode(part.data(), part.size());
    out.body.append(part.data(), step.body);
    out.consumed += step.consumed;
  }
  out.done = decoder.Done();
  out.failed = decoder.Failed();
  return out;
}

TEST(ChunkedDecoder, BodiesComeOutTheSameHoweverTheyAreCut) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string body;
  } cases[] = {
      {"two chunks", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "hello world"},
      {"upper and lower hex", "A\r\n0123456789\r\na\r\nabcdefghij\r\n0\r\n\r\n",
       "0123456789abcdefghij"},
      {"extensions", "5;name=value;x\r\nhello\r\n0;last\r\n\r\n", "hello"},
      {"space before an extension", "5 ;a=b\r\nhello\r\n0\r\n\r\n", "hello"},
      {"trailer fields", "3\r\nabc\r\n0\r\nExpires: never\r\nX-Sum: 1\r\n\r\n", "abc"},
      {"bare line feeds", "3\nabc\n0\n\n", "abc"},
      {"leading zeros", "0003\r\nabc\r\n0\r\n\r\n", "abc"},
      {"empty body", "0\r\n\r\n", ""},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {c.bytes.size(), std::size_t{1}, std::size_t{4}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      Decoded d = Decode(c.bytes, piece);
      EXPECT_TRUE(d.done);
      EXPECT_FALSE(d.failed);
      EXPECT_EQ(d.body, c.body);
      EXPECT_EQ(d.consumed, c.bytes.size());
    }
  }
}

TEST(ChunkedDecoder, WhatFollowsTheLastChunkIsLeftForTheNextReply) {
  const std::string next = "HTTP/1.1 200 OK\r\n";
  Decoded d = Decode("2\r\nok\r\n0\r\n\r\n" + next, 1000);
  EXPECT_TRUE(d.done);
  EXPECT_EQ(d.body, "ok");
  EXPECT_EQ(d.consumed, 12u);
}

TEST(ChunkedDecoder, MalformedSizesAndFramingFailAtOnce) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"negative size", "-1\r\nabc\r\n"},
      {"not hex", "zz\r\nabc\r\n"},
      {"no size", "\r\nabc\r\n"},
      {"chunk longer than its size", "3\r\nabcd\r\n0\r\n\r\n"},
      {"junk after the size", "3x\r\nabc\r\n"},
      {"more digits than a size holds", "1000000000000000\r\n"},
      {"CR without LF", "3\rabc"},
      {"endless extension", "1;" + std::string(kChunkExtensionMax + 10, 'e')},
      {"endless trailer", "0\r\nX: " + std::string(kChunkTrailerMax + 10, 't')},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {c.bytes.size(), std::size_t{1}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      Decoded d = Decode(c.bytes, piece);
      EXPECT_TRUE(d.failed);
      EXPECT_FALSE(d.done);
    }
  }
  // A body cut before its last chunk is neither done nor failed: the reader sees the close.
  Decoded cut = Decode("5\r\nhello\r\n", 3);
  EXPECT_FALSE(cut.done);
  EXPECT_FALSE(cut.failed);
  EXPECT_EQ(cut.body, "hello");
}

}  // namespace
}  // namespace sondrel
