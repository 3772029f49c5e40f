#include "net/http_request.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

constexpr const char* kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, image/png, */*\r\n"
    "Accept-Language: en\r\n"
    "Accept-Charset: iso-8859-1,*,utf-8\r\n";

std::string Request(HttpRequest request, bool withCredentials = false) {
  HttpFetchState state;
  (void)BuildFetchRequest(request, state, withCredentials);
  return state.requestText;
}

TEST(HttpRequestText, PlainGetAndItsProxyForm) {
  HttpRequest request;
  request.url = "http://h/d/p.html?x=1";
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  EXPECT_EQ(state.requestText, std::string("GET /d/p.html?x=1 HTTP/1.1\r\n"
                                           "Connection: Keep-Alive\r\n"
                                           "User-Agent: Sondrel/" SONDREL_VERSION "\r\n"
                                           "Host: h\r\n") +
                                   kAccept + "\r\n");
  EXPECT_EQ(state.target.host, "h");
  EXPECT_EQ(state.target.port, 80);

  request.useProxy = true;
  request.proxyHost = "proxy.lan";
  request.proxyPort = 3128;
  PrepareHttpFetch(request, state);
  EXPECT_EQ(state.requestText, std::string("GET http://h/d/p.html?x=1 HTTP/1.1\r\n"
                                           "Connection: Keep-Alive\r\n"
                                           "User-Agent: Sondrel/" SONDREL_VERSION "\r\n"
                                           "Host: h\r\n") +
                                   kAccept + "\r\n");
  EXPECT_EQ(state.target.host, "proxy.lan");
  EXPECT_EQ(state.target.port, 3128);
}

TEST(HttpRequestText, EveryOptionalLineInOrder) {
  HttpRequest request;
  request.workUrl = "http://host.example:8080/search";
  request.method = kHttpPost;
  request.postBody = "q=a+b";
  request.referer = "http://from/";
  request.userAgent = "Agent/1.0  ";
  request.user = "ann";
  request.password = "secret";
  request.ifModifiedSince = DateStamp{9, 6, 2021, 10, 18, 14};
  request.resume = true;
  request.resumeOffset = 3000000000LL;
  request.noCache = true;
  EXPECT_EQ(Request(request, true), std::string("POST /search HTTP/1.1\r\n"
                                                "Referer: http://from/\r\n"
                                                "Connection: Keep-Alive\r\n"
                                                "User-Agent: Agent/1.0\r\n"
                                                "Host: host.example:8080\r\n") +
                                        kAccept +
                                        "Authorization: Basic YW5uOnNlY3JldA==\r\n"
                                        "If-Modified-Since: Wed, 09 Jun 2021 10:18:14 GMT\r\n"
                                        "Range: bytes=3000000000-\r\n"
                                        "Content-type: application/x-www-form-urlencoded\r\n"
                                        "Content-length: 5\r\n"
                                        "Pragma: no-cache\r\n"
                                        "\r\n");
  // Without credentials asked for, none are sent even when the request has them.
  EXPECT_EQ(Request(request).find("Authorization"), std::string::npos);
}

TEST(HttpRequestText, MethodWordsAgentsAndTargets) {
  struct Case {
    int method;
    bool resume;
    std::optional<std::string> agent;
    const char* url;
    const char* firstLine;
    bool agentLine;
  } cases[] = {
      {kHttpHead, true, std::nullopt, "http://h/f.mp3", "HEAD /f.mp3 HTTP/1.1\r\n", true},
      {kHttpGet, false, "NULL", "http://h", "GET / HTTP/1.1\r\n", false},
      {kHttpGet, false, "", "http://h?q=1", "GET ?q=1 HTTP/1.1\r\n", false},
      {7, false, "x", "http://h/#frag", "POST / HTTP/1.1\r\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpRequest request;
    request.workUrl = c.url;
    request.method = c.method;
    request.resume = c.resume;
    request.userAgent = c.agent;
    std::string text = Request(request);
    EXPECT_TRUE(text.starts_with(c.firstLine)) << text;
    EXPECT_EQ(text.find("User-Agent:") != std::string::npos, c.agentLine);
    EXPECT_EQ(text.find("Range: bytes=0-\r\n") != std::string::npos, c.resume);
  }
}

TEST(HttpRequestText, CredentialsNeedBothParts) {
  HttpRequest request;
  request.workUrl = "http://h/";
  request.user = "ann";
  request.password = "";
  EXPECT_EQ(Request(request, true).find("Authorization"), std::string::npos);
}

TEST(HttpRequestText, LongValuesAreCutAndTheTextStaysWellFormed) {
  HttpRequest request;
  request.workUrl = "http://h/";
  request.referer = std::string(9000, 'r');
  std::string text = Request(request);
  EXPECT_LE(text.size(), kRequestTextMax + 64);
  EXPECT_TRUE(text.ends_with("\r\n\r\n"));
  // The credentials are cut before they are encoded.
  request.referer.reset();
  request.user = std::string(600, 'u');
  request.password = "p";
  text = Request(request, true);
  std::size_t at = text.find("Basic ");
  ASSERT_NE(at, std::string::npos);
  std::size_t end = text.find("\r\n", at);
  EXPECT_EQ(end - at - 6, Base64Encode(std::string(499, 'u')).size());
}

TEST(HttpRequestText, AppendHeaderTrimsTheValueEnd) {
  std::string text = "X";
  AppendHeader(text, 100, "\r\nName:", "value \t ");
  EXPECT_EQ(text, "X\r\nName: value\r\n");
  text.clear();
  AppendHeader(text, 10, "Name:", "a long value");
  EXPECT_EQ(text, "Name: a\r\n");
}

TEST(HttpDate, FormatsTheStampAsItStands) {
  EXPECT_EQ(HttpDateText(DateStamp{6, 11, 1994, 8, 49, 37}), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(HttpDateText(DateStamp{29, 2, 2000, 0, 0, 0}), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(HttpDateText(DateStamp{1, 13, 2000, 0, 0, 0}), "");
  EXPECT_EQ(HttpDateText(DateStamp{}), "");
}

TEST(Base64, PadsToFourCharacters) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
               {"\xff\xfe", "//4="}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Base64Encode(c.in), c.out);
  }
}

TEST(PrepareFetch, NormalisesTheAddressButKeepsFtp) {
  struct Case {
    const char* url;
    const char* workUrl;
    const char* host;
    int port;
  } cases[] = {
      {"HTTP://Host:8080/a", "http://Host:8080/a", "Host", 8080},
      {"host/a b", "http://host/a b", "host", 80},
      {"https://h/a", "https://h/a", "h", 443},
      {"HTTPS://h:8443/a", "https://h:8443/a", "h", 8443},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpRequest request;
    request.url = c.url;
    HttpFetchState state;
    PrepareHttpFetch(request, state);
    EXPECT_EQ(request.workUrl, c.workUrl);
    EXPECT_EQ(state.target.host, c.host);
    EXPECT_EQ(state.target.port, c.port);
  }
  // Without a proxy an ftp address is no HTTP fetch; through one it is the whole target and its
  // host the Host value.
  HttpRequest request;
  request.url = "ftp://ftp.h/pub/f.mp3";
  {
    HttpFetchState direct;
    EXPECT_FALSE(PrepareHttpFetch(request, direct));
    EXPECT_EQ(direct.failure.kind, FailureKind::kBadAddress);
  }
  request.useProxy = true;
  request.proxyHost = "p";
  request.proxyPort = 8080;
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  EXPECT_TRUE(state.requestText.starts_with("GET ftp://ftp.h/pub/f.mp3 HTTP/1.1\r\n"));
  EXPECT_NE(state.requestText.find("\r\nHost: ftp.h\r\n"), std::string::npos);
}

TEST(HttpRequestText, TheHostLineCarriesAPortThatIsNotTheSchemes) {
  struct Case {
    const char* url;
    const char* hostLine;
  } cases[] = {
      {"http://h/a", "Host: h\r\n"},           {"http://h:80/a", "Host: h\r\n"},
      {"http://h:8080/a", "Host: h:8080\r\n"}, {"http://h:443/a", "Host: h:443\r\n"},
      {"https://h/a", "Host: h\r\n"},          {"https://h:443/a", "Host: h\r\n"},
      {"https://h:80/a", "Host: h:80\r\n"},    {"http://u:p@h:81/a", "Host: h:81\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpRequest request;
    request.url = c.url;
    HttpFetchState state;
    ASSERT_TRUE(PrepareHttpFetch(request, state));
    EXPECT_NE(state.requestText.find(std::string("\r\n") + c.hostLine), std::string::npos)
        << state.requestText;
    EXPECT_EQ(state.requestText.find('@'), std::string::npos);
  }
}

}  // namespace
}  // namespace sondrel
