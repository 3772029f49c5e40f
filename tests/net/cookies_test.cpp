#include "net/cookies.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace sondrel {
namespace {

DateStamp Stamp(int day, int month, int year, int hour, int minute, int second) {
  DateStamp s;
  s.day = static_cast<std::uint8_t>(day);
  s.month = static_cast<std::uint8_t>(month);
  s.year = static_cast<std::int16_t>(year);
  s.hour = static_cast<std::uint8_t>(hour);
  s.minute = static_cast<std::uint8_t>(minute);
  s.second = static_cast<std::uint8_t>(second);
  return s;
}

bool SameStamp(const DateStamp& a, const DateStamp& b) {
  return a.day == b.day && a.month == b.month && a.year == b.year && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

std::string Header(const std::vector<std::string>& setCookies) {
  std::string h = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
  for (const std::string& c : setCookies) h += "Set-Cookie: " + c + "\r\n";
  return h + "\r\n";
}

constexpr std::string_view kRequest = "GET / HTTP/1.0\r\nHost: h.x\r\n\r\n";

// The Cookie line a request for url gets, or "" when none.
std::string CookieLineFor(CookieStore& store, std::string_view url) {
  std::string request(kRequest);
  if (store.AddCookieHeader(request, kCookieRequestLimit, url, CookieChannelFor(url)) == 0) {
    EXPECT_EQ(request, kRequest);
    return "";
  }
  const std::string head = "GET / HTTP/1.0\r\nHost: h.x\r\n";
  EXPECT_TRUE(request.starts_with(head)) << request;
  EXPECT_TRUE(request.ends_with("\r\n\r\n")) << request;
  return request.substr(head.size(), request.size() - head.size() - 4);
}

TEST(CookieDateTest, ParsesTheUsualFormsAndRejectsTheRest) {
  struct Case {
    const char* text;
    int result;
    DateStamp expected;
  };
  const DateStamp none;
  const std::vector<Case> cases = {
      {"Wed, 09-Jun-2021 10:18:14 GMT", 1, Stamp(9, 6, 2021, 10, 18, 14)},
      {"Wed, 09 Jun 2021 10:18:14 GMT", 1, Stamp(9, 6, 2021, 10, 18, 14)},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 1, Stamp(6, 11, 1994, 8, 49, 37)},
      {"Sun, 06-Nov-05 08:49:37 GMT", 1, Stamp(6, 11, 2005, 8, 49, 37)},
      {"x,,  31--Dec::1999 23 59 59 +0200 trailing", 1, Stamp(31, 12, 1999, 23, 59, 59)},
      {"Thu, 01 Jan 1970 00:00:00", 1, Stamp(1, 1, 1970, 0, 0, 0)},
      {"Wed, 09 Jun 2021", 0, none},  // no time
      {"Wed, 09 Jun 2021 10:18", 0, none},
      {"Wed, 09 jun 2021 10:18:14 GMT", 0, none},  // months are case-sensitive
      {"Wed, 09 June 2021 10:18:14 GMT", 0, none},
      {"09 Jun 2021 10:18:14 GMT", 0, none},  // the first word is taken as the weekday
      {"Wed, 00 Jun 2021 10:18:14", 0, none},
      {"Wed, 32 Jun 2021 10:18:14", 0, none},
      {"Wed, 09 Jun 2021 24:00:00", 0, none},
      {"Wed, 09 Jun 2021 10:60:00", 0, none},
      {"Wed, 09 Jun 2021 10:18:60", 0, none},
      {"Wed, 09 Jun 99999 10:18:14", 0, none},  // does not fit the stamp
      {"Wed, 99999999999999999999 Jun 2021 10:18:14", 0, none},
      {"Wed, xx Jun 2021 10:18:14", 0, none},
      {"Wed, 09 Jun 2021 ab:18:14", 0, none},
      {"", 0, none},
      {"Wed", 0, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DateStamp stamp = Stamp(1, 2, 3, 4, 5, 6);  // a failure must not leave this behind
    EXPECT_EQ(ParseCookieDate(stamp, c.text), c.result);
    EXPECT_TRUE(SameStamp(stamp, c.expected));
  }
}

TEST(SetCookieTest, ReadsNameValueAndAttributes) {
  struct Case {
    std::string value;
    std::string name, cookieValue, domain, path;
    bool hostOnly, secure;
    DateStamp expires;
  };
  const DateStamp none;
  const DateStamp june = Stamp(9, 6, 2021, 10, 18, 14);
  const std::vector<Case> cases = {
      {"a=b", "a", "b", "", "/d", true, false, none},
      {"  a=  b ; path=/x; domain=.H.x", "a", "b", "h.x", "/x", false, false, none},
      {"a=b; Path=/x; DOMAIN=h.x; expires=Wed, 09-Jun-2021 10:18:14 GMT; secure", "a", "b", "h.x",
       "/x", false, true, june},
      {"a=b; path =/x; domain= .h.x ;Secure", "a", "b", "h.x", "/x", false, true, none},
      {"a=b;;;   ;path=/x", "a", "b", "", "/x", true, false, none},
      {"a=b; expires=Wed, 09 Jun 2021", "a", "b", "", "/d", true, false, none},
      {"a=b; domain=", "a", "b", "", "/d", true, false, none},
      {"a=b; domain=.", "a", "b", "", "/d", true, false, none},  // no Domain at all
      {"a=b; path=", "a", "b", "", "/d", true, false, none},     // the page's path
      {"a=b; path=relative", "a", "b", "", "/d", true, false, none},
      {"a=x=y", "a", "x=y", "", "/d", true, false, none},
      {"flag", "", "", "", "/d", true, false, none},  // no '=': no cookie
      {"=v", "", "v", "", "/d", true, false, none},
      {"", "", "", "", "/d", true, false, none},
      {"a=b; max-age=soon; expires=Wed, 09-Jun-2021 10:18:14 GMT", "a", "b", "", "/d", true, false,
       june},
      {"a=b; max-age=-1", "a", "b", "", "/d", true, false, Stamp(1, 1, 1970, 0, 0, 0)},
      {"a=b; max-age=0; expires=Wed, 09-Jun-2031 10:18:14 GMT", "a", "b", "", "/d", true, false,
       Stamp(1, 1, 1970, 0, 0, 0)},
      {std::string(300, 'n') + "=v", std::string(254, 'n'), "v", "", "/d", true, false, none},
      {"a=b; path=/" + std::string(1200, 'p'), "a", "b", "", "/" + std::string(505, 'p'), true,
       false, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 80));
    Cookie cookie;
    cookie.name = "stale";
    cookie.value = "stale";
    cookie.path = "/d";
    ParseSetCookie(cookie, c.value);
    EXPECT_EQ(cookie.name, c.name);
    EXPECT_EQ(cookie.value, c.cookieValue);
    EXPECT_EQ(cookie.domain, c.domain);
    EXPECT_EQ(cookie.hostOnly, c.hostOnly);
    EXPECT_EQ(cookie.path, c.path);
    EXPECT_EQ(cookie.secure, c.secure);
    EXPECT_TRUE(SameStamp(cookie.expires, c.expires));
  }
}

TEST(SetCookieTest, MaxAgeCountsFromNowAndWinsOverExpires) {
  Cookie cookie;
  ParseSetCookie(cookie, "a=b; Max-Age=3600; expires=Wed, 09-Jun-2021 10:18:14 GMT");
  EXPECT_GT(cookie.expires.year, 2021);
}

TEST(SetCookieTest, AnOverlongPairIsCutAndItsRestIsNotAnAttribute) {
  Cookie cookie;
  cookie.path = "/";
  ParseSetCookie(cookie, "a=" + std::string(600, 'v') + "path=/x");
  EXPECT_EQ(cookie.name, "a");
  EXPECT_EQ(cookie.value, std::string(509, 'v'));
  EXPECT_EQ(cookie.path, "/");
}

TEST(CookieStoreTest, EverySetCookieFieldOfAResponseIsStored) {
  CookieStore store;
  store.StoreCookies(
      "HTTP/1.0 200 OK\r\nSet-Cookie: a=1; expires=Wed, 09-Jun-2099 10:18:14 GMT\r\n"
      "X-Other: c=3\r\nset-cookie: b=2\r\nSET-COOKIE:c=3; path=/\r\n\r\n",
      "http://h.x/d/page.html");
  const std::vector<Cookie> cookies = store.Snapshot();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].name, "a");
  EXPECT_TRUE(SameStamp(cookies[0].expires, Stamp(9, 6, 2099, 10, 18, 14)));
  EXPECT_EQ(cookies[1].name, "b");
  EXPECT_EQ(cookies[1].domain, "h.x");
  EXPECT_TRUE(cookies[1].hostOnly);
  EXPECT_EQ(cookies[1].path, "/d");
  EXPECT_TRUE(cookies[1].expires.IsEmpty());
  EXPECT_EQ(cookies[2].path, "/");
}

