// verify and download through the real sondrel-cli, against a local nginx.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "results/project_file.h"
#include "testkit/ftp_server.h"
#include "testkit/nginx_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class VerifyCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
    std::string body(150000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(nginx_.Root() + "/song.mp3", std::ios::binary) << body;
    std::ofstream(nginx_.Root() + "/page.html") << "<html></html>";
    ASSERT_TRUE(nginx_.Start()) << nginx_.error();
  }
  testkit::CommandResult Cli(const std::string& arguments) {
    return RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home_.path()) + " " +
                      arguments);
  }
  std::string Project() { return home_.File("songs.sdp"); }

  testkit::NginxServer nginx_;
  testkit::TempDir home_;
};

TEST_F(VerifyCommandTest, VerifiesSavesAndRemovesWhenAsked) {
  for (const char* path : {"/song.mp3", "/page.html", "/missing.mp3"}) {
    ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " " + ShellQuote(nginx_.Url(path))).status, 0);
  }
  testkit::CommandResult kept = Cli("verify " + ShellQuote(Project()) + " --keep-invalid");
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(kept.err.find("VERIFY: 3/3 processed"), std::string::npos) << kept.err;
  EXPECT_NE(kept.out.find(nginx_.Url("/song.mp3") + "\t146 KB\tValid\t"), std::string::npos)
      << kept.out;
  EXPECT_NE(kept.out.find(nginx_.Url("/page.html") + "\t???\tInvalid\t"), std::string::npos);
  EXPECT_NE(kept.out.find(nginx_.Url("/missing.mp3") + "\t???\tInvalid\t"), std::string::npos);

  // The statuses were saved with the project.
  SearchDocument saved;
  ASSERT_EQ(LoadDocument(Project(), saved), kLoadOk);
  ASSERT_EQ(saved.entries.Count(), 3);
  EXPECT_EQ(saved.entries.Get(0)->size, 150000);

  EXPECT_NE(kept.err.find("removed 0 invalid entries"), std::string::npos) << kept.err;

  // Removal, with the JSON document a script reads: sizes in bytes, statuses as words.
  testkit::CommandResult removed = Cli("--quiet verify --json " + ShellQuote(Project()) +
                                       " --remove-invalid");
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.err, "");
  home_.Write("verified.json", removed.out);
  const testkit::CommandResult parsed = RunCommand(
      "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
      "print(d[\"removedInvalid\"], [(e[\"size\"], e[\"status\"]) for e in d[\"entries\"]])' " +
      ShellQuote(home_.File("verified.json")));
  EXPECT_EQ(parsed.out, "2 [(150000, 'valid')]\n") << removed.out << parsed.err;
  ASSERT_EQ(LoadDocument(Project(), saved), kLoadOk);
  EXPECT_EQ(saved.entries.Count(), 1);
}

TEST_F(VerifyCommandTest, VerifyRefusesBadInvocations) {
  EXPECT_EQ(Cli("verify").status, 2);
  EXPECT_EQ(Cli("verify x.sdp --keep-invalid --remove-invalid").status, 2);
  testkit::CommandResult missing = Cli("verify " + ShellQuote(home_.File("none.sdp")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(home_.File("none.sdp")), std::string::npos);
}

TEST_F(VerifyCommandTest, DownloadsResumesAndKnowsWhenDone) {
  const std::string dir = home_.File("dl");
  const std::string local = dir + "/song.mp3";
  const std::string original = ReadAll(nginx_.Root() + "/song.mp3");
  const std::string download =
      "download " + ShellQuote(nginx_.Url("/song.mp3")) + " --dir " + ShellQuote(dir);

  testkit::CommandResult first = Cli(download);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, local + "\n");
  EXPECT_TRUE(ReadAll(local) == original);
  // The last transfer line; a local transfer this small may end within a millisecond, too
  // soon to tell a rate.
  EXPECT_NE(first.err.find("150000 bytes received"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("100 % of 150000 bytes"), std::string::npos) << first.err;

  // An existing file is kept: the download takes a free name.
  testkit::CommandResult again = Cli(download);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, dir + "/song (1).mp3\n");
  EXPECT_TRUE(ReadAll(dir + "/song (1).mp3") == original);

  // --resume continues a smaller file of that name: the user says it is a part of this one.
  std::ofstream(local, std::ios::binary | std::ios::trunc) << original.substr(0, 50000);
  testkit::CommandResult resumed = Cli(download + " --resume");
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, local + "\n");
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_NE(resumed.err.find("150000 bytes received"), std::string::npos) << resumed.err;

  // --overwrite replaces it, and only once the new file is whole.
  std::ofstream(local, std::ios::binary | std::ios::trunc) << std::string(150000, 'x');
  ASSERT_EQ(Cli(download + " --overwrite --restart").status, 0);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_FALSE(std::ifstream(local + ".part").good());
}

// On a terminal the progress is one line rewritten in place, ended by a line feed.
TEST_F(VerifyCommandTest, DownloadProgressOnATerminalIsOneLine) {
  if (RunCommand("command -v script").status != 0) GTEST_SKIP() << "script is not installed";
  const std::string download = std::string(SONDREL_CLI) + " --home " +
                               ShellQuote(home_.path()) + " download " +
                               ShellQuote(nginx_.Url("/song.mp3")) + " --dir " +
                               ShellQuote(home_.File("dl"));
  // script gives the program a terminal and copies what it wrote to stdout.
  const testkit::CommandResult result =
      RunCommand("script -qefc " + ShellQuote(download + " >/dev/null") + " /dev/null");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const std::string& screen = result.out;
  EXPECT_NE(screen.find("\r"), std::string::npos) << screen;
  EXPECT_NE(screen.find("100 % of 150000 bytes"), std::string::npos) << screen;
  // Every state was drawn over the last one: no line feed before the end.
  const std::size_t firstFeed = screen.find('\n');
  EXPECT_GE(firstFeed + 2, screen.size()) << screen;
}

