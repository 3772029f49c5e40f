#include "net/http_response.h"

#include <limits>
#include <vector>

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
    if (FindHeader(value, kContentLengthMax + 2, t::kContentLength, header)) {
      std::size_t pos = 0;
      std::int64_t length = 0;
      std::string_view v = value;
      while (pos < v.size() && (v[pos] == ' ' || v[pos] == '\t')) ++pos;
      // A negative or non-numeric length counts as unknown.
      if (pos < v.size() && IsDigit(v[pos]) && ReadDigits(v, pos, length)) progress.total = length;
    }
    if (request.resume) {
      if (FindHeader(value, kHeaderValueMax + 2, t::kContentRange, header)) {
        std::size_t pos = 0;
        std::int64_t a = 0, b = 0, c = 0;
        if (ReadDigits(value, pos, a) && ReadDigits(value, pos, b) && ReadDigits(value, pos, c) &&
            a <= b && c > b) {
          // Bytes from anywhere but the end of the partial file would corrupt it when appended.
          if (a != request.resumeOffset) return kEvaluateFailed;
          progress.transferred = a;
          progress.total = c;
        }
      } else {
        // The server sends the whole resource.
        request.resume = false;
        progress.transferred = 0;
      }
    }
    if (FindHeader(value, kContentTypeMax + 2, t::kContentType, header)) {
      request.contentType = value;
      request.notHtml = !EqualsNoCase(value, t::kHtmlType);
    }
    return kEvaluateDone;
  }

  if (status == 401) {
    bool haveBoth = request.user && request.password;
    if (!haveBoth || (request.user->empty() && request.password->empty())) return kEvaluateFailed;
    if (state.authTried) return kEvaluateFailed;
    state.authTried = true;
    BuildFetchRequest(request, state, true);
    return kEvaluateAgain;
  }

  if (status == 301 || status == 302) {
    if (!FindHeader(value, kLocationMax + 2, t::kLocation, header)) return kEvaluateFailed;
    // A loop between addresses would otherwise run until the job is cancelled.
    if (++state.redirects > kMaxRedirects) return kEvaluateFailed;
    CompleteWwwUrl(value);
    request.workUrl = StrCopyN(ResolveUrl(value, request.workUrl), kWorkUrlMax + 1);
    if (state.startMethod == kHttpPost) {
      request.method = kHttpGet;
      StrAppendN(request.workUrl, "?" + request.postBody, kWorkUrlMax + 1);
    }
    BuildFetchRequest(request, state, state.authTried);
    return kEvaluateAgain;
  }
  return kEvaluateFailed;
}

}  // namespace sondrel
