#include "net/url.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

struct SplitCase {
  const char* url;
  int mask;
  const char* scheme;
  const char* netloc;
  const char* path;
  const char* params;
  const char* query;
  const char* fragment;
};

TEST(SplitUrlTest, ComponentsAndMask) {
  const SplitCase cases[] = {
      {"http://host", 3, "http", "host", "", "", "", ""},
      {"http://host/a;p?q#f", 63, "http", "host", "/a", "p", "q", "f"},
      // The netloc ends at the first '/', even one inside the query.
      {"http://host?x=a/b", 7, "http", "host?x=a", "/b", "", "", ""},
      {"http://host;p?q", 3 | 8 | 16, "http", "host", "", "p", "q", ""},
      {"http://host?q=1", 3 | 16, "http", "host", "", "", "q=1", ""},
      {"../a/b.html", 4, "", "", "../a/b.html", "", "", ""},
      {"mailto:x", 5, "mailto", "", "x", "", "", ""},
      {"c:\\x", 5, "c", "", "\\x", "", "", ""},
      {"a1:b", 4, "", "", "a1:b", "", "", ""},  // a digit: not a scheme
      {":x", 4, "", "", ":x", "", "", ""},
      {"//h/p", 6, "", "h", "/p", "", "", ""},
      {"http://h/a?b#c:d", 3 | 4 | 16 | 32, "http", "h", "/a", "", "b", "c:d"},
      {"http://h/a&amp;b", 7, "http", "h", "/a&b", "", "", ""},  // entities decoded first
      {"", 0, "", "", "", "", "", ""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.url);
    UrlParts parts;
    EXPECT_EQ(SplitUrl(c.url, parts), c.mask);
    EXPECT_EQ(parts.scheme, c.scheme);
    EXPECT_EQ(parts.netloc, c.netloc);
    EXPECT_EQ(parts.path, c.path);
    EXPECT_EQ(parts.params, c.params);
    EXPECT_EQ(parts.query, c.query);
    EXPECT_EQ(parts.fragment, c.fragment);
  }
}

TEST(SplitUrlTest, ComponentsAreCutAtTheirLimits) {
  UrlParts parts;
  std::string url = "http://" + std::string(600, 'h') + "/" + std::string(1200, 'p') + "#" +
                    std::string(150, 'f');
  SplitUrl(url, parts);
  EXPECT_EQ(parts.netloc.size(), kNetlocMax);
  EXPECT_EQ(parts.path.size(), kPathMax);
  EXPECT_EQ(parts.fragment.size(), kFragmentMax);
  // Only the first kUrlWorkMax characters are looked at: a '#' beyond them is not seen.
  EXPECT_EQ(SplitUrl("http://h/" + std::string(2500, 'p') + "#frag", parts), 7);
  EXPECT_EQ(parts.fragment, "");
}

