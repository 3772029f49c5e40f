#pragma once
// Judging the reply to a file request before a byte of its body is written: whether the body
// continues the part already on disk, replaces it, or must not be written at all. A body
// appended at the wrong place, or a partial body taken for a whole file, corrupts the file.

#include <cstdint>
#include <string>
#include <string_view>

namespace sondrel {

enum class RangeVerdict : std::uint8_t {
  kAppend,     // a 206 for exactly the bytes after the part: append
  kFromStart,  // the whole file: write it from the start
  kRefused,    // a reply whose body cannot be placed; reason says why
};

struct RangeCheck {
  RangeVerdict verdict = RangeVerdict::kRefused;
  std::int64_t total = -1;  // the length the whole file will have, -1 when the reply does not say
  std::string reason;       // for kRefused: "206 without Content-Range", ...
};

// "bytes FIRST-LAST/LENGTH" with LENGTH a number or '*' (-1).
struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t length = -1;
};
// False for anything but one well-formed range with first <= last < length.
[[nodiscard]] bool ParseContentRange(std::string_view value, ContentRange& out);

// The verdict on a 2xx reply header to a request that asked for the bytes from offset on
// (offset -1: the request sent no Range).
RangeCheck CheckRangeReply(std::string_view header, std::int64_t offset);

}  // namespace sondrel
