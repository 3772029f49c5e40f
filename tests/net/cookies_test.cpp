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
  if (store.AddCookieHeader(request, kCookieRequestLimit, url) == 0) {
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
      {"Sunday, 06-Nov-94 08:49:37 GMT", 1, Stamp(6, 11, 94, 8, 49, 37)},  // two digits stay
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

TEST(SetCookieTest, ReadsNameValueAndTheAttributesWeUse) {
  struct Case {
    std::string value;
    std::string name, cookieValue, domain, path;
    DateStamp expires;
  };
  const DateStamp none;
  const DateStamp june = Stamp(9, 6, 2021, 10, 18, 14);
  const std::vector<Case> cases = {
      {"a=b", "a", "b", "h.x", "/d/p.html", none},
      {"  a=  b ; path=/x; domain=.h.x", "a", "b ", ".h.x", "/x", none},
      {"a=b; Path=/x; DOMAIN=.h.x; expires=Wed, 09-Jun-2021 10:18:14 GMT; secure; max-age=5", "a",
       "b", ".h.x", "/x", june},
      {"a=b; path =/x; domain= .h.x", "a", "b", ".h.x", "/d/p.html", none},  // key not trimmed
      {"a=b;;;   ;path=/x", "a", "b", "h.x", "/x", none},
      {"a=b; expires=Wed, 09 Jun 2021", "a", "b", "h.x", "/d/p.html", none},
      {"a=b; domain=", "a", "b", "h.x", "/d/p.html", none},  // never to every host
      {"a=b; path=", "a", "b", "h.x", "", none},
      {"a=x=y", "a", "x=y", "h.x", "/d/p.html", none},
      {"flag", "flag", "", "h.x", "/d/p.html", none},
      {"=v", "", "v", "h.x", "/d/p.html", none},
      {"", "", "", "h.x", "/d/p.html", none},
      {std::string(300, 'n') + "=v", std::string(254, 'n'), "v", "h.x", "/d/p.html", none},
      {"a=b; path=" + std::string(1200, 'p'), "a", "b", "h.x", std::string(506, 'p'), none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 80));
    Cookie cookie;
    cookie.name = "stale";
    cookie.value = "stale";
    cookie.domain = "h.x";
    cookie.path = "/d/p.html";
    ParseSetCookie(cookie, c.value);
    EXPECT_EQ(cookie.name, c.name);
    EXPECT_EQ(cookie.value, c.cookieValue);
    EXPECT_EQ(cookie.domain, c.domain);
    EXPECT_EQ(cookie.path, c.path);
    EXPECT_TRUE(SameStamp(cookie.expires, c.expires));
  }
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
      "HTTP/1.0 200 OK\r\nSet-Cookie: a=1; expires=Wed, 09-Jun-2021 10:18:14 GMT\r\n"
      "X-Other: c=3\r\nset-cookie: b=2\r\nSET-COOKIE:c=3; path=/\r\n\r\n",
      "http://h.x/d/page.html");
  const std::vector<Cookie> cookies = store.Snapshot();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].name, "a");
  EXPECT_TRUE(SameStamp(cookies[0].expires, Stamp(9, 6, 2021, 10, 18, 14)));
  EXPECT_EQ(cookies[1].name, "b");
  EXPECT_EQ(cookies[1].domain, "h.x");
  EXPECT_EQ(cookies[1].path, "/d/page.html");
  EXPECT_TRUE(cookies[1].expires.IsEmpty());
  EXPECT_EQ(cookies[2].path, "/");
}

TEST(CookieStoreTest, FieldsWithoutANameAreIgnored) {
  CookieStore store;
  store.StoreCookies(Header({"a=1", "", "=2"}), "http://h.x/");
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Snapshot()[0].name, "a");
}