TEST(ComposeUrlTest, JoinsWhatIsPresent) {
  struct Case {
    UrlParts parts;
    const char* expected;
  };
  const Case cases[] = {
      {{"http", "h", "/a", "p", "q", "f"}, "http://h/a;p?q#f"},
      {{"mailto", "", "x", "", "", ""}, "mailto://x"},
      {{"http", "h", "a", "", "", ""}, "http://h/a"},  // a '/' goes between netloc and path
      {{"", "", "a/b", "", "q", ""}, "a/b?q"},
      {{"", "", "", "", "q=1", ""}, "?q=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ComposeUrl(c.parts), c.expected);
  }
  UrlParts big{"http",
               std::string(499, 'n'),
               std::string(999, 'p'),
               std::string(499, 'a'),
               std::string(1499, 'q'),
               ""};
  EXPECT_EQ(ComposeUrl(big).size(), kComposedUrlMax);
}

TEST(ResolveUrlTest, RelativeLinks) {
  struct Case {
    const char* relative;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {"../c", "http://h/a/b/x.html", "http://h/a/c"},
      {"", "http://h/a/b", "http://h/a/b"},
      {"?q=2", "http://h/p?q=1", "http://h/p?q=2"},
      {"#top", "http://h/p;x?q=1", "http://h/p;x?q=1#top"},
      {"/../x", "http://h/", "http://h/x"},
      {"/abs/y.mp3", "http://h/a/b", "http://h/abs/y.mp3"},
      {"y.mp3", "http://h/a/b", "http://h/a/y.mp3"},
      {"./y.mp3", "http://h/a/", "http://h/a/y.mp3"},
      {"y.mp3", "http://h", "http://h/y.mp3"},
      {"//other/z", "http://h/a", "http://other/z"},
      {"ftp://f/z", "http://h/a", "ftp://f/z"},
      {"../../../x", "http://h/a/b", "http://h/x"},
      {"a/./b/../c/.", "http://h/d/", "http://h/d/a/c/"},
      {"b/..", "http://h/a/", "http://h/a/"},
      // Bare dot leftovers go even from absolute links and inside names.
      {"http://h/a/x../b", "http://z/", "http://h/a/xb"},
      {"s.cgi?u=a&amp;v=b", "http://h/d/p.html", "http://h/d/s.cgi?u=a&v=b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.relative) + " against " + c.base);
    EXPECT_EQ(ResolveUrl(c.relative, c.base), c.expected);
  }
}

TEST(ResolveUrlTest, ResultIsBounded) {
  std::string relative(5000, 'a');
  EXPECT_LE(ResolveUrl(relative, "http://h/" + std::string(3000, 'b')).size(), kResolvedUrlMax);
  EXPECT_LE(ResolveUrl("http://h/" + relative, "").size(), kResolvedUrlMax);
  EXPECT_EQ(ResolveUrl("", std::string(3000, 'c')).size(), kResolvedUrlMax);
}

TEST(MergePathTest, DotStages) {
  struct Case {
    const char* base;
    const char* relative;
    const char* expected;
  };
  const Case cases[] = {
      {"/a/b/x.html", "../c", "/a/c"}, {"/a/b/", "./c", "/a/b/c"},
      {"/a/b/", ".", "/a/b/"},         {"/a/b/", "..", "/a/"},
      {"/a/", "../../x", "/x"},        {"/a/", "b/../../c", "/c"},
      {"/a/", "../../../x", "/x"},     {"", "a/b", "a/b"},
      {"noslash", "c", "c"},           {"/a/", "x../b", "/a/xb"},  // leftovers are bare substrings
      {"/a/", "x./b", "/a/xb"},        {"/a/", "../b/...", "/b/..."},
      {"/a/", "b//../c", "/a/b//c"},  // an empty segment cancels nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.relative);
    EXPECT_EQ(MergePath(c.base, c.relative), c.expected);
  }
  EXPECT_LE(MergePath("/" + std::string(900, 'a') + "/", std::string(900, 'b')).size(),
            kMergedPathMax);
}

TEST(PostUrlTest, SplitAndResolve) {
  std::string base;
  std::string body;
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "post://h/s?a=1#frag"), 1);
  EXPECT_EQ(base, "http://h/s");
  EXPECT_EQ(body, "a=1");
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "POST://h/s"), 1);
  EXPECT_EQ(base, "http://h/s");
  EXPECT_EQ(body, "");
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "http://h/s?q=x"), 0);
  EXPECT_EQ(base, "http://h/s");
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "postbox.example/s?q"), 0);
  EXPECT_EQ(SplitPostUrl(base, 8, body, 2, "post://h/s?abc"), 1);
  EXPECT_EQ(base, "http://h");
  EXPECT_EQ(body, "ab");
  // The https form.
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "posts://h/s?a=1"), 1);
  EXPECT_EQ(base, "https://h/s");
  EXPECT_EQ(body, "a=1");
  EXPECT_EQ(SplitPostUrl(base, 1023, body, 1023, "POSTS://h:8443/s"), 1);
  EXPECT_EQ(base, "https://h:8443/s");
  EXPECT_EQ(ResolvePostUrl("posts:s.cgi?p=2", "https://h/d/x.html"), "posts://h/d/s.cgi?p=2");

  EXPECT_EQ(SetUrlScheme("http://h/a?q", "post"), "post://h/a?q");
  EXPECT_EQ(SetUrlScheme("http://h/a", ""), "h/a");
  EXPECT_EQ(ResolvePostUrl("post:s.cgi?p=2", "http://h/d/x.html"), "post://h/d/s.cgi?p=2");
  EXPECT_EQ(ResolvePostUrl("post://o/s?p=2", "http://h/d/x.html"), "post://o/s?p=2");
  EXPECT_EQ(ResolvePostUrl("s.cgi?p=2", "http://h/d/x.html"), "http://h/d/s.cgi?p=2");
}

TEST(HostPartsTest, HostPortAndUserInfo) {
  std::string host;
  int port = 0;
  SplitHostPort("example.org:8080", host, port);
  EXPECT_EQ(host, "example.org");
  EXPECT_EQ(port, 8080);
  SplitHostPort("example.org", host, port);
  EXPECT_EQ(port, -1);
  SplitHostPort("example.org:", host, port);
  EXPECT_EQ(port, -1);
  // Out of range or not a number: 0, never a port reached by wrapping around.
  for (const char* bad : {"h:12345678901", "h:65536", "h:0", "h:80x", "h:-1"}) {
    SplitHostPort(bad, host, port);
    EXPECT_EQ(port, 0) << bad;
  }
  SplitHostPort("h:65535", host, port);
  EXPECT_EQ(port, 65535);

  std::string user, password, hostport;
  SplitUserInfo("joe:secret@h:21", user, password, hostport);
  EXPECT_EQ(user, "joe");
  EXPECT_EQ(password, "secret");
  EXPECT_EQ(hostport, "h:21");
  SplitUserInfo("joe@h", user, password, hostport);
  EXPECT_EQ(user, "joe");
  EXPECT_EQ(password, "");
  EXPECT_EQ(hostport, "h");
  SplitUserInfo("h:21", user, password, hostport);
  EXPECT_EQ(user, "");
  EXPECT_EQ(hostport, "h:21");
}

