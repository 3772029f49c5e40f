// The FTP client against a real vsftpd and against a scripted server for the replies a real
// server will not give.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>

#include "net/ftp_control.h"
#include "net/ftp_transfer.h"
#include "net/socket_io.h"
#include "testkit/ftp_server.h"
#include "testkit/open_files.h"
#include "testkit/scripted_ftp_server.h"
#include "testkit/server_process.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

constexpr int kTimeoutSeconds = 10;

// Binary content with line ends and zero bytes, so a text-mode transfer would show.
std::string Content(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(random() & 0xFF);
  return text;
}

NetProgress Progress(int seconds = kTimeoutSeconds) {
  NetProgress progress;
  progress.timeoutSeconds = seconds;
  progress.timeoutOn = true;
  return progress;
}

// What a download reported through its callback.
struct Seen {
  std::int64_t total = -2;
  std::int64_t transferred = -2;
  std::int64_t firstData = -2;  // transferred when the data began
  int dataReports = 0;
};

void RecordProgress(NetProgress& progress) {
  Seen* seen = static_cast<Seen*>(progress.userData);
  if (progress.state != kNetStateData) return;
  if (seen->dataReports++ == 0) seen->firstData = progress.transferred;
  seen->total = progress.total;
  seen->transferred = progress.transferred;
}

constexpr std::int64_t kCancelAfter = 1 << 20;
bool CancelAfterAMegabyte(NetProgress& progress) {
  return progress.transferred >= kCancelAfter;
}

class VsftpdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::VsftpdServer::Installed()) return;
    server_ = new testkit::VsftpdServer();
    server_->AddFile("song.mp3", Content(10000, 1));
    server_->AddFile("big.bin", Content(4 << 20, 2));
    testkit::KeepIfStarted(server_, [](auto& server) { return server.Start(); });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
    ASSERT_NE(server_, nullptr);
  }
  int Open(NetProgress& progress) {
    int code = 0;
    int ctrl = FtpOpen(code, "127.0.0.1", server_->port(), "anonymous", "guest@", "", &progress);
    EXPECT_EQ(code, 200);
    return ctrl;
  }
  int Count(const std::string& command) const {
    int n = 0;
    for (const std::string& c : server_->Commands()) n += c == command;
    return n;
  }

  static testkit::VsftpdServer* server_;
  testkit::TempDir dir_;
};
testkit::VsftpdServer* VsftpdTest::server_ = nullptr;

