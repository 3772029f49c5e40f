// Set-Cookie values and expiry dates come from any server: parsing them must never crash, what
// is kept must stay within its bounds and be sent back as a well-formed request, and no cookie
// may reach a host that its setter had no say over.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/cookies.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  DateStamp stamp;
  if (ParseCookieDate(stamp, text) == 1) {
    if (stamp.day < 1 || stamp.day > 31 || stamp.month < 1 || stamp.month > 12 || stamp.year < 0 ||
        stamp.hour > 23 || stamp.minute > 59 || stamp.second > 59) {
      std::abort();
    }
  } else if (!stamp.IsEmpty()) {
    std::abort();
  }

  Cookie cookie;
  cookie.path = "/";
  ParseSetCookie(cookie, text);
  if (cookie.name.size() > kCookieNameMax || cookie.value.size() > kCookieValueMax ||
      cookie.domain.size() > kCookieDomainMax || cookie.path.size() > kCookiePathMax ||
      cookie.domain.empty() != cookie.hostOnly) {
    std::abort();
  }

  // Each line of the input is one Set-Cookie field of a response; the response arrives twice,
  // so replacing and withdrawing stored cookies is reached too.
  CookieStore store;
  std::string header = "HTTP/1.0 200 OK\r\n";
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    header += "Set-Cookie: ";
    header.append(text.substr(start, end - start));
    header += "\r\n";
    start = end + 1;
  }
  header += "\r\n";
  store.StoreCookies(header, "http://h.x/d/page.html");
  store.StoreCookies(header, "http://h.x/d/page.html");
  // The first line also names a host of its own that sets the same cookies.
  const std::string_view firstLine = text.substr(0, std::min<std::size_t>(text.find('\n'), 80));
  const std::string setter = "http://" + std::string(firstLine) + "/";
  const std::string setterHost = CookieHost(setter);
  store.StoreCookies(header, setter);
  if (store.Count() > kMaxCookies) std::abort();
  const auto reaches = [](const Cookie& kept, std::string_view host) {
    return kept.hostOnly ? kept.domain == host : DomainMatches(host, kept.domain);
  };
  bool anyForForeign = false;
  for (const Cookie& kept : store.Snapshot()) {
    // Every cookie covers a host that set it, and only a host-only one may sit on a suffix.
    if (!reaches(kept, "h.x") && !reaches(kept, setterHost)) std::abort();
    if (!kept.hostOnly && IsPublicSuffix(kept.domain)) std::abort();
    anyForForeign = anyForForeign || reaches(kept, "h.x.evil.test");
  }
  // A host that merely ends like a cookie's host gets nothing unless the cookie covers it.
  std::string foreign = "GET / HTTP/1.0\r\n\r\n";
  if (!anyForForeign && store.AddCookieHeader(foreign, kCookieRequestLimit, "http://h.x.evil.test/",
                                              CookieChannel::kSecure) != 0) {
    std::abort();
  }

  const std::string request = "GET /d/page.html HTTP/1.0\r\nHost: h.x\r\n\r\n";
  for (std::size_t limit : {kCookieRequestLimit, std::size_t{200}}) {
    std::string sent = request;
    const int count =
        store.AddCookieHeader(sent, limit, "http://h.x/d/page.html", CookieChannel::kPlain);
    if (count == 0 ? sent != request : (sent.size() > limit || !sent.ends_with("\r\n\r\n"))) {
      std::abort();
    }
  }
  return 0;
}