TEST_F(VerifyCommandTest, DownloadFailuresAndUsage) {
  EXPECT_EQ(Cli("download").status, 2);
  EXPECT_EQ(Cli("download " + ShellQuote(nginx_.Url("/a")) + " --resume --restart").status, 2);
  testkit::CommandResult other = Cli("download gopher://127.0.0.1/a.mp3");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("gopher://127.0.0.1/a.mp3"), std::string::npos);
  testkit::CommandResult missing =
      Cli("download " + ShellQuote(nginx_.Url("/missing.mp3")) + " --dir " +
          ShellQuote(home_.File("dl")));
  // An error reply exits 4 and names its status.
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find(nginx_.Url("/missing.mp3")), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("HTTP 404 Not Found"), std::string::npos) << missing.err;
  EXPECT_EQ(Cli("download -q http://127.0.0.1:9/a.mp3 --dir " + ShellQuote(home_.File("dl")))
                .status,
            3);
  testkit::CommandResult unwritable =
      Cli("download " + ShellQuote(nginx_.Url("/song.mp3")) + " --dir /dev/null/x");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("cannot write /dev/null/x/song.mp3"), std::string::npos)
      << unwritable.err;
}

TEST(DownloadCommandFtp, ResumesWhenAsked) {
  if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
  testkit::VsftpdServer server;
  std::string body(90000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 13 % 253);
  server.AddFile("tune.mp3", body);
  ASSERT_TRUE(server.Start()) << server.error();
  testkit::TempDir home;
  const std::string local = home.File("dl/tune.mp3");
  const std::string command = std::string(SONDREL_CLI) + " --home " + ShellQuote(home.path()) +
                              " download " + ShellQuote(server.Url("/tune.mp3")) + " --dir " +
                              ShellQuote(home.File("dl"));
  ASSERT_EQ(RunCommand(command).status, 0);
  EXPECT_TRUE(ReadAll(local) == body);
  std::ofstream(local, std::ios::binary | std::ios::trunc) << body.substr(0, 30000);
  testkit::CommandResult resumed = RunCommand(command + " --resume");
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_TRUE(ReadAll(local) == body);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 30000"), commands.end());
}

// Serves one file at a steady, known rate: a chunk every tick, so that the truth of every
// progress line can be worked out from the bytes it reports.
class TricklingServer {
 public:
  static constexpr int kChunk = 10000;
  static constexpr int kChunks = 40;
  static constexpr int kTickMs = 100;  // 100000 bytes a second, 4 s in all
  static constexpr double kRate = kChunk * 1000.0 / kTickMs;

  TricklingServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { ServeOne(); });
  }
  ~TricklingServer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/slow.mp3"; }

 private:
  void ServeOne() {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    char request[4096];
    (void)::recv(client, request, sizeof request, 0);
    const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: " +
                               std::to_string(kChunk * kChunks) +
                               "\r\nContent-Type: audio/mpeg\r\nConnection: close\r\n\r\n";
    bool ok = ::send(client, header.data(), header.size(), MSG_NOSIGNAL) > 0;
    const std::string chunk(kChunk, 'x');
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; ok && i < kChunks; ++i) {
      next += std::chrono::milliseconds(kTickMs);
      std::this_thread::sleep_until(next);
      ok = ::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) == kChunk;
    }
    ::close(client);
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(DownloadProgressLines, TellTotalShareRateAndRemainingTimeCorrectly) {
  TricklingServer server;
  testkit::TempDir home;
  const testkit::CommandResult result =
      RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home.path()) + " download " +
                 ShellQuote(server.Url()) + " --dir " + ShellQuote(home.File("dl")));
  ASSERT_EQ(result.status, 0) << result.err;

  // Piped, the progress is plain lines, about one a second.
  const std::regex line(
      R"((\d+) bytes received \((\d+)\.(\d) KB/s\), (\d+) % of (\d+) bytes, Remaining time: (\d\d):(\d\d):(\d\d))");
  const long long total = TricklingServer::kChunk * TricklingServer::kChunks;
  int checked = 0;
  std::istringstream lines(result.err);
  std::string text;
  while (std::getline(lines, text)) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    SCOPED_TRACE(text);
    const long long got = std::stoll(m[1]);
    EXPECT_EQ(std::stoll(m[5]), total);
    EXPECT_EQ(std::stoll(m[4]), got * 100 / total);
    if (got == total) continue;  // the closing line: nothing left to estimate
    const double rate = (std::stoll(m[2]) + std::stoi(m[3]) / 10.0) * 1024;
    EXPECT_NEAR(rate, TricklingServer::kRate, 0.2 * TricklingServer::kRate);
    const double remaining = std::stoi(m[6]) * 3600 + std::stoi(m[7]) * 60 + std::stoi(m[8]);
    const double truth = (total - got) / TricklingServer::kRate;
    // Within a fifth of the truth, and the half second the display rounds to.
    EXPECT_NEAR(remaining, truth, 0.2 * truth + 0.5);
    ++checked;
  }
  EXPECT_GE(checked, 2) << result.err;
  EXPECT_EQ(result.err.find("0 bytes/s"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace sondrel
