#include "net/ftp_transfer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(FtpPassiveAddress, ReadsSixNumbersLikePercentI) {
  struct Case {
    std::string reply;
    bool ok;
    std::string host;
    int port;
  };
  const Case cases[] = {
      {"227 Entering Passive Mode (10,0,0,1,19,137).\r\n", true, "10.0.0.1", 5001},
      {"227 (127,0,0,1,0,21)", true, "127.0.0.1", 21},
      {"227 =(0177,0,0,01,023,0211)", true, "127.0.0.1", 19 * 256 + 137},  // octal
      {"227 (0x7f,0X0,0,1,0x13,0x89)", true, "127.0.0.1", 5001},           // hexadecimal
      {"227 ( 10, 0,\t0, 1, 19, 137)", true, "10.0.0.1", 5001},  // space before each number
      {"227 (+10,0,0,1,19,137)", true, "10.0.0.1", 5001},
      {"227 (255,255,255,255,255,255)", true, "255.255.255.255", 65535},
      {"227 (10,0,0,1,19,137,99)", true, "10.0.0.1", 5001},         // extra numbers are ignored
      {"227 Entering Passive Mode 10,0,0,1,19,137", false, "", 0},  // no '('
      {"227 (10,0,0,1,19)", false, "", 0},                          // five numbers
      {"227 (10,0,0,1,19,)", false, "", 0},
      {"227 (10 ,0,0,1,19,137)", false, "", 0},  // the comma must follow at once
      {"227 (10,0,0,1,08,137)", false, "", 0},   // 0 then '8': octal stops before the comma
      {"227 (256,0,0,1,19,137)", false, "", 0},  // not a byte
      {"227 (-1,0,0,1,19,137)", false, "", 0},
      {"227 (10,0,0,1,19,99999999999999999999999)", false, "", 0},
      {"227 (0x,0,0,1,19,137)", false, "", 0},
      {"227 (", false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::string host = "unchanged";
    int port = -7;
    ASSERT_EQ(FtpPassiveAddress(c.reply, host, port), c.ok);
    if (c.ok) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
    }
  }
}

TEST(ReadCInteger, StopsAfterTheNumber) {
  struct Case {
    std::string text;
    bool ok;
    std::int64_t value;
    std::string rest;
  };
  const Case cases[] = {
      {"42,", true, 42, ","},
      {"  -17x", true, -17, "x"},
      {"010", true, 8, ""},
      {"0", true, 0, ""},
      {"09", true, 0, "9"},
      {"0x1F g", true, 31, " g"},
      {"0xg", true, 0, "xg"},
      {"", false, 0, ""},
      {"-", false, 0, ""},
      {"x1", false, 0, ""},
      {"99999999999999999999", true, INT64_MAX, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string_view text = c.text;
    std::int64_t value = -1;
    ASSERT_EQ(ReadCInteger(text, value), c.ok);
    if (c.ok) {
      EXPECT_EQ(value, c.value);
      EXPECT_EQ(text, c.rest);
    }
  }
}

class FtpTransferPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    progress_.timeoutSeconds = 2;
    progress_.timeoutOn = true;
  }
  void TearDown() override {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  void PeerSends(const std::string& text) {
    ASSERT_EQ(::send(fds_[1], text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  }
  int fds_[2] = {-1, -1};
  NetProgress progress_;
  testkit::TempDir dir_;
};

TEST_F(FtpTransferPair, SizeIsTheSecondWordOfA213) {
  struct Case {
    std::string reply;
    int result;
    std::int64_t size;
  };
  const Case cases[] = {
      {"213 1048576\r\n", 1, 1048576},
      {"213 0\r\n", 1, 0},
      {"213    4294967296 bytes\r\n", 1, 4294967296},  // past 32 bits stays right
      {"213 12abc\r\n", 1, 12},
      {"213 -5\r\n", 0, 0},  // never a negative total
      {"213 abc\r\n", 0, 0},
      {"213\r\n", 0, 0},  // malformed: fails only when the wait ends
      {"213 99999999999999999999999\r\n", 0, 0},
      {"550 No such file\r\n", 0, 0},
      {"250 1048576\r\n", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(::send(pair[1], c.reply.data(), c.reply.size(), 0),
              static_cast<ssize_t>(c.reply.size()));
    ::shutdown(pair[1], SHUT_WR);  // a reply that never completes fails at once
    std::int64_t size = -1;
    EXPECT_EQ(FtpSize(pair[0], size, "a.mp3", &progress_), c.result);
    if (c.result == 1) {
      EXPECT_EQ(size, c.size);
    }
    ::close(pair[0]);
    ::close(pair[1]);
  }
}

TEST_F(FtpTransferPair, ResumedFileEndsAtTheTotalWhileTheConnectionStaysOpen) {
  dir_.Write("f", std::string(4000, 'a'));
  progress_.total = 10000;
  progress_.transferred = 4000;
  PeerSends(std::string(6000, 'b') + "surplus");  // and the peer keeps the connection
  EXPECT_EQ(FtpReceiveToFile(fds_[0], dir_.File("f"), true, progress_), kFtpTransferComplete);
  EXPECT_EQ(progress_.transferred, 10000);
  EXPECT_EQ(dir_.Read("f"), std::string(4000, 'a') + std::string(6000, 'b'));
}

TEST_F(FtpTransferPair, FreshFileIsCheckedAgainstTheSize) {
  struct Case {
    const char* what;
    std::int64_t total;
    int result;
    const char* written;
  };
  const Case cases[] = {
      {"no size: everything until the close", -1, kFtpTransferComplete, "new bytes"},
      {"exactly the size", 9, kFtpTransferComplete, "new bytes"},
      {"data ends short of the size", 300000, kFtpTransferFailed, "new bytes"},
      {"more than the size: it ends there", 3, kFtpTransferComplete, "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int fd : fds_) ::close(fd);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    dir_.Write("f", "old content that is longer");
    progress_.total = c.total;
    progress_.transferred = 99;
    PeerSends("new bytes");
    ::shutdown(fds_[1], SHUT_WR);
    EXPECT_EQ(FtpReceiveToFile(fds_[0], dir_.File("f"), false, progress_), c.result);
    EXPECT_EQ(progress_.state, kNetStateData);
    EXPECT_EQ(dir_.Read("f"), c.written);
  }
}

TEST_F(FtpTransferPair, ResumingAMissingFileFailsAndCreatesNothing) {
  PeerSends("data");
  progress_.total = 4;
  EXPECT_EQ(FtpReceiveToFile(fds_[0], dir_.File("missing"), true, progress_), kFtpTransferFailed);
  EXPECT_NE(::access(dir_.File("missing").c_str(), F_OK), 0);
}

TEST_F(FtpTransferPair, ASilentPeerFailsAtTheTimeout) {
  progress_.timeoutSeconds = 1;
  EXPECT_EQ(FtpReceiveToFile(fds_[0], dir_.File("f"), false, progress_), kFtpTransferFailed);
}

}  // namespace
}  // namespace sondrel
