#include "net/cookies.h"

#include <algorithm>
#include <memory>

#include "net/http_response.h"
#include "net/net_texts.h"
#include "net/url.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

namespace t = net_texts;

constexpr std::size_t kSetCookieValueMax = 1023;  // one Set-Cookie field value as read
constexpr std::string_view kPairDelimiters = ";";
constexpr std::string_view kDateDelimiters = ",-: ";
constexpr int kMaxYear = 32767;  // the stamp's year is 16-bit

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The leading decimal digits of token; false when it does not start with one. Saturates at
// limit + 1 so that a long run of digits is simply out of range.
bool LeadingDecimal(std::string_view token, int limit, int& value) {
  if (token.empty() || !IsDigit(token[0])) return false;
  value = 0;
  for (char c : token) {
    if (!IsDigit(c)) break;
    value = std::min(value * 10 + (c - '0'), limit + 1);
  }
  return true;
}

// The next date word as a number in low..high.
bool NextDateNumber(std::string_view text, std::size_t& pos, int low, int high, int& value) {
  std::string token;
  if (NextToken(token, kCookieDateTokenMax + 1, text, pos, kDateDelimiters) == 0) return false;
  return LeadingDecimal(token, high, value) && value >= low && value <= high;
}

// "domain.x" and "path" of the page: where a cookie without those attributes belongs.
void PageDefaults(std::string_view url, std::string& domain, std::string& path) {
  UrlParts parts;
  SplitUrl(url, parts);
  domain = StrCopyN(parts.netloc, kCookieDomainMax + 1);
  path = parts.path.empty() ? std::string("/") : StrCopyN(parts.path, kCookiePathMax + 1);
}

bool SameCookie(const Cookie& a, const Cookie& b) {
  return a.name == b.name && a.value == b.value && a.domain == b.domain && a.path == b.path;
}

}  // namespace

int ParseCookieDate(DateStamp& stamp, std::string_view text) {
  stamp.Clear();
  std::size_t pos = 0;
  std::string token;
  // The weekday must be there, but what it says does not matter.
  if (NextToken(token, kCookieDateTokenMax + 1, text, pos, kDateDelimiters) == 0) return 0;
  int day = 0;
  if (!NextDateNumber(text, pos, 1, 31, day)) return 0;
  if (NextToken(token, kCookieDateTokenMax + 1, text, pos, kDateDelimiters) == 0) return 0;
  int month = 0;
  for (int m = 0; m < 12; ++m) {
    if (token == t::kMonths[m]) month = m + 1;
  }
  if (month == 0) return 0;
  int year = 0, hour = 0, minute = 0, second = 0;
  if (!NextDateNumber(text, pos, 0, kMaxYear, year) || !NextDateNumber(text, pos, 0, 23, hour) ||
      !NextDateNumber(text, pos, 0, 59, minute) || !NextDateNumber(text, pos, 0, 59, second)) {
    return 0;
  }
  stamp.day = static_cast<std::uint8_t>(day);
  stamp.month = static_cast<std::uint8_t>(month);
  stamp.year = static_cast<std::int16_t>(year);
  stamp.hour = static_cast<std::uint8_t>(hour);
  stamp.minute = static_cast<std::uint8_t>(minute);
  stamp.second = static_cast<std::uint8_t>(second);
  return 1;
}

void ParseSetCookie(Cookie& cookie, std::string_view value) {
  // A field without a first pair must not keep the name of the field parsed before it.
  cookie.name.clear();
  cookie.value.clear();
  std::size_t pos = 0;
  std::string pair;
  bool first = true;
  while (NextToken(pair, kCookiePairMax + 1, value, pos, kPairDelimiters) != 0) {
    std::string_view p = pair;
    const std::size_t eq = p.find('=');
    // Keys are not trimmed: "path =/" is an unknown key.
    std::string_view key = p.substr(0, std::min(eq, kCookieKeyMax));
    std::string_view val;
    if (eq != std::string_view::npos) {
      val = p.substr(eq + 1);
      while (!val.empty() && IsSpace(val.front())) val.remove_prefix(1);
    }
    if (first) {
      first = false;
      cookie.name = StrCopyN(key, kCookieNameMax + 1);
      cookie.value = StrCopyN(val, kCookieValueMax + 1);
    } else if (EqualsNoCase(key, t::kCookiePath)) {
      cookie.path = StrCopyN(val, kCookiePathMax + 1);
    } else if (EqualsNoCase(key, t::kCookieDomain)) {
      // An empty domain would be found inside every host name and go to every server.
      if (!val.empty()) cookie.domain = StrCopyN(val, kCookieDomainMax + 1);
    } else if (EqualsNoCase(key, t::kCookieExpires)) {
      (void)ParseCookieDate(cookie.expires, val);  // an invalid date leaves no expiry
    }
  }
}