TEST(CookieStoreTest, CookiesGoToMatchingHostsAndPathsOnly) {
  CookieStore store;
  store.StoreCookies(Header({"page=1"}), "http://h.x/d/page.html");
  store.StoreCookies(Header({"dom=2; domain=.h.x; path=/"}), "http://www.h.x/");
  store.StoreCookies(Header({"port=3; path=/"}), "http://h.x:8080/");
  store.StoreCookies(Header({"root=4"}), "http://h.x");

  struct Case {
    const char* url;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"http://h.x/d/page.html", "Cookie: page=1; root=4"},
      {"http://h.x/d/page.html?q=1", "Cookie: page=1; root=4"},
      {"http://h.x/d/page.html2", "Cookie: page=1; root=4"},  // a bare prefix is enough
      {"http://h.x/d/", "Cookie: root=4"},
      {"http://h.x/D/page.html", "Cookie: root=4"},  // paths are case-sensitive
      // A domain only has to occur somewhere in the host name, the page's own host included.
      {"http://a.h.x/", "Cookie: dom=2; root=4"},
      {"http://a.h.x.evil/", "Cookie: dom=2; root=4"},
      {"http://www.h.y/", ""},
      {"http://h.x:8080/", "Cookie: port=3; root=4"},
      {"http://other.y/", ""},
      {"http://H.X/", ""},  // host names are compared exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(CookieLineFor(store, c.url), c.line);
  }
}

TEST(CookieStoreTest, LongerPathsAreSentFirst) {
  CookieStore store;
  store.StoreCookies(Header({"r=1; path=/", "ab=2; path=/a/b", "a=3; path=/a", "x=4; path=/a/"}),
                     "http://h.x/");
  EXPECT_EQ(CookieLineFor(store, "http://h.x/a/b/c"), "Cookie: ab=2; x=4; a=3; r=1");
}

TEST(CookieStoreTest, ANewValueIsASecondCookieAndBothAreSent) {
  CookieStore store;
  store.StoreCookies(Header({"s=old; path=/"}), "http://h.x/");
  store.StoreCookies(Header({"s=new; path=/"}), "http://h.x/");
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(CookieLineFor(store, "http://h.x/"), "Cookie: s=old; s=new");
}

TEST(CookieStoreTest, ExpiryDecidesWhetherARepeatedCookieIsReplacedOrWithdrawn) {
  const std::string later = "s=1; path=/; expires=Thu, 10-Jun-2021 10:00:00 GMT";
  const std::string earlier = "s=1; path=/; expires=Tue, 08-Jun-2021 10:00:00 GMT";
  const std::string noExpiry = "s=1; path=/";
  struct Case {
    const char* name;
    std::string first, second;
    int count;
    DateStamp expires;
  };
  const std::vector<Case> cases = {
      {"earlier expiry withdraws", later, earlier, 0, {}},
      {"later expiry replaces", earlier, later, 1, Stamp(10, 6, 2021, 10, 0, 0)},
      {"same expiry replaces", later, later, 1, Stamp(10, 6, 2021, 10, 0, 0)},
      {"no new expiry replaces", later, noExpiry, 1, {}},
      {"no old expiry replaces", noExpiry, earlier, 1, Stamp(8, 6, 2021, 10, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CookieStore store;
    store.StoreCookies(Header({"first=0; path=/", c.first, "last=9; path=/"}), "http://h.x/");
    store.StoreCookies(Header({c.second}), "http://h.x/");
    const std::vector<Cookie> cookies = store.Snapshot();
    ASSERT_EQ(static_cast<int>(cookies.size()), 2 + c.count);
    if (c.count == 1) {
      EXPECT_EQ(cookies[1].name, "s");  // replaced in place
      EXPECT_TRUE(SameStamp(cookies[1].expires, c.expires));
    }
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
    EXPECT_EQ(store.AddCookieHeader(request, c.limit, "http://h.x/"), c.sent);
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
        (void)store.AddCookieHeader(request, kCookieRequestLimit, "http://h.x/");
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