TEST(PathPartsTest, DirFileTargetAndTail) {
  std::string dir, file;
  SplitDirFile("/pub/music/a.mp3?x", &dir, &file);
  EXPECT_EQ(dir, "/pub/music/");
  EXPECT_EQ(file, "a.mp3");
  SplitDirFile("a.mp3;type=i", &dir, &file);
  EXPECT_EQ(dir, "");
  EXPECT_EQ(file, "a.mp3");

  std::string netloc, target;
  RequestTarget("http://host:81/a/b;p?q=1#frag", netloc, target);
  EXPECT_EQ(netloc, "host:81");
  EXPECT_EQ(target, "/a/b;p?q=1");
  RequestTarget("http://host?q=1", netloc, target);
  EXPECT_EQ(target, "?q=1");
  RequestTarget("http://host", netloc, target);
  EXPECT_EQ(target, "");

  EXPECT_EQ(UrlPathTail("ftp://h/pub/a.mp3"), "pub/a.mp3");
  EXPECT_EQ(RootUrl("http://h/a/b.mp3?x"), "http://h/");
  EXPECT_EQ(DirectoryUrl("http://h/a/b.mp3?x"), "http://h/a/");
}

TEST(HttpHelpersTest, NormalizeAndComplete) {
  EXPECT_EQ(NormalizeHttpUrl("HTTP://H/Path"), "http://H/Path");
  EXPECT_EQ(NormalizeHttpUrl("h/p"), "http://h/p");
  EXPECT_EQ(NormalizeHttpUrl("http://h"), "http://h");
  EXPECT_EQ(NormalizeHttpUrl("HTTP://"), "http://HTTP://");  // too short to be lower-cased
  EXPECT_EQ(NormalizeHttpUrl(std::string(3000, 'a')).size(), kUrlWorkMax);
  std::string www = "www.h/p";
  CompleteWwwUrl(www);
  EXPECT_EQ(www, "http://www.h/p");
  std::string other = "/p";
  CompleteWwwUrl(other);
  EXPECT_EQ(other, "/p");
}

TEST(UrlChecksTest, ExtensionsSchemesHosts) {
  std::string ext;
  EXPECT_EQ(UrlExtension("http://h/a.b.MP3?x=y.z", ext), 1);
  EXPECT_EQ(ext, "MP3");
  EXPECT_EQ(UrlExtension("http://h/.hidden", ext), 0);
  EXPECT_EQ(UrlExtension("http://h/dir/", ext), 0);
  EXPECT_EQ(UrlExtension("http://h/dir.d/file", ext), 0);

  EXPECT_EQ(CompareUrlExtension("http://h/a.MP3", "mp3", false), 0);
  EXPECT_NE(CompareUrlExtension("http://h/a.MP3", "mp3", true), 0);
  EXPECT_EQ(CompareUrlScheme("FTP://h/a", "ftp", false), 0);
  EXPECT_LT(CompareUrlScheme("http://h", "ftp", true), 0);
  EXPECT_GT(CompareUrlScheme("ftp://h", "http", true), 0);

  EXPECT_TRUE(SameHost("http://H.org/a", "ftp://h.ORG/b"));
  EXPECT_FALSE(SameHost("http://h/a", "http://h:81/a"));
  EXPECT_TRUE(IsHttpUrl("HTTP://h/a"));
  EXPECT_FALSE(IsHttpUrl("http:/a"));
  EXPECT_FALSE(IsHttpUrl("ftp://h/a"));
  // Add Entry and the CLI's add take https as a web address too.
  EXPECT_TRUE(IsHttpUrl("https://h/a"));
  EXPECT_TRUE(IsHttpsUrl("HTTPS://h/a"));
  EXPECT_FALSE(IsHttpsUrl("http://h/a"));
  EXPECT_FALSE(IsHttpUrl("https:///a"));
  EXPECT_EQ(DefaultPortOf("https://h/"), 443);
  EXPECT_EQ(DefaultPortOf("http://h/"), 80);
  EXPECT_EQ(NormalizeHttpUrl("HTTPS://h/a"), "https://h/a");
  EXPECT_EQ(NormalizeHttpUrl("h/a"), "http://h/a");
  EXPECT_EQ(NormalizeHttpUrl("gopher://h/a"), "gopher://h/a");
  EXPECT_EQ(NormalizeHttpUrl("h:8080/a"), "http://h:8080/a");
}

}  // namespace
}  // namespace sondrel