TEST_F(VsftpdTest, ChecksManyFilesOverOneLogin) {
  NetProgress progress = Progress();
  const int logins = server_->LoginCount();
  const int ctrl = Open(progress);
  ASSERT_GE(ctrl, 0);
  struct Case {
    const char* path;
    int result;
    std::int64_t size;
  };
  // The big file is still being sent when the check abandons it; the checks after it only pass
  // when the abort left no stray reply behind.
  const Case cases[] = {{"song.mp3", 1, 10000},
                        {"big.bin", 1, 4 << 20},
                        {"song.mp3", 1, 10000},
                        {"missing.mp3", 0, -1},
                        {"big.bin", 1, 4 << 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::int64_t size = -1;
    EXPECT_EQ(FtpCheckFile(ctrl, size, c.path, &progress), c.result);
    EXPECT_EQ(size, c.size);
  }
  EXPECT_EQ(FtpQuit(ctrl, &progress), 221);
  EXPECT_EQ(server_->LoginCount() - logins, 1);
  EXPECT_GE(Count("ABOR"), 3);
}

TEST_F(VsftpdTest, DownloadsAndResumesByteForByte) {
  const std::string whole = Content(10000, 1);
  struct Case {
    const char* name;
    bool resume;
    bool localExists;
    std::string local;
    int rests;  // REST commands this download sends
    std::int64_t firstData;
  };
  const Case cases[] = {
      {"fresh", false, false, "", 0, 0},
      {"resume 4000 of 10000", true, true, whole.substr(0, 4000), 1, 4000},
      {"resume a complete file", true, true, whole, 1, 10000},
      {"resume without a local file", true, false, "", 0, 0},
      {"local file longer than the server's", true, true, whole + "tail", 0, 0},
      {"no resume over a partial file", false, true, whole.substr(0, 4000), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string local = dir_.File(c.name);
    if (c.localExists) dir_.Write(c.name, c.local);
    const std::size_t restsBefore = server_->Commands().size();
    Seen seen;
    EXPECT_EQ(FtpDownload(local, server_->Url("/song.mp3"), c.resume, kTimeoutSeconds,
                          &RecordProgress, nullptr, &seen),
              kFtpDownloadDone);
    EXPECT_TRUE(dir_.Read(c.name) == whole);
    EXPECT_EQ(seen.total, 10000);
    EXPECT_EQ(seen.transferred, 10000);
    EXPECT_EQ(seen.firstData, c.firstData);
    std::vector<std::string> commands = server_->Commands();
    int rests = 0;
    for (std::size_t i = restsBefore; i < commands.size(); ++i) {
      if (commands[i].starts_with("REST ")) {
        ++rests;
        EXPECT_EQ(commands[i], "REST " + std::to_string(c.local.size()));
      }
    }
    EXPECT_EQ(rests, c.rests);
  }
}

TEST_F(VsftpdTest, MissingFileOrServerFailsTheDownload) {
  EXPECT_EQ(FtpDownload(dir_.File("a"), server_->Url("/missing.mp3"), false, kTimeoutSeconds,
                        nullptr, nullptr, nullptr),
            kFtpDownloadFailed);
  std::string closed = "ftp://127.0.0.1:" + std::to_string(testkit::FreeLoopbackPort()) + "/a";
  EXPECT_EQ(FtpDownload(dir_.File("b"), closed, false, kTimeoutSeconds, nullptr, nullptr, nullptr),
            kFtpDownloadNoLogin);
}

TEST_F(VsftpdTest, AFullDiskAbortsTheTransferAndKeepsTheConnectionUsable) {
  NetProgress progress = Progress();
  const int ctrl = Open(progress);
  ASSERT_GE(ctrl, 0);
  // Every write to /dev/full fails as on a full disk.
  EXPECT_EQ(FtpRetrieveFile(ctrl, "big.bin", "/dev/full", false, progress), kFtpWriteFailed);
  EXPECT_GE(Count("ABOR"), 1);
  std::int64_t size = -1;
  EXPECT_EQ(FtpSize(ctrl, size, "song.mp3", &progress), 1);
  EXPECT_EQ(size, 10000);
  EXPECT_EQ(FtpQuit(ctrl, &progress), 221);
}

TEST_F(VsftpdTest, CancelKeepsThePartialFileAndClosesEverything) {
  const int before = testkit::OpenDescriptorCount();
  Seen seen;
  EXPECT_EQ(FtpDownload(dir_.File("big.bin"), server_->Url("/big.bin"), false, kTimeoutSeconds,
                        &RecordProgress, &CancelAfterAMegabyte, &seen),
            kFtpDownloadFailed);
  EXPECT_EQ(testkit::OpenDescriptorCount(), before);
  const std::string partial = dir_.Read("big.bin");
  EXPECT_GE(static_cast<std::int64_t>(partial.size()), kCancelAfter);
  EXPECT_LT(partial.size(), std::size_t{4} << 20);
  EXPECT_TRUE(partial == Content(4 << 20, 2).substr(0, partial.size()));
}

// Login against replies no real server gives.
TEST(ScriptedFtpLogin, FollowsTheReplies) {
  struct Case {
    const char* name;
    std::vector<std::string> greeting;
    std::map<std::string, std::string> replies;
    int loginCode;  // -1: the login fails
    const char* mustSend;
    const char* mustNotSend;
  };
  const std::vector<std::string> ready{"220 ready\r\n"};
  const Case cases[] = {
      {"120 then 220", {"120 in a moment\r\n", "220 ready\r\n"}, {}, 230, "PASS guest@", nullptr},
      {"multi-line greeting",
       {"220-Welcome\r\nfree text\r\n220 ready\r\n"},
       {},
       230,
       "PASS guest@",
       nullptr},
      {"230- lines inside the reply",
       ready,
       {{"PASS", "230-Hello\r\n230-more\r\nfree\r\n230 done\r\n"}},
       230,
       nullptr,
       nullptr},
      {"230 straight after USER",
       ready,
       {{"USER", "230 Welcome\r\n"}},
       230,
       nullptr,
       "PASS guest@"},
      {"530 after PASS", ready, {{"PASS", "530 Login incorrect.\r\n"}}, -1, nullptr, "TYPE I"},
      {"account after USER", ready, {{"USER", "332 Account?\r\n"}}, 230, "ACCT acc", "PASS guest@"},
      {"account after PASS",
       ready,
       {{"PASS", "332 Account?\r\n"}, {"ACCT", "202 Not needed.\r\n"}},
       202,
       "ACCT acc",
       nullptr},
      {"greeting 421", {"421 Too many users\r\n"}, {}, -1, nullptr, "USER anonymous"},
      {"120 then 421", {"120 later\r\n", "421 Gone\r\n"}, {}, -1, nullptr, "USER anonymous"},
      {"a letter after the code", {"220X hello\r\n"}, {}, -1, nullptr, "USER anonymous"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::FtpScript script;
    script.greeting = c.greeting;
    script.replies = c.replies;
    testkit::ScriptedFtpServer server(script);
    NetProgress progress = Progress(1);
    int code = 0;
    const int ctrl =
        FtpOpen(code, "127.0.0.1", server.port(), "anonymous", "guest@", "acc", &progress);
    if (c.loginCode < 0) {
      EXPECT_EQ(ctrl, -1);
      EXPECT_EQ(code, -1);
    } else {
      ASSERT_GE(ctrl, 0);
      // The reply to TYPE I, so the login's replies were read to their exact ends.
      EXPECT_EQ(code, 200);
      FtpQuit(ctrl, &progress);
      // The login's own code shows in FtpLogin.
      testkit::ScriptedFtpServer again(script);
      const int second =
          FtpLogin(code, "127.0.0.1", again.port(), "anonymous", "guest@", "acc", &progress);
      EXPECT_EQ(code, c.loginCode);
      EXPECT_EQ(progress.state, kNetStateLoggedIn);
      CloseConnection(second, &progress);
    }
    if (c.mustSend) {
      EXPECT_TRUE(server.Received(c.mustSend)) << c.mustSend;
    }
    if (c.mustNotSend) {
      EXPECT_FALSE(server.Received(c.mustNotSend)) << c.mustNotSend;
    }
  }
}

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A server that sends its replies a byte every half second: each reply must arrive whole
// within the timeout, or the login (of a download or a verification) would last as long as
// the server liked.
TEST(ScriptedFtpLogin, ATrickledReplyEndsByTheTimeoutWithoutSpinning) {
  testkit::FtpScript script;
  script.greeting = {"220 " + std::string(100, 'x') + "\r\n"};
  script.tricklePauseMs = 500;
  testkit::ScriptedFtpServer server(script);
  NetProgress progress = Progress(2);
  const double cpu = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  int code = 0;
  EXPECT_EQ(FtpLogin(code, "127.0.0.1", server.port(), "anonymous", "guest@", "", &progress), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LT(ThreadCpuSeconds() - cpu, 0.3);
  EXPECT_FALSE(server.Received("USER anonymous"));

  testkit::TempDir dir;
  EXPECT_NE(FtpDownload(dir.File("f"), server.Url("/f"), false, 2, nullptr, nullptr, nullptr), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// Transfers against replies no real server gives.
TEST(ScriptedFtpTransfer, JudgesTheReplies) {
  const std::string whole = Content(10000, 3);
  struct Case {
    const char* name;
    std::map<std::string, std::string> replies;
    bool octal;
    bool keepOpen;
    std::string afterData;
    std::optional<std::string> local;  // the local file before the resumed download
    int check;                         // FtpCheckFile
    int download;                      // FtpDownload with resume
    bool complete;                     // the local file ends up equal to the server's
    std::int64_t firstData;
    const char* mustSend;
    const char* mustNotSend;
    const char* passiveHost = "127,0,0,1";
    const char* path = "/file.mp3";
    std::int64_t size = 10000;  // what SIZE answers
  };
  const std::string part = whole.substr(0, 4000);
  const Case cases[] = {
      {"plain", {}, false, false, "226 ok\r\n", std::nullopt, 1, 1, true, 0, nullptr, "REST 0"},
      {"SIZE refused: no total, no resume",
       {{"SIZE", "550 No SIZE here\r\n"}},
       false,
       false,
       "226 ok\r\n",
       "junk",
       0,
       1,
       true,
       0,
       nullptr,
       "REST 4"},
      {"RETR refused after a good SIZE",
       {{"RETR", "550 Permission denied\r\n"}},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       2,
       -1,
       false,
       -2,
       nullptr,
       nullptr},
      {"REST refused: start over",
       {{"REST", "502 No restarts\r\n"}},
       false,
       false,
       "226 ok\r\n",
       "junk",
       1,
       1,
       true,
       0,
       "REST 4",
       nullptr},
      {"final 426 after complete data",
       {},
       false,
       false,
       "426 Connection lost\r\n",
       std::nullopt,
       1,
       -1,
       true,
       0,
       nullptr,
       nullptr},
      {"RETR answered 125, then 250",
       {},
       false,
       false,
       "250 ok\r\n",
       std::nullopt,
       1,
       1,
       true,
       0,
       nullptr,
       nullptr},
      {"PASV numbers in octal",
       {},
       true,
       false,
       "226 ok\r\n",
       std::nullopt,
       1,
       1,
       true,
       0,
       nullptr,
       nullptr},
      {"PASV without numbers",
       {{"PASV", "227 Entering Passive Mode\r\n"}},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       2,
       -1,
       false,
       -2,
       nullptr,
       "RETR file.mp3"},
      {"data held open after a resumed file",
       {},
       false,
       true,
       "226 ok\r\n",
       part,
       1,
       1,
       true,
       4000,
       "REST 4000",
       nullptr},
      {"binary type refused",
       {{"TYPE", "504 No binary\r\n"}},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       1,
       0,
       false,
       -2,
       "TYPE I",
       nullptr},
      // A server that announces more than it sends: 10000 bytes and 226 are not a whole file.
      {"SIZE larger than the data",
       {{"SIZE", "213 300000\r\n"}},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       1,
       -1,
       true,
       0,
       nullptr,
       nullptr,
       "127,0,0,1",
       "/file.mp3",
       300000},
      // Only the port of a PASV reply is used: the data goes to the control connection's peer,
      // never to the address the server names (127.0.0.2 listens on nothing here).
      {"PASV names another address",
       {},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       1,
       1,
       true,
       0,
       nullptr,
       nullptr,
       "127,0,0,2"},
      {"escaped path is sent decoded",
       {},
       false,
       false,
       "226 ok\r\n",
       std::nullopt,
       1,
       1,
       true,
       0,
       "RETR my song.mp3",
       "RETR my%20song.mp3",
       "127,0,0,1",
       "/my%20song.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::FtpScript script;
    script.file = whole;
    script.replies = c.replies;
    script.octalPassive = c.octal;
    script.keepDataOpen = c.keepOpen;
    script.afterData = c.afterData;
    script.passiveHost = c.passiveHost;
    if (c.afterData.starts_with("250")) script.opening = "125 Data connection open\r\n";
    testkit::ScriptedFtpServer server(script);
    testkit::TempDir dir;
    {
      NetProgress progress = Progress(2);
      int code = 0;
      const int ctrl = FtpLogin(code, "127.0.0.1", server.port(), "u", "p", "", &progress);
      ASSERT_GE(ctrl, 0);
      std::int64_t size = -1;
      EXPECT_EQ(FtpCheckFile(ctrl, size, "file.mp3", &progress), c.check);
      if (c.check != 0) {
        EXPECT_EQ(size, c.size);
      }
      FtpQuit(ctrl, &progress);
    }
    if (c.local) dir.Write("file.mp3", *c.local);
    Seen seen;
    EXPECT_EQ(FtpDownload(dir.File("file.mp3"), server.Url(c.path), true, 2, &RecordProgress,
                          nullptr, &seen),
              c.download);
    if (c.complete) {
      EXPECT_TRUE(dir.Read("file.mp3") == whole);
    }
    EXPECT_EQ(seen.firstData, c.firstData);
    if (c.mustSend) {
      EXPECT_TRUE(server.Received(c.mustSend)) << c.mustSend;
    }
    if (c.mustNotSend) {
      EXPECT_FALSE(server.Received(c.mustNotSend)) << c.mustNotSend;
    }
  }
}

}  // namespace
}  // namespace sondrel
