#include "net/cookies.h"

#include <arpa/inet.h>
#include <libpsl.h>

#include <algorithm>
#include <ctime>
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
constexpr int kMaxYear = 32767;                    // the stamp's year is 16-bit
constexpr long kMaxAgeLimit = 400L * 366 * 86400;  // far enough; keeps the sum in range

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

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

DateStamp UtcStamp(std::time_t time) {
  std::tm utc{};
  ::gmtime_r(&time, &utc);
  DateStamp stamp;
  stamp.day = static_cast<std::uint8_t>(utc.tm_mday);
  stamp.month = static_cast<std::uint8_t>(utc.tm_mon + 1);
  stamp.year = static_cast<std::int16_t>(std::min(utc.tm_year + 1900, kMaxYear));
  stamp.hour = static_cast<std::uint8_t>(utc.tm_hour);
  stamp.minute = static_cast<std::uint8_t>(utc.tm_min);
  stamp.second = static_cast<std::uint8_t>(utc.tm_sec);
  return stamp;
}

// Max-Age: seconds from now; zero or less ends the cookie at once.
DateStamp ExpiryFromMaxAge(std::string_view text) {
  const bool negative = text.starts_with('-');
  std::string_view digits = negative ? text.substr(1) : text;
  long seconds = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return {};  // not a number: the attribute is ignored
    seconds = std::min(seconds * 10 + (c - '0'), kMaxAgeLimit);
  }
  if (digits.empty()) return {};
  if (negative || seconds == 0) return UtcStamp(0);
  return UtcStamp(std::time(nullptr) + seconds);
}

bool Expired(const Cookie& cookie, const DateStamp& now) {
  return !cookie.expires.IsEmpty() && CompareStamps(cookie.expires, now) <= 0;
}

// The directory of the page's path: "/d/page.html" -> "/d", "/page.html" and "" -> "/".
std::string DefaultPath(std::string_view path) {
  if (path.empty() || path.front() != '/') return "/";
  const std::size_t slash = path.rfind('/');
  if (slash == 0) return "/";
  return StrCopyN(path.substr(0, slash), kCookiePathMax + 1);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (!requestPath.starts_with(cookiePath)) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.ends_with('/') ||
         requestPath[cookiePath.size()] == '/';
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;  // IPv6
  const std::string text(host);
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// The same cookie in the sense that a new one replaces it.
bool SameCookie(const Cookie& a, const Cookie& b) {
  return a.name == b.name && a.domain == b.domain && a.hostOnly == b.hostOnly && a.path == b.path;
}

// Where the cookie may live, decided against the host that set it; false refuses it.
bool SettleDomain(Cookie& cookie, const std::string& host) {
  if (host.empty()) return false;
  if (cookie.hostOnly || cookie.domain.empty()) {
    cookie.hostOnly = true;
    cookie.domain = host;
    return true;
  }
  if (IsPublicSuffix(cookie.domain) || IsIpAddress(cookie.domain)) {
    // A public suffix may still set a cookie for itself, as a host-only one; so may an address,
    // which has no subdomains.
    if (cookie.domain != host) return false;
    cookie.hostOnly = true;
    return true;
  }
  return DomainMatches(host, cookie.domain);
}

const psl_ctx_t* PublicSuffixes() {
  // The packaged list when it is newer than the one built into the library.
  static const psl_ctx_t* const context = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest ? latest : psl_builtin();
  }();
  return context;
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
  if (year < 70) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
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
  bool maxAgeSeen = false;
  while (NextToken(pair, kCookiePairMax + 1, value, pos, kPairDelimiters) != 0) {
    std::string_view p = pair;
    const std::size_t eq = p.find('=');
    std::string_view key = Trim(p.substr(0, std::min(eq, kCookieKeyMax)));
    std::string_view val =
        eq == std::string_view::npos ? std::string_view() : Trim(p.substr(eq + 1));
    if (first) {
      first = false;
      if (eq == std::string_view::npos) return;  // no cookie at all
      cookie.name = StrCopyN(key, kCookieNameMax + 1);
      cookie.value = StrCopyN(val, kCookieValueMax + 1);
    } else if (EqualsNoCase(key, t::kCookiePath)) {
      if (val.starts_with('/')) cookie.path = StrCopyN(val, kCookiePathMax + 1);
    } else if (EqualsNoCase(key, t::kCookieDomain)) {
      if (val.starts_with('.')) val.remove_prefix(1);
      // An empty Domain is no Domain: the cookie stays with its host.
      if (!val.empty()) {
        cookie.domain = Lower(val.substr(0, kCookieDomainMax));
        cookie.hostOnly = false;
      }
    } else if (EqualsNoCase(key, t::kCookieMaxAge)) {
      DateStamp expiry = ExpiryFromMaxAge(val);
      if (!expiry.IsEmpty()) {
        cookie.expires = expiry;
        maxAgeSeen = true;
      }
    } else if (EqualsNoCase(key, t::kCookieExpires)) {
      DateStamp expiry;
      if (!maxAgeSeen && ParseCookieDate(expiry, val) == 1) cookie.expires = expiry;
    } else if (EqualsNoCase(key, t::kCookieSecure)) {
      cookie.secure = true;
    }
  }
}