TEST(CookieStoreTest, FieldsWithoutANameAreIgnored) {
  CookieStore store;
  store.StoreCookies(Header({"a=1", "", "=2", "flag"}), "http://h.x/");
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Snapshot()[0].name, "a");
}

// Which hosts a cookie reaches, by the host that set it and its Domain.
TEST(CookieStoreTest, DomainsMatchAsWholeLabelsAndNeverAPublicSuffix) {
  struct Request {
    const char* url;
    bool sent;
  };
  struct Case {
    const char* setter;
    const char* setCookie;
    bool stored;
    std::vector<Request> requests;
  };
  const std::vector<Case> cases = {
      {"http://a.example.com/",
       "k=v",
       true,
       {{"http://a.example.com/", true},
        {"http://A.Example.COM./", true},
        {"http://a.example.com:8080/", true},  // ports do not separate cookies
        {"http://user:pw@a.example.com/", true},
        {"http://a.example.com.evil.net/", false},
        {"http://b.example.com/", false},
        {"http://example.com/", false},
        {"http://x.a.example.com/", false},  // host-only: not to subdomains either
        {"http://xa.example.com/", false}}},
      {"http://a.example.com/",
       "k=v; Domain=.example.com",
       true,
       {{"http://example.com/", true},
        {"http://b.example.com/", true},
        {"http://x.y.example.com/", true},
        {"http://a.example.com.evil.net/", false},
        {"http://badexample.com/", false},
        {"http://example.com.au/", false}}},
      {"http://a.example.com/",
       "k=v; Domain=.",
       true,
       {{"http://a.example.com/", true}, {"http://b.example.com/", false}}},
      {"http://a.example.com/", "k=v; Domain=.com", false, {{"http://b.com/", false}}},
      {"http://a.example.com/", "k=v; Domain=com", false, {{"http://b.com/", false}}},
      {"http://a.example.com/", "k=v; Domain=other.org", false, {{"http://other.org/", false}}},
      {"http://a.example.com/",
       "k=v; Domain=a.example.com.evil.net",
       false,
       {{"http://a.example.com.evil.net/", false}}},
      {"http://example.com/",
       "k=v; Domain=a.example.com",
       false,
       {{"http://a.example.com/", false}}},
      {"http://a.b.co.uk/", "k=v; Domain=co.uk", false, {{"http://x.co.uk/", false}}},
      {"http://a.b.co.uk/", "k=v; Domain=b.co.uk", true, {{"http://c.b.co.uk/", true}}},
      {"http://x.github.io/", "k=v; Domain=github.io", false, {{"http://y.github.io/", false}}},
      {"http://127.0.0.1/", "k=v; Domain=0.0.1", false, {{"http://0.0.1/", false}}},
      {"http://127.0.0.1/",
       "k=v; Domain=127.0.0.1",
       true,
       {{"http://127.0.0.1/", true}, {"http://1.127.0.0.1/", false}}},
      {"http://h.x/", "k=v; Domain=H.X", true, {{"http://w.h.x/", true}, {"http://h.y/", false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setter) + " " + c.setCookie);
    CookieStore store;
    store.StoreCookies(Header({c.setCookie}), c.setter);
    EXPECT_EQ(store.Count(), c.stored ? 1 : 0);
    for (const Request& r : c.requests) {
      SCOPED_TRACE(r.url);
      EXPECT_EQ(CookieLineFor(store, r.url), r.sent ? "Cookie: k=v" : "");
    }
  }
}

TEST(CookieStoreTest, PathsMatchAtSlashes) {
  CookieStore store;
  store.StoreCookies(Header({"page=1"}), "http://h.x/d/page.html");
  store.StoreCookies(Header({"root=4"}), "http://h.x");
  struct Case {
    const char* url;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"http://h.x/d/page.html", "Cookie: page=1; root=4"},
      {"http://h.x/d/other.html?q=1", "Cookie: page=1; root=4"},
      {"http://h.x/d", "Cookie: page=1; root=4"},
      {"http://h.x/dx/page.html", "Cookie: root=4"},
      {"http://h.x/D/page.html", "Cookie: root=4"},  // paths are case-sensitive
      {"http://h.x/", "Cookie: root=4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(CookieLineFor(store, c.url), c.line);
  }
}

TEST(CookieStoreTest, SecureCookiesTravelOnlyEncrypted) {
  CookieStore store;
  store.StoreCookies(Header({"s=1; Secure; path=/", "p=2; path=/"}), "https://h.x/");
  EXPECT_EQ(CookieLineFor(store, "http://h.x/"), "Cookie: p=2");
  EXPECT_EQ(CookieLineFor(store, "https://h.x/"), "Cookie: s=1; p=2");
  EXPECT_EQ(CookieLineFor(store, "HTTPS://h.x/"), "Cookie: s=1; p=2");
  // The caller may know better than the scheme, e.g. behind a tunnel.
  std::string request(kRequest);
  EXPECT_EQ(
      store.AddCookieHeader(request, kCookieRequestLimit, "https://h.x/", CookieChannel::kPlain),
      1);
}

TEST(CookieStoreTest, LongerPathsAreSentFirstThenTheOlder) {
  CookieStore store;
  store.StoreCookies(
      Header({"r=1; path=/", "ab=2; path=/a/b", "a=3; path=/a", "x=4; path=/a/", "y=5; path=/a/"}),
      "http://h.x/");
  EXPECT_EQ(CookieLineFor(store, "http://h.x/a/b/c"), "Cookie: ab=2; x=4; y=5; a=3; r=1");
}

TEST(CookieStoreTest, ACookieSetAgainReplacesTheOldOne) {
  CookieStore store;
  store.StoreCookies(Header({"s=old; path=/", "t=1; path=/"}), "http://h.x/");
  store.StoreCookies(Header({"s=new; path=/"}), "http://h.x/");
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(CookieLineFor(store, "http://h.x/"), "Cookie: s=new; t=1");
  // Another path or a Domain makes it another cookie.
  store.StoreCookies(Header({"s=deep; path=/d", "s=wide; path=/; domain=h.x"}), "http://h.x/");
  EXPECT_EQ(store.Count(), 4);
}

TEST(CookieStoreTest, ExpiredCookiesAreDroppedAndWithdrawTheirNamesakes) {
  const std::string past = "s=1; path=/; expires=Tue, 08-Jun-2021 10:00:00 GMT";
  const std::string future = "s=1; path=/; expires=Thu, 10-Jun-2099 10:00:00 GMT";
  struct Case {
    const char* name;
    std::vector<std::string> first;
    std::string second;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"past expiry is never stored", {}, past, "Cookie: keep=0"},
      {"past expiry withdraws", {future}, past, "Cookie: keep=0"},
      {"max-age 0 withdraws", {future}, "s=1; path=/; max-age=0", "Cookie: keep=0"},
      {"two-digit past year",
       {},
       "s=1; path=/; expires=Sunday, 06-Nov-94 08:49:37 GMT",
       "Cookie: keep=0"},
      {"future expiry stays", {}, future, "Cookie: keep=0; s=1"},
      {"max-age in the future stays", {}, "s=1; path=/; max-age=600", "Cookie: keep=0; s=1"},
      {"session cookie replaces", {future}, "s=2; path=/", "Cookie: keep=0; s=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CookieStore store;
    std::vector<std::string> first = {"keep=0; path=/"};
    first.insert(first.end(), c.first.begin(), c.first.end());
    store.StoreCookies(Header(first), "http://h.x/");
    store.StoreCookies(Header({c.second}), "http://h.x/");
    EXPECT_EQ(CookieLineFor(store, "http://h.x/"), c.line);
  }
}

TEST(CookieStoreTest, The301stCookiePushesOutTheOldest) {
  CookieStore store;
  for (int i = 0; i < kMaxCookies; ++i) {
    store.StoreCookies(Header({"c" + std::to_string(i) + "=v; path=/"}), "http://h.x/");
  }
  EXPECT_EQ(store.Count(), kMaxCookies);
  EXPECT_EQ(store.Snapshot().front().name, "c0");
  store.StoreCookies(Header({"c300=v; path=/"}), "http://h.x/");
  const std::vector<Cookie> cookies = store.Snapshot();
  ASSERT_EQ(static_cast<int>(cookies.size()), kMaxCookies);
  EXPECT_EQ(cookies.front().name, "c1");
  EXPECT_EQ(cookies.back().name, "c300");
}

TEST(CookieStoreTest, TheRequestNeverGrowsPastItsLimitAndKeepsItsBlankLine) {
  CookieStore store;
  store.StoreCookies(Header({"a=" + std::string(100, 'x') + "; path=/", "b=1; path=/"}),
                     "http://h.x/");
  struct Case {
    std::size_t limit;
    int sent;
  };
  // kRequest is 29 characters; "Cookie: " and the closing CR LF CR LF add 12 around the list.
  const std::vector<Case> cases = {
      {kCookieRequestLimit, 2},   {29 + 10 + 102 + 2 + 3, 2},  // exactly fits
      {29 + 10 + 102 + 2 + 2, 1},                              // only the small one fits
      {29 + 10 + 3, 1},           {29 + 10 + 2, 0},           {10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    std::string request(kRequest);
    EXPECT_EQ(store.AddCookieHeader(request, c.limit, "http://h.x/", CookieChannel::kPlain),
              c.sent);
    if (c.sent == 0) {
      EXPECT_EQ(request, kRequest);
    } else {
      EXPECT_LE(request.size(), c.limit);
      EXPECT_TRUE(request.ends_with("\r\n\r\n"));
    }
  }
}

TEST(CookieStoreTest, TheJoinedListStaysWithinItsBound) {
  CookieStore store;
  // Fifty cookies of 100 characters each are more than one Cookie line may carry.
  for (int i = 0; i < 50; ++i) {
    store.StoreCookies(
        Header({"k" + std::to_string(i + 10) + "=" + std::string(96, 'v') + "; path=/"}),
        "http://h.x/");
  }
  const std::string line = CookieLineFor(store, "http://h.x/");
  ASSERT_TRUE(line.starts_with("Cookie: "));
  EXPECT_LE(line.size() - 8, kCookieLineMax);
  EXPECT_GT(line.size() - 8, kCookieLineMax - 110);
}

TEST(CookieStoreTest, ThreadsShareOneStore) {
  CookieStore store;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&store, t] {
      for (int i = 0; i < 100; ++i) {
        store.StoreCookies(Header({"t" + std::to_string(t) + "_" + std::to_string(i) + "=1"}),
                           "http://h.x/");
        std::string request(kRequest);
        (void)store.AddCookieHeader(request, kCookieRequestLimit, "http://h.x/",
                                    CookieChannel::kPlain);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(store.Count(), kMaxCookies);
}

TEST(CookieStoreTest, TheSharedStoreIsEmptiedByClearCookies) {
  GlobalCookies().StoreCookies(Header({"g=1"}), "http://h.x/");
  EXPECT_EQ(CookieLineFor(GlobalCookies(), "http://h.x/"), "Cookie: g=1");
  ClearCookies();
  EXPECT_EQ(GlobalCookies().Count(), 0);
}

}  // namespace
}  // namespace sondrel
