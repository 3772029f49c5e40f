#include "net/ftp_control.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "net/socket_io.h"

namespace sondrel {
namespace {

TEST(FtpReplyEnd, FindsTheEndOfOneReply) {
  struct Case {
    std::string text;
    long end;
  };
  const Case cases[] = {
      {"", 0},
      {"220 ", 0},  // four characters are never enough
      {"220 ready", 0},
      {"220 ready\r\n", 11},
      {"220 ready\nnext", 10},  // exactly one line; what follows stays unread
      {"220\n", 0},             // the line feed sits before position 4
      {"220\nabc\n", -1},
      {"220-Welcome\r\n", 0},
      {"220-Welcome\r\nfree text\r\n220 ready\r\n", 35},
      {"220-Welcome\r\n220 ready", 0},  // closing line without its line feed yet
      {"220-Welcome\r\n22", 0},         // a line that may still become the closing one
      {"220-Welcome\r\n22\r\n220 x\n", 23},
      {"230-Hello\r\n230-more\r\n230 done\r\n250 next\r\n", 31},
      {"230-Hello\r\n231 other\r\n230 done\n", 31},
      {"230-Hello\r\n 230 indented\r\n230 done\n", 35},
      {"220X hello\r\n", -1},  // neither space nor '-': never complete
      {"2200 hello\r\n", -1},
      // A garbage code holding a line feed: the end lies after the closing line's code.
      {"\r\nf-x\n\r\nf \n", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FtpReplyEnd(c.text), c.end);
  }
}

TEST(FtpReplyCode, ReadsTheFirstThreeCharacters) {
  EXPECT_EQ(FtpReplyCode("230 in\r\n"), 230);
  EXPECT_EQ(FtpReplyCode("2301 long"), 230);
  EXPECT_EQ(FtpReplyCode("abc def"), 0);
  EXPECT_EQ(FtpReplyCode("22"), 22);
  EXPECT_EQ(FtpReplyCode(""), 0);
}

// A connected pair: the client end for the code under test, the other end plays the server.
class FtpControlPair : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  void TearDown() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int client() const { return fds_[0]; }
  void ServerSends(const std::string& text) {
    ASSERT_EQ(::send(fds_[1], text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  }
  std::string ServerReceived() {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fds_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) text.append(buf, n);
    return text;
  }
  std::string Pending() {  // what the client has not read
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fds_[0], buf, sizeof buf, MSG_DONTWAIT)) > 0) text.append(buf, n);
    return text;
  }
  NetProgress Progress(int seconds = 2) {
    NetProgress progress;
    progress.timeoutSeconds = seconds;
    progress.timeoutOn = true;
    return progress;
  }

  int fds_[2] = {-1, -1};
};

TEST_F(FtpControlPair, ReadsExactlyOneReplyAndShowsIt) {
  ServerSends("220-Welcome\r\nfree text\r\n220 ready\r\n150 next\r\n");
  NetProgress progress = Progress();
  std::string buf;
  EXPECT_EQ(FtpReadReply(client(), buf, kFtpLoginReplySize, &progress), 220);
  EXPECT_EQ(buf, "220-Welcome\r\nfree text\r\n220 ready\r\n");
  EXPECT_EQ(progress.text, buf);
  EXPECT_EQ(progress.state, kNetStateReceived);
  EXPECT_EQ(Pending(), "150 next\r\n");
}

TEST_F(FtpControlPair, AReplyLongerThanTheBufferFails) {
  ServerSends("213 " + std::string(300, '9') + "\r\n");
  NetProgress progress = Progress(1);
  std::string buf = "old";
  EXPECT_EQ(FtpReadReply(client(), buf, kFtpSizeReplySize, &progress), -1);
  EXPECT_TRUE(buf.empty());
}

TEST_F(FtpControlPair, FinalReplySkipsPreliminaryOnes) {
  ServerSends("125 Data open\r\n150 Opening\r\n226 Done\r\n");
  std::string buf;
  NetProgress progress = Progress();
  EXPECT_EQ(FtpReadFinalReply(client(), buf, kFtpReplySize, &progress), 226);
  EXPECT_EQ(buf, "226 Done\r\n");
}

// Records every progress text; the display must never see a password.
std::vector<std::string> g_shown;
void RecordText(NetProgress& progress) {
  g_shown.push_back(progress.text);
}

TEST_F(FtpControlPair, SendsFormattedCommandsAndMasksPasswords) {
  struct Case {
    std::string argument;
    const char* format;
    std::string sent;
    std::string shown;
  };
  const std::string longName(200, 'n');
  const Case cases[] = {
      {"secret", ftp_texts::kPass, "PASS secret\r\n", "PASS xxxx"},
      {"PASSWORD.mp3", ftp_texts::kRetrieve, "RETR PASSWORD.mp3\r\n", "PASS xxxx"},
      {"anonymous", ftp_texts::kUser, "USER anonymous\r\n", "USER anonymous\r\n"},
      {longName, ftp_texts::kSize, "SIZE " + longName + "\r\n", ("SIZE " + longName).substr(0, 89)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    g_shown.clear();
    ServerSends("200 ok\r\n");
    NetProgress progress = Progress();
    progress.onProgress = &RecordText;
    std::string buf;
    EXPECT_EQ(FtpCommand(client(), buf, kFtpReplySize, &progress, c.format, c.argument.c_str()),
              200);
    EXPECT_EQ(ServerReceived(), c.sent);
    ASSERT_EQ(g_shown.size(), 2u);  // sending, then the reply
    EXPECT_EQ(g_shown[0], c.shown);
    EXPECT_EQ(g_shown[1], "200 ok\r\n");
  }
}

TEST_F(FtpControlPair, RefusesAnArgumentThatWouldStartASecondCommand) {
  for (const char* path : {"a.mp3\r\nDELE b.mp3", "a.mp3\nDELE b", "a\r"}) {
    SCOPED_TRACE(path);
    std::string buf = "old";
    NetProgress progress = Progress();
    EXPECT_EQ(FtpCommand(client(), buf, kFtpReplySize, &progress, ftp_texts::kRetrieve, path), -1);
    EXPECT_TRUE(buf.empty());
    EXPECT_EQ(ServerReceived(), "");
  }
}

TEST_F(FtpControlPair, AMalformedReplyFailsWhenTheWaitEnds) {
  ServerSends("220X hello\r\n");
  NetProgress progress = Progress(1);
  std::string buf;
  EXPECT_EQ(FtpReadReply(client(), buf, kFtpLoginReplySize, &progress), -1);
}

TEST_F(FtpControlPair, QuitClosesTheConnectionEvenWithoutAReply) {
  ::shutdown(fds_[1], SHUT_WR);  // the server hangs up instead of answering
  NetProgress progress = Progress();
  int ctrl = ::dup(client());
  ASSERT_GE(ctrl, 0);
  EXPECT_EQ(FtpQuit(ctrl, &progress), -1);
  EXPECT_EQ(ServerReceived(), "QUIT\r\n");
  EXPECT_EQ(::fcntl(ctrl, F_GETFD), -1);  // closed
}

}  // namespace
}  // namespace sondrel