std::string CookieHost(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  std::string_view host = parts.netloc;
  const std::size_t at = host.rfind('@');
  if (at != std::string_view::npos) host.remove_prefix(at + 1);
  if (host.starts_with('[')) {
    const std::size_t close = host.find(']');
    host = close == std::string_view::npos ? host.substr(1) : host.substr(1, close - 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  while (host.ends_with('.')) host.remove_suffix(1);  // "h.x." is the same host
  return Lower(host);
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (domain.empty()) return false;
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.' && !IsIpAddress(host);
}

bool IsPublicSuffix(std::string_view domain) {
  const psl_ctx_t* suffixes = PublicSuffixes();
  // Without a list, at least a top-level name counts as one.
  if (!suffixes) return domain.find('.') == std::string_view::npos;
  const std::string text(domain);
  return psl_is_public_suffix2(suffixes, text.c_str(), PSL_TYPE_ANY) != 0;
}

CookieChannel CookieChannelFor(std::string_view url) {
  return url.size() >= 8 && EqualsNoCase(url.substr(0, 8), "https://") ? CookieChannel::kSecure
                                                                       : CookieChannel::kPlain;
}

CookieStore::CookieStore() : cookies_(10, 5) {}

void CookieStore::StoreCookies(std::string_view header, std::string_view url) {
  const std::string host = CookieHost(url);
  UrlParts parts;
  SplitUrl(url, parts);
  const std::string pagePath = DefaultPath(parts.path);
  std::size_t cursor = 0;
  std::string name, value;
  while (NextHeaderField(name, value, kSetCookieValueMax + 1, header, cursor)) {
    if (!EqualsNoCase(name, t::kSetCookie)) continue;
    auto work = std::make_unique<Cookie>();
    work->path = pagePath;
    ParseSetCookie(*work, value);
    if (work->name.empty()) continue;  // nothing a server could ask for again
    if (!SettleDomain(*work, host)) continue;

    const DateStamp now = UtcStamp(std::time(nullptr));
    std::lock_guard lock(mutex_);
    int found = -1;
    for (int i = cookies_.Count() - 1; i >= 0; --i) {
      const Cookie& stored = *cookies_.Get(i);
      if (Expired(stored, now)) {
        (void)cookies_.RemoveAt(i);
        if (found > i) --found;
      } else if (found < 0 && SameCookie(stored, *work)) {
        found = i;
      }
    }
    // An expiry in the past is how a server withdraws a cookie.
    if (Expired(*work, now)) {
      if (found >= 0) (void)cookies_.RemoveAt(found);
    } else if (found >= 0) {
      (void)cookies_.SetAt(found, std::move(work));  // keeps its place, and so its age
    } else {
      (void)cookies_.Append(std::move(work));
      if (cookies_.Count() > kMaxCookies) (void)cookies_.RemoveAt(0);
    }
  }
}

int CookieStore::AddCookieHeader(std::string& requestText, std::size_t limit, std::string_view url,
                                 CookieChannel channel) {
  const std::string host = CookieHost(url);
  UrlParts parts;
  SplitUrl(url, parts);
  const std::string_view path = parts.path.empty() ? std::string_view("/") : parts.path;

  std::vector<Cookie> selected;
  {
    const DateStamp now = UtcStamp(std::time(nullptr));
    std::lock_guard lock(mutex_);
    for (const auto& cookie : cookies_) {
      if (static_cast<int>(selected.size()) >= kMaxCookies) break;
      if (Expired(*cookie, now)) continue;
      if (cookie->hostOnly ? host != cookie->domain : !DomainMatches(host, cookie->domain)) {
        continue;
      }
      if (!PathMatches(path, cookie->path)) continue;
      if (cookie->secure && channel != CookieChannel::kSecure) continue;
      selected.push_back(*cookie);
    }
  }
  if (selected.empty()) return 0;
  // The most specific path first; among equals the older cookie first.
  std::stable_sort(selected.begin(), selected.end(),
                   [](const Cookie& a, const Cookie& b) { return a.path.size() > b.path.size(); });

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
  for (const Cookie& cookie : selected) {
    const std::size_t add = (sent > 0 ? 2 : 0) + cookie.name.size() + 1 + cookie.value.size();
    if (joined.size() + add > room) continue;
    if (sent > 0) joined += "; ";
    joined += cookie.name;
    joined += '=';
    joined += cookie.value;
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
