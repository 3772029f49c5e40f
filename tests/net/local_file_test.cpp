#include "net/local_file.h"

#include <gtest/gtest.h>

#include "net/url_texts.h"

namespace sondrel {
namespace {

TEST(LocalFileForUrlTest, NamesAFileInsideTheDirectory) {
  const std::string fallback(url_texts::kDefaultDownloadName);
  struct Case {
    const char* url;
    const char* directory;
    std::string expected;
  };
  const Case cases[] = {
      {"http://h/x/My%20Song.mp3", "/dl", "/dl/My Song.mp3"},
      {"http://h/a+b.mp3?x=1", "/dl/", "/dl/a b.mp3"},
      {"ftp://h/pub/f.mp3", "", "f.mp3"},
      // Decoded names that would leave the directory or name none.
      {"http://h/x/..%2F..%2Fetc%2Fpasswd", "/dl", "/dl/.._.._etc_passwd"},
      {"http://h/x/%2E%2E", "/dl", "/dl/" + fallback},
      {"http://h/x/..", "/dl", "/dl/" + fallback},
      {"http://h/x/.", "/dl", "/dl/" + fallback},
      {"http://h/x/", "/dl", "/dl/" + fallback},
      {"http://h/x/a%2F", "/dl", "/dl/a_"},
      {"http://h", "/dl", "/dl/" + fallback},
      {"http://h/..%00.mp3", "/dl", "/dl/.._.mp3"},
      // Control characters vanish, so the name neither breaks a line nor steers a terminal.
      {"http://h/a%0Ab%0D.mp3", "/dl", "/dl/ab.mp3"},
      {"http://h/%1B%5B31mred%1B%5B0m.mp3", "/dl", "/dl/[31mred[0m.mp3"},
      {"http://h/tab%09del%7F.mp3", "/dl", "/dl/tabdel.mp3"},
      {"http://h/c1%C2%9Bx%C3%A9.mp3", "/dl", "/dl/c1x\xC3\xA9.mp3"},  // CSI gone, é kept
      {"http://h/%0A%1B", "/dl", "/dl/" + fallback},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::string out;
    EXPECT_EQ(LocalFileForUrl(out, c.url, c.directory), 1);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(LocalFileForUrlTest, LongPathsNeverLeaveTheDirectory) {
  std::string out;
  std::string dir = "/" + std::string(990, 'd');
  ASSERT_EQ(LocalFileForUrl(out, "http://h/" + std::string(200, 'n') + ".mp3", dir), 1);
  EXPECT_EQ(out.size(), kLocalPathMax);
  EXPECT_EQ(out.substr(0, dir.size() + 1), dir + "/");
  // A cut that would leave ".." takes the default name, which does not fit: no path at all.
  std::string tight = "/" + std::string(996, 'd');
  EXPECT_EQ(LocalFileForUrl(out, "http://h/..abc", tight), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(LocalFileForUrl(out, "http://h/a.mp3", std::string(kLocalPathMax, 'd')), 0);
}

TEST(LocalFileForUrlTest, LongNamesKeepTheirExtensionAndWholeCharacters) {
  std::string out;
  ASSERT_EQ(LocalFileForUrl(out, "http://h/" + std::string(250, 'n') + ".mp3", "/dl"), 1);
  EXPECT_EQ(out, "/dl/" + std::string(kLocalNameMax - 4, 'n') + ".mp3");
  // Two-byte characters after one single byte: the cut falls before a character, never inside.
  std::string name = "x";
  for (int i = 0; i < 126; ++i) name += "\xC3\xA9";
  ASSERT_EQ(LocalFileForUrl(out, "http://h/" + name, "/dl"), 1);
  EXPECT_EQ(out, "/dl/" + name.substr(0, kLocalNameMax - 1));
}

}  // namespace
}  // namespace sondrel
