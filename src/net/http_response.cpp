#include "net/http_response.h"

#include <limits>
#include <vector>

#include "net/content_type.h"
#include "net/http_body.h"
#include "net/net_texts.h"
#include "net/url.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::size_t kStatusWordMax = 20;
constexpr std::size_t kStatusDigitsMax = 3;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The end of the line that starts at from (first CR or LF); next is where the following line
// begins (after CR LF, LF or CR).
std::size_t LineEnd(std::string_view h, std::size_t from, std::size_t& next) {
  std::size_t end = h.find_first_of("\r\n", from);
  if (end == std::string_view::npos) {
    next = h.size();
    return h.size();
  }
  next = end + 1;
  if (h[end] == '\r' && next < h.size() && h[next] == '\n') ++next;
  return end;
}

// One field at cursor: its name and the lines of its value (more than one when folded).
bool ReadField(std::string_view h, std::size_t& cursor, std::string& name,
               std::vector<std::string_view>& lines) {
  lines.clear();
  if (cursor == 0) {
    std::size_t next = 0;
    std::size_t end = LineEnd(h, 0, next);
    if (end >= h.size()) return false;
    cursor = next;
  }
  if (cursor >= h.size()) return false;
  std::size_t next = 0;
  std::size_t end = LineEnd(h, cursor, next);
  std::size_t colon = h.find(':', cursor);
  if (colon == std::string_view::npos || colon >= end) return false;
  name.assign(h.substr(cursor, std::min(colon - cursor, kHeaderNameMax)));
  std::size_t start = colon + 1;
  while (start < end && (h[start] == ' ' || h[start] == '\t')) ++start;
  lines.push_back(h.substr(start, end - start));
  cursor = next;
  while (cursor < h.size() && next != end && (h[cursor] == ' ' || h[cursor] == '\t')) {
    while (cursor < h.size() && (h[cursor] == ' ' || h[cursor] == '\t')) ++cursor;
    end = LineEnd(h, cursor, next);
    lines.push_back(h.substr(cursor, end - cursor));
    cursor = next;
  }
  return true;
}

// A decimal digit run; false when there is none. Saturates instead of overflowing.
bool ReadDigits(std::string_view text, std::size_t& pos, std::int64_t& value) {
  while (pos < text.size() && !IsDigit(text[pos])) ++pos;
  if (pos >= text.size()) return false;
  value = 0;
  constexpr std::int64_t kCap = std::numeric_limits<std::int64_t>::max() / 10 - 10;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (value < kCap) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return true;
}

}  // namespace

std::size_t HeaderEnd(const char* bytes, std::size_t count) {
  // The earliest of the three endings: a header of bare line feeds must not run on to a
  // CR LF CR LF somewhere in its body. For a CR LF header this is always its own blank line.
  std::string_view text(bytes, count);
  std::size_t best = 0;
  for (std::string_view end : {"\n\r\n", "\n\n", "\r\r"}) {
    std::size_t at = text.find(end);
    if (at != std::string_view::npos && (best == 0 || at + end.size() < best)) {
      best = at + end.size();
    }
  }
  return best;
}

int StatusCode(std::string_view header) {
  std::size_t i = 0;
  while (i < header.size() && i < kStatusWordMax && header[i] != ' ') ++i;
  if (i >= header.size() || header[i] != ' ') return 0;
  ++i;
  int code = 0;
  for (std::size_t n = 0; n < kStatusDigitsMax && i < header.size() && IsDigit(header[i]);
       ++n, ++i) {
    code = code * 10 + (header[i] - '0');
  }
  return code;
}

bool FindHeader(std::string& out, std::size_t outSize, std::string_view name,
                std::string_view header) {
  out.clear();
  std::size_t cursor = 0;
  std::string fieldName;
  std::vector<std::string_view> lines;
  while (ReadField(header, cursor, fieldName, lines)) {
    if (EqualsNoCase(fieldName, name)) {
      std::size_t keep = std::min(kHeaderValueMax, outSize >= 2 ? outSize - 2 : 0);
      out.assign(lines.back().substr(0, keep));
      return true;
    }
  }
  return false;
}

bool NextHeaderField(std::string& name, std::string& value, std::size_t valueSize,
                     std::string_view header, std::size_t& cursor) {
  std::vector<std::string_view> lines;
  name.clear();
  value.clear();
  if (!ReadField(header, cursor, name, lines)) return false;
  std::size_t keep = std::min(kHeaderValueMax, valueSize >= 1 ? valueSize - 1 : 0);
  for (std::string_view line : lines) {
    if (value.size() >= keep) break;
    value.append(line.substr(0, keep - value.size()));
  }
  return true;
}

std::string StatusLine(std::string_view header) {
  std::size_t next = 0;
  std::size_t end = LineEnd(header, 0, next);
  return std::string(header.substr(0, std::min(end, kHeaderValueMax)));
}

std::string ReasonPhrase(std::string_view header) {
  std::string line = StatusLine(header);
  std::size_t space = line.find(' ');
  if (space == std::string::npos) return {};
  std::size_t second = line.find(' ', space + 1);
  if (second == std::string::npos) return {};
  std::string reason = line.substr(second + 1);
  // The phrase is shown to the user: nothing in it may steer a terminal.
  for (char& c : reason) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return reason;
}

