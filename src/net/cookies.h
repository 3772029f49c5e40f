#pragma once
// The process-wide cookie store of the HTTP client. Set-Cookie fields of responses fetched with
// cookies on are recorded here, and requests with cookies on get a Cookie line built from it.
// Which host may set and receive a cookie follows RFC 6265: a cookie without Domain stays on
// its host, a Domain must cover the host that sets it and must not be a public suffix (the
// system's public-suffix list), Secure cookies go over TLS only, expired ones are dropped.
// Nothing is written to disk. Every operation on a store takes the store's own mutex for its
// duration only, so callers never hold it across a network wait or together with another lock.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/dates.h"
#include "support/ptr_array.h"

namespace sondrel {

// Bounds of the parse record; longer texts are cut here.
constexpr std::size_t kCookieNameMax = 254;
constexpr std::size_t kCookieValueMax = 4095;
constexpr std::size_t kCookieDomainMax = 499;
constexpr std::size_t kCookiePathMax = 999;
constexpr std::size_t kCookiePairMax = 511;  // one "key=value" piece of a Set-Cookie value
constexpr std::size_t kCookieKeyMax = 254;
constexpr std::size_t kCookieDateTokenMax = 18;    // one word of an expiry date
constexpr int kMaxCookies = 300;                   // the oldest cookie goes when a 301st arrives
constexpr std::size_t kCookieLineMax = 4095;       // the joined "a=1; b=2" text of one request
constexpr std::size_t kCookieRequestLimit = 7000;  // a request text never grows past this

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;    // lower case, no port, no leading dot: "h.x"
  bool hostOnly = true;  // sent to exactly domain; otherwise to domain and its subdomains
  std::string path;      // "/d"; matched as a path prefix that ends at a '/'
  DateStamp expires;     // UTC; empty when the cookie lasts for the session
  bool secure = false;   // sent over TLS only
};

// Fills cookie from one Set-Cookie value. The caller presets path and expiry with the defaults
// of the page; attributes present in the value override them. A Domain attribute sets domain
// (lower case, leading dot removed) and clears hostOnly; whether the page may set it is the
// store's decision. Max-Age counts from now and wins over Expires. A value without a "=" in its
// first pair leaves the name empty: there is no cookie.
void ParseSetCookie(Cookie& cookie, std::string_view value);

// Reads "Wed, 09-Jun-2021 10:18:14 GMT" and its relatives. 1 when the date was complete and in
// range; otherwise stamp is cleared and the result is 0. Two-digit years 70-99 are 19xx, 0-69
// are 20xx.
[[nodiscard]] int ParseCookieDate(DateStamp& stamp, std::string_view text);

// The host part of url as cookies see it: lower case, without user information and port.
std::string CookieHost(std::string_view url);
// RFC 6265 domain-match: host equals domain, or ends with "." + domain and is no IP address.
bool DomainMatches(std::string_view host, std::string_view domain);
// A suffix under which anyone may register names ("com", "co.uk", "github.io").
bool IsPublicSuffix(std::string_view domain);

// Whether a request travels encrypted; Secure cookies are only added to those.
enum class CookieChannel : std::uint8_t { kPlain, kSecure };
// kSecure for https URLs.
CookieChannel CookieChannelFor(std::string_view url);

class CookieStore {
 public:
  CookieStore();
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // Records every Set-Cookie field of a response header received for url.
  void StoreCookies(std::string_view header, std::string_view url);
  // Adds "Cookie: ..." for url as the last header line of a finished request text (one that
  // ends in the blank line). The text never grows past limit characters. Returns the number of
  // cookies sent; 0 leaves the text untouched.
  int AddCookieHeader(std::string& requestText, std::size_t limit, std::string_view url,
                      CookieChannel channel);

  int Count() const;
  std::vector<Cookie> Snapshot() const;  // copies in store order, for display and tests
  void Clear();

 private:
  mutable std::mutex mutex_;
  PtrArray<Cookie> cookies_;  // insertion order; index 0 is the oldest
};

// Free-function forms of the store operations.
inline void StoreCookies(CookieStore& store, std::string_view header, std::string_view url) {
  store.StoreCookies(header, url);
}
// The channel follows the URL's scheme.
inline int AddCookieHeader(std::string& requestText, std::size_t limit, CookieStore& store,
                           std::string_view url) {
  return store.AddCookieHeader(requestText, limit, url, CookieChannelFor(url));
}

// The one store the HTTP client shares between all threads. It exists for the whole process;
// network start-up needs nothing from it and network shutdown empties it with ClearCookies().
CookieStore& GlobalCookies();
void ClearCookies();

}  // namespace sondrel
