#include "net/ftp_url.h"

#include <gtest/gtest.h>

#include "net/url_texts.h"

namespace sondrel {
namespace {

TEST(CheckFtpUrlTest, AcceptsAndRefuses) {
  struct Case {
    const char* url;
    int result;
    const char* host;
    const char* path;
    char type;
  };
  const Case cases[] = {
      {"ftp://h/f;type=i", 1, "h", "/f", 'i'},
      {"ftp://h/f;x", 0, "h", "/f", 0},
      {"FTP://h", 1, "h", "", 0},
      {"ftp://h/pub/a.mp3", 1, "h", "/pub/a.mp3", 0},
      {"ftp:/h/a", 0, "", "", 0},
      {"http://h/a", 0, "", "", 0},
      {"ftp://h/f;type=", 1, "h", "/f", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::string host, path;
    char type = 'z';
    EXPECT_EQ(CheckFtpUrl(c.url, &host, &path, &type), c.result);
    if (c.result == 1) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(path, c.path);
      EXPECT_EQ(type, c.type);
    }
  }
  EXPECT_TRUE(IsFtpUrl("ftp://h/a"));
  EXPECT_FALSE(IsFtpUrl("ftp:///a"));
  EXPECT_FALSE(IsFtpUrl("http://h/a"));
}

TEST(FtpUrlPartsTest, AnonymousAndNamedLogins) {
  FtpAddress a;
  EXPECT_EQ(FtpUrlParts("ftp://h/pub/f.mp3", a), 1);
  EXPECT_EQ(a.host, "h");
  EXPECT_EQ(a.port, 21);
  EXPECT_EQ(a.user, "anonymous");
  EXPECT_EQ(a.password, url_texts::kAnonymousFtpPassword);
  EXPECT_EQ(a.dir, "/pub");
  EXPECT_EQ(a.file, "f.mp3");

  EXPECT_EQ(FtpUrlParts("ftp://joe:pw@h:2121/f.mp3", a), 1);
  EXPECT_EQ(a.host, "h");
  EXPECT_EQ(a.port, 2121);
  EXPECT_EQ(a.user, "joe");
  EXPECT_EQ(a.password, "pw");
  EXPECT_EQ(a.dir, "/");  // the root keeps its '/'
  EXPECT_EQ(a.file, "f.mp3");

  EXPECT_EQ(FtpUrlParts("ftp://h", a), 1);
  EXPECT_EQ(a.dir, "");
  EXPECT_EQ(a.file, "");
}

TEST(FtpPathOfTest, DecodesEscapesAndRefusesLineBreaks) {
  struct Case {
    const char* url;
    bool ok;
    const char* path;
  };
  const Case cases[] = {
      {"ftp://h/pub/my%20song.mp3", true, "pub/my song.mp3"},
      {"ftp://h/a+b.mp3", true, "a+b.mp3"},  // a plus is a plus in a path
      {"ftp://h/100%25.mp3", true, "100%.mp3"},
      {"ftp://h/%E2%99%AA.mp3", true, "\xE2\x99\xAA.mp3"},
      {"ftp://h/bad%2.mp3", true, "bad%2.mp3"},  // an incomplete escape stays
      {"ftp://h/end%4", true, "end%4"},
      {"ftp://h/x%0D%0ADELE%20y", false, ""},
      {"ftp://h/x%00y", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::string path;
    EXPECT_EQ(FtpPathOf(c.url, path), c.ok);
    if (c.ok) {
      EXPECT_EQ(path, c.path);
    }
  }
}

}  // namespace
}  // namespace sondrel