namespace {

int Failed(NetProgress& progress, const HttpRequest& request, FailureKind kind,
           std::string_view header, std::string_view detail = {}) {
  if (!progress.failure) {
    progress.failure.kind = kind;
    UrlParts parts;
    SplitUrl(request.workUrl, parts);
    std::string user, password, hostport;
    SplitUserInfo(parts.netloc, user, password, hostport);
    int port = -1;
    SplitHostPort(hostport, progress.failure.host, port);
    progress.failure.detail = std::string(detail);
    if (kind == FailureKind::kHttpStatus) {
      progress.failure.httpStatus = StatusCode(header);
      progress.failure.reason = ReasonPhrase(header);
    }
  }
  return kEvaluateFailed;
}

// The length and range bookkeeping of a success; false for a length that cannot be trusted.
bool ReadLengths(HttpRequest& request, std::string_view header, NetProgress& progress) {
  namespace t = net_texts;
  std::string value;
  std::int64_t length = -1;
  bool chunked = FindHeader(value, kHeaderValueMax + 2, t::kTransferEncoding, header);
  if (!chunked) {
    if (ContentLengthOf(header, length) == LengthField::kInvalid) return false;
    progress.total = length;
  }
  if (!request.resume) return true;
  if (FindHeader(value, kHeaderValueMax + 2, t::kContentRange, header)) {
    std::size_t pos = 0;
    std::int64_t a = 0, b = 0, c = 0;
    if (ReadDigits(value, pos, a) && ReadDigits(value, pos, b) && ReadDigits(value, pos, c) &&
        a <= b && c > b) {
      // Bytes from anywhere but the end of the partial file would corrupt it when appended.
      if (a != request.resumeOffset) return false;
      progress.transferred = a;
      progress.total = c;
    }
  } else {
    // The server sends the whole resource.
    request.resume = false;
    progress.transferred = 0;
  }
  return true;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int FollowRedirect(HttpFetchState& state, HttpRequest& request, std::string_view header, int status,
                   NetProgress& progress) {
  namespace t = net_texts;
  std::string value;
  if (!FindHeader(value, kLocationMax + 2, t::kLocation, header)) {
    return Failed(progress, request, FailureKind::kHttpStatus, header);
  }
  // A loop between addresses would otherwise run until the job is cancelled.
  if (++state.redirects > kMaxRedirects) {
    return Failed(progress, request, FailureKind::kProtocol, header, t::kTooManyRedirects);
  }
  // A target with control bytes could add lines to the next request.
  if (HasControlByte(value)) {
    return Failed(progress, request, FailureKind::kBadAddress, header, t::kUnsafeRequest);
  }
  CompleteWwwUrl(value);
  const std::string from = request.workUrl;
  request.workUrl = StrCopyN(ResolveUrl(value, from), kWorkUrlMax + 1);
  if (!IsHttpUrl(request.workUrl)) {
    return Failed(progress, request, FailureKind::kBadAddress, header, t::kBadRedirect);
  }
  bool keepMethod = status == 307 || status == 308;
  if (!keepMethod && state.startMethod == kHttpPost) {
    request.method = kHttpGet;
    // 301 and 302 carry the form in the new address; 303 asks for the target as it is.
    if (status != 303) StrAppendN(request.workUrl, "?" + request.postBody, kWorkUrlMax + 1);
  }
  if (!BuildFetchRequest(request, state, state.authTried)) {
    progress.failure = state.failure;
    return kEvaluateFailed;
  }
  return kEvaluateAgain;
}

}  // namespace

int EvaluateResponse(HttpFetchState& state, HttpRequest& request, std::string_view header,
                     NetProgress& progress) {
  namespace t = net_texts;
  progress.total = -1;
  if (!request.resume) progress.transferred = 0;
  request.notHtml = true;
  request.contentType.clear();
  int status = StatusCode(header);
  std::string value;

  if ((status >= 200 && status <= 299) || status == 304) {
    if (!ReadLengths(request, header, progress)) {
      return Failed(progress, request, FailureKind::kProtocol, header, t::kBadLength);
    }
    if (FindHeader(value, kContentTypeMax + 2, t::kContentType, header)) {
      request.contentType = value;
      request.notHtml = !IsHtmlContentType(value);
    }
    return kEvaluateDone;
  }

  if (status == 401) {
    bool haveBoth = request.user && request.password;
    if (!haveBoth || (request.user->empty() && request.password->empty()) || state.authTried) {
      return Failed(progress, request, FailureKind::kHttpStatus, header);
    }
    state.authTried = true;
    if (!BuildFetchRequest(request, state, true)) {
      progress.failure = state.failure;
      return kEvaluateFailed;
    }
    return kEvaluateAgain;
  }

  if (IsRedirect(status)) return FollowRedirect(state, request, header, status, progress);
  if (status == 0) return Failed(progress, request, FailureKind::kProtocol, header);
  return Failed(progress, request, FailureKind::kHttpStatus, header);
}

}  // namespace sondrel
