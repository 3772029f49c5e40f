#pragma once
// The process-wide cookie store of the HTTP client. Set-Cookie fields of responses fetched with
// cookies on are recorded here, and requests with cookies on get a Cookie line built from it.
// Nothing is written to disk. Every operation on a store takes the store's own mutex for its
// duration only, so callers never hold it across a network wait or together with another lock.

#include <cstddef>
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
  std::string domain;  // ".h.x" or "www.h.x:8080"; matched as a substring of the host
  std::string path;    // "/d/" or "/d/page.html"; matched as a prefix of the request path
  DateStamp expires;   // empty when the cookie has none
};

// Fills cookie from one Set-Cookie value. The caller presets domain, path and expiry with the
// defaults of the page; attributes present in the value override them.
void ParseSetCookie(Cookie& cookie, std::string_view value);

// Reads "Wed, 09-Jun-2021 10:18:14 GMT" and its relatives. 1 when the date was complete and in
// range; otherwise stamp is cleared and the result is 0.
[[nodiscard]] int ParseCookieDate(DateStamp& stamp, std::string_view text);

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
  int AddCookieHeader(std::string& requestText, std::size_t limit, std::string_view url);

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
inline int AddCookieHeader(std::string& requestText, std::size_t limit, CookieStore& store,
                           std::string_view url) {
  return store.AddCookieHeader(requestText, limit, url);
}

// The one store the HTTP client shares between all threads. It exists for the whole process;
// network start-up needs nothing from it and network shutdown empties it with ClearCookies().
CookieStore& GlobalCookies();
void ClearCookies();

}  // namespace sondrel