CookieStore::CookieStore() : cookies_(10, 5) {}

void CookieStore::StoreCookies(std::string_view header, std::string_view url) {
  std::string pageDomain, pagePath;
  PageDefaults(url, pageDomain, pagePath);
  std::size_t cursor = 0;
  std::string name, value;
  while (NextHeaderField(name, value, kSetCookieValueMax + 1, header, cursor)) {
    if (!EqualsNoCase(name, t::kSetCookie)) continue;
    auto work = std::make_unique<Cookie>();
    work->domain = pageDomain;
    work->path = pagePath;
    ParseSetCookie(*work, value);
    if (work->name.empty()) continue;  // nothing a server could ask for again

    std::lock_guard lock(mutex_);
    int found = -1;
    for (int i = 0; i < cookies_.Count(); ++i) {
      if (SameCookie(*cookies_.Get(i), *work)) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      (void)cookies_.Append(std::move(work));
      if (cookies_.Count() > kMaxCookies) (void)cookies_.RemoveAt(0);
      continue;
    }
    const Cookie& stored = *cookies_.Get(found);
    if (stored.expires.day != 0 && work->expires.day != 0 &&
        CompareStamps(work->expires, stored.expires) < 0) {
      // An earlier expiry for the same cookie is how a server withdraws it.
      (void)cookies_.RemoveAt(found);
    } else {
      (void)cookies_.SetAt(found, std::move(work));
    }
  }
}

int CookieStore::AddCookieHeader(std::string& requestText, std::size_t limit,
                                 std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  const std::string_view host = parts.netloc;
  const std::string_view path = parts.path.empty() ? std::string_view("/") : parts.path;

  PtrArray<Cookie> selected(10, 5);
  {
    std::lock_guard lock(mutex_);
    for (const auto& cookie : cookies_) {
      if (selected.Count() >= kMaxCookies) break;
      if (host.find(cookie->domain) == std::string_view::npos) continue;
      if (!path.starts_with(cookie->path)) continue;
      (void)selected.Append(std::make_unique<Cookie>(*cookie));
    }
  }
  if (selected.Count() == 0) return 0;
  // The most specific path first.
  ShellSortPtrArray(selected, [](const Cookie& a, const Cookie& b) {
    return static_cast<int>(b.path.size()) - static_cast<int>(a.path.size());
  });

  // The text ends in the blank line; the Cookie line goes in front of that line's CR LF.
  const bool finished = requestText.ends_with("\r\n");
  const std::size_t base = finished ? requestText.size() - 2 : requestText.size();
  const std::size_t overhead = t::kCookieLine.size() + 4;  // "Cookie: " ... "\r\n\r\n"
  if (base + overhead >= limit) return 0;
  // Whole cookies only: a cut value would be sent as if it were the real one, and a cut line
  // would lose the blank line that ends the request.
  const std::size_t room = std::min(kCookieLineMax, limit - base - overhead);
  std::string joined;
  int sent = 0;
  for (const auto& cookie : selected) {
    const std::size_t add = (sent > 0 ? 2 : 0) + cookie->name.size() + 1 + cookie->value.size();
    if (joined.size() + add > room) continue;
    if (sent > 0) joined += "; ";
    joined += cookie->name;
    joined += '=';
    joined += cookie->value;
    ++sent;
  }
  if (sent == 0) return 0;
  requestText.resize(base);
  requestText += t::kCookieLine;
  requestText += joined;
  requestText += "\r\n\r\n";
  return sent;
}

int CookieStore::Count() const {
  std::lock_guard lock(mutex_);
  return cookies_.Count();
}

std::vector<Cookie> CookieStore::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<Cookie> copy;
  copy.reserve(static_cast<std::size_t>(cookies_.Count()));
  for (const auto& cookie : cookies_) copy.push_back(*cookie);
  return copy;
}

void CookieStore::Clear() {
  std::lock_guard lock(mutex_);
  cookies_.Clear();
}

CookieStore& GlobalCookies() {
  static CookieStore store;
  return store;
}

void ClearCookies() {
  GlobalCookies().Clear();
}

}  // namespace sondrel
