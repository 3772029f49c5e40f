#include "net/http_body.h"

#include <string>

#include "net/http_request.h"
#include "net/http_response.h"
#include "net/net_texts.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::size_t kLengthDigitsMax = 18;  // stays inside a 64-bit size

std::string_view TrimmedView(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// One comma-separated value: digits only, or -1.
std::int64_t LengthValue(std::string_view text) {
  text = TrimmedView(text);
  if (text.empty() || text.size() > kLengthDigitsMax) return -1;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

LengthField ContentLengthOf(std::string_view header, std::int64_t& length) {
  length = -1;
  std::string name;
  std::string value;
  std::size_t cursor = 0;
  bool seen = false;
  while (NextHeaderField(name, value, kHeaderValueMax + 1, header, cursor)) {
    if (!EqualsNoCase(name, net_texts::kContentLength)) continue;
    std::string_view rest = value;
    for (;;) {
      std::size_t comma = rest.find(',');
      std::int64_t v = LengthValue(rest.substr(0, comma));
      if (v < 0 || (seen && v != length)) return LengthField::kInvalid;
      length = v;
      seen = true;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return seen ? LengthField::kValid : LengthField::kAbsent;
}

bool IsChunked(std::string_view header) {
  std::string name;
  std::string value;
  std::size_t cursor = 0;
  std::string codings;  // of the last Transfer-Encoding field: its last coding is what counts
  while (NextHeaderField(name, value, kHeaderValueMax + 1, header, cursor)) {
    if (EqualsNoCase(name, net_texts::kTransferEncoding)) codings = value;
  }
  std::string_view all = codings;
  std::size_t comma = all.rfind(',');
  std::string_view last =
      TrimmedView(comma == std::string_view::npos ? all : all.substr(comma + 1));
  return EqualsNoCase(last, net_texts::kChunked);
}

BodyFraming FramingOf(std::string_view header, int method, std::int64_t& length) {
  length = -1;
  int status = StatusCode(header);
  if (method == kHttpHead || status < 200 || status == 204 || status == 304) {
    return BodyFraming::kNone;
  }
  std::string coding;
  if (FindHeader(coding, kHeaderValueMax + 2, net_texts::kTransferEncoding, header)) {
    // A transfer coding overrides any Content-Length beside it.
    return IsChunked(header) ? BodyFraming::kChunked : BodyFraming::kUntilClose;
  }
  return ContentLengthOf(header, length) == LengthField::kValid ? BodyFraming::kLength
                                                                : BodyFraming::kUntilClose;
}

void HttpBody::Begin(BodyFraming framing, std::int64_t length) {
  framing_ = framing;
  remaining_ = framing == BodyFraming::kLength ? length : 0;
  received_ = 0;
  finished_ = framing == BodyFraming::kNone || (framing == BodyFraming::kLength && length <= 0);
  chunked_ = ChunkedDecoder{};
  failure_ = NetFailure{};
}

IoResult HttpBody::Fail(FailureKind kind, std::string_view detail) {
  failure_.kind = kind;
  failure_.detail = std::string(detail);
  return {IoStatus::kFailed, 0};
}

IoResult HttpBody::Read(Connection& connection, char* buffer, std::size_t size) {
  if (failure_) return {IoStatus::kFailed, 0};
  if (finished_) return {IoStatus::kClosed, 0};
  if (size == 0) return {IoStatus::kWantRead, 0};
  if (framing_ == BodyFraming::kChunked) return ReadChunked(connection, buffer, size);
  std::size_t want = size;
  if (framing_ == BodyFraming::kLength) {
    want = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining_, static_cast<std::int64_t>(size)));
  }
  IoResult r = connection.Read(buffer, want);
  switch (r.status) {
    case IoStatus::kOk:
      received_ += static_cast<std::int64_t>(r.bytes);
      if (framing_ == BodyFraming::kLength) {
        remaining_ -= static_cast<std::int64_t>(r.bytes);
        finished_ = remaining_ == 0;
      }
      return r;
    case IoStatus::kClosed:
      if (framing_ == BodyFraming::kUntilClose) {
        finished_ = true;
        return r;
      }
      return Fail(FailureKind::kProtocol, net_texts::kBodyCutShort);
    case IoStatus::kFailed:
      return Fail(FailureKind::kProtocol, net_texts::kBodyCutShort);
    default:
      return r;
  }
}

IoResult HttpBody::ReadChunked(Connection& connection, char* buffer, std::size_t size) {
  for (;;) {
    IoResult r = connection.Read(buffer, size);
    if (r.status == IoStatus::kClosed || r.status == IoStatus::kFailed) {
      return Fail(FailureKind::kProtocol, net_texts::kBodyCutShort);
    }
    if (r.status != IoStatus::kOk) return r;
    ChunkedStep step = chunked_.Decode(buffer, r.bytes);
    if (chunked_.Failed()) return Fail(FailureKind::kProtocol, net_texts::kBadChunk);
    if (chunked_.Done()) {
      // What follows the last chunk is the next reply's.
      connection.PutBack(std::string_view(buffer + step.consumed, r.bytes - step.consumed));
      finished_ = true;
    }
    received_ += static_cast<std::int64_t>(step.body);
    if (step.body > 0) return {IoStatus::kOk, step.body};
    if (finished_) return {IoStatus::kClosed, 0};
  }
}

}  // namespace sondrel
