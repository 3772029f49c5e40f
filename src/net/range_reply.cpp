#include "net/range_reply.h"

#include <limits>

#include "net/http_response.h"
#include "net/net_texts.h"

namespace sondrel {
namespace {

constexpr int kPartialContent = 206;
constexpr std::string_view kBytesUnit = "bytes";
constexpr std::int64_t kNumberCap = std::numeric_limits<std::int64_t>::max() / 10 - 10;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void SkipBlanks(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

// A run of decimal digits; false when there is none or it does not fit.
bool TakeNumber(std::string_view& text, std::int64_t& value) {
  if (text.empty() || !IsDigit(text.front())) return false;
  value = 0;
  while (!text.empty() && IsDigit(text.front())) {
    if (value > kNumberCap) return false;
    value = value * 10 + (text.front() - '0');
    text.remove_prefix(1);
  }
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// The Content-Length value when it is one plain number.
bool ContentLength(std::string_view header, std::int64_t& length) {
  std::string value;
  if (!FindHeader(value, kContentLengthMax + 2, net_texts::kContentLength, header)) return false;
  std::string_view text = value;
  SkipBlanks(text);
  if (!TakeNumber(text, length)) return false;
  SkipBlanks(text);
  return text.empty();
}

RangeCheck Refused(std::string reason) {
  RangeCheck check;
  check.reason = std::move(reason);
  return check;
}

RangeCheck PartialReply(std::string_view header, std::int64_t offset) {
  if (offset < 0) return Refused("206 reply to a request without a range");
  std::string value;
  if (!FindHeader(value, kHeaderValueMax + 2, net_texts::kContentRange, header)) {
    return Refused("206 reply without Content-Range");
  }
  ContentRange range;
  if (!ParseContentRange(value, range)) return Refused("unreadable Content-Range: " + value);
  if (range.first != offset) {
    return Refused("Content-Range starts at " + std::to_string(range.first) + ", not at " +
                   std::to_string(offset));
  }
  // The request asked for everything from offset on: a range that stops earlier leaves a hole.
  if (range.length >= 0 && range.last != range.length - 1) {
    return Refused("Content-Range does not reach the end of the file: " + value);
  }
  std::int64_t length = 0;
  if (ContentLength(header, length) && length != range.last - range.first + 1) {
    return Refused("Content-Length disagrees with Content-Range");
  }
  RangeCheck check;
  check.verdict = RangeVerdict::kAppend;
  check.total = range.length >= 0 ? range.length : range.last + 1;
  return check;
}

}  // namespace

bool ParseContentRange(std::string_view value, ContentRange& out) {
  std::string_view text = value;
  SkipBlanks(text);
  if (!text.starts_with(kBytesUnit)) return false;
  text.remove_prefix(kBytesUnit.size());
  if (text.empty() || (text.front() != ' ' && text.front() != '\t')) return false;
  SkipBlanks(text);
  ContentRange range;
  if (!TakeNumber(text, range.first) || !TakeChar(text, '-') || !TakeNumber(text, range.last) ||
      !TakeChar(text, '/')) {
    return false;
  }
  if (!TakeChar(text, '*') && !TakeNumber(text, range.length)) return false;
  SkipBlanks(text);
  if (!text.empty() || range.first > range.last) return false;
  if (range.length >= 0 && range.last >= range.length) return false;
  out = range;
  return true;
}

RangeCheck CheckRangeReply(std::string_view header, std::int64_t offset) {
  const int status = StatusCode(header);
  if (status < 200 || status > 299) return Refused("not a successful reply");
  if (status == kPartialContent) return PartialReply(header, offset);
  std::string value;
  // A whole-file reply that also claims to be a range says two things at once.
  if (FindHeader(value, kHeaderValueMax + 2, net_texts::kContentRange, header)) {
    return Refused(std::to_string(status) + " reply with a Content-Range");
  }
  RangeCheck check;
  check.verdict = RangeVerdict::kFromStart;
  std::int64_t length = 0;
  if (ContentLength(header, length)) check.total = length;
  return check;
}

}  // namespace sondrel
