// The command line against servers that never finish: a body without end, a peer that
// trickles one byte at a time. Every command must come back by itself, say it failed, and
// spend next to no CPU while it waits.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

#include "testkit/scripted_ftp_server.h"
#include "testkit/scripted_http_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;
using testkit::ShellQuote;

// Longer than any command may take here; a command still running then is stopped and fails.
// It is sent SIGTERM first so that timeout(1) lives to reap it and its CPU time is counted.
constexpr int kStopAfterSeconds = 40;

double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timed {
  testkit::CommandResult result;
  double seconds = 0;
  double cpu = 0;  // of the command and everything it started
};

Timed RunTimed(const std::string& environment, const std::string& home, const std::string& args) {
  const double cpu = ChildrenCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  Timed timed;
  timed.result =
      testkit::RunCommand(environment + " timeout -k 5 " + std::to_string(kStopAfterSeconds) + " " +
                          std::string(SONDREL_CLI) + " --home " + ShellQuote(home) + " " + args);
  timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timed.cpu = ChildrenCpuSeconds() - cpu;
  return timed;
}

// One byte every half second: far longer than any timeout below if nothing cuts it.
std::vector<std::string> Trickle(const std::string& text) {
  std::vector<std::string> bytes;
  for (char c : text) bytes.emplace_back(1, c);
  return bytes;
}

ScriptedReply Reply(const std::string& bytes) {
  ScriptedReply reply;
  reply.bytes = bytes;
  return reply;
}

ScriptedReply EndlessBody() {
  ScriptedReply reply = Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body><ul>");
  reply.endless = std::string(8192, ' ');
  return reply;
}

ScriptedReply TrickledHeader() {
  ScriptedReply reply = Reply("HTTP/1.1 200 OK\r\n");
  reply.pieces = Trickle("X-Slow: " + std::string(200, 'x') + "\r\n\r\n");
  reply.pauseMs = 500;
  return reply;
}

std::string ResultPage(const std::string& link) {
  return HttpReply("HTTP/1.1 200 OK", "Content-Type: text/html\r\n",
                   "<html><body><ul><li><a href=\"" + link + "\">Song</a></li></ul></body></html>");
}

// The home's engine database: one engine per address, named after its index.
void WriteEngines(testkit::TempDir& home, const std::vector<std::string>& actions) {
  std::string text;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    text += "[Engine" + std::to_string(i) + "]\nACTION=" + actions[i] +
            "\nFORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\n";
  }
  home.Write("engines.def", text);
  // Compiled by the program under test, so the database is of the layout it reads.
  ASSERT_EQ(testkit::RunCommand(std::string(SONDREL_CLI) + " compile " +
                                ShellQuote(home.File("engines.def")) + " " +
                                ShellQuote(home.File("engines.db")) + " 0")
                .status,
            0);
}

// Each row: the servers it needs, the command, and what must hold when it returns.
TEST(HostileServersCli, EndlessAndTrickledRepliesEndWithoutSpinning) {
  ScriptedHttpServer endless({EndlessBody()});
  ScriptedHttpServer trickled({TrickledHeader()});
  ScriptedHttpServer good([](int, const std::string&) { return Reply(ResultPage("/good.mp3")); });
  const std::string update = "SONDREL_UPDATE_URL=";
  // Rows about other things point the update check at a port nothing listens on.
  std::string refused;
  {
    ScriptedHttpServer gone({Reply("")});
    refused = update + ShellQuote(gone.Url("/engines.db"));
  }
  const std::string goodEngine = good.Url("/find?q=__QUERY__");
  struct Case {
    const char* what;
    std::string environment;
    std::vector<std::string> engines;  // the home's engines, by their ACTION
    std::string args;
    bool succeeds;  // exit 0; else a failure status of the command's own (not timeout's)
    double maxSeconds;
    std::string out;                  // what the output must hold
    const ScriptedHttpServer* asked;  // the hostile server, which must have seen ...
    std::string request;              // ... a request that starts so
  };
  const std::string query = "search song --no-verify --no-save --timeout 1";
  const Case cases[] = {
      {"update against an endless body",
       update + ShellQuote(endless.Url("/engines.db")),
       {goodEngine},
       "update",
       false,
       10,
       "",
       &endless,
       "GET /engines.db HTTP/1.1\r\n"},
      {"search after an update check with an endless body",
       update + ShellQuote(endless.Url("/engines.db")),
       {goodEngine},
       query,
       true,
       15,
       good.Url("/good.mp3"),
       &endless,
       "GET /engines.db HTTP/1.1\r\n"},
      {"search with an engine whose page never ends",
       refused,
       {endless.Url("/find?q=__QUERY__"), goodEngine},
       query,
       true,
       15,
       good.Url("/good.mp3"),
       &endless,
       "GET /find?q=song HTTP/1.1\r\n"},
      {"search with an engine that trickles its header",
       refused,
       {trickled.Url("/find?q=__QUERY__"), goodEngine},
       query,
       true,
       15,
       good.Url("/good.mp3"),
       &trickled,
       "GET /find?q=song HTTP/1.1\r\n"},
      {"fetch of a trickled header",
       refused,
       {goodEngine},
       "fetch " + ShellQuote(trickled.Url("/f")) + " --timeout 1",
       false,
       10,
       "",
       &trickled,
       "GET /f HTTP/1.1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::TempDir home;
    WriteEngines(home, c.engines);
    const std::string database = home.Read("engines.db");
    const std::size_t seen = c.asked->Requests().size();
    const Timed timed = RunTimed(c.environment, home.path(), c.args);
    if (c.succeeds) {
      EXPECT_EQ(timed.result.status, 0) << timed.result.err;
    } else {
      // Which failure status a timeout or a refusal gets is the command's business; 124 and
      // above would be timeout(1) stopping it.
      EXPECT_GT(timed.result.status, 0) << timed.result.err;
      EXPECT_LT(timed.result.status, 124) << timed.result.err;
    }
    EXPECT_LT(timed.seconds, c.maxSeconds);
    EXPECT_LT(timed.cpu, 2.0);
    EXPECT_NE(timed.result.out.find(c.out), std::string::npos) << timed.result.out;
    // The hostile server was really asked, and the engines on disk are the ones we had.
    const std::vector<std::string> requests = c.asked->Requests();
    ASSERT_GT(requests.size(), seen);
    EXPECT_TRUE(requests[seen].starts_with(c.request)) << requests[seen];
    EXPECT_TRUE(home.Read("engines.db") == database);
  }
}

// Verification of entries whose servers trickle their replies (an HTTP header, an FTP
// greeting): each entry is judged within the timeout (5 s, the least the settings take), not
// when the trickle ends (100 s on).
TEST(HostileServersCli, VerifyOfTrickledRepliesEndsByTheTimeout) {
  ScriptedHttpServer trickled({TrickledHeader()});
  testkit::FtpScript script;
  script.greeting = {"220 " + std::string(200, 'x') + "\r\n"};
  script.tricklePauseMs = 500;
  testkit::ScriptedFtpServer ftp(script);
  testkit::TempDir home;
  const std::string project = home.File("p.srp");
  ASSERT_EQ(RunTimed("", home.path(), "config timeoutSeconds 5").result.status, 0);
  for (const std::string& url : {trickled.Url("/s.mp3"), ftp.Url("/f.mp3")}) {
    ASSERT_EQ(RunTimed("", home.path(), "add " + ShellQuote(project) + " " + ShellQuote(url))
                  .result.status,
              0);
  }
  const Timed timed =
      RunTimed("", home.path(), "verify " + ShellQuote(project) + " --keep-invalid");
  EXPECT_EQ(timed.result.status, 0) << timed.result.err;
  // One timeout per entry at the most, with room for a loaded machine.
  EXPECT_LT(timed.seconds, 20);
  EXPECT_LT(timed.cpu, 2.0);
  EXPECT_NE(timed.result.out.find(trickled.Url("/s.mp3")), std::string::npos) << timed.result.out;
  EXPECT_NE(timed.result.out.find(ftp.Url("/f.mp3")), std::string::npos) << timed.result.out;
  ASSERT_EQ(trickled.Requests().size(), 1u);
  EXPECT_TRUE(trickled.Requests()[0].starts_with("HEAD /s.mp3 HTTP/1.1\r\n") ||
              trickled.Requests()[0].starts_with("GET /s.mp3 HTTP/1.1\r\n"))
      << trickled.Requests()[0];
  // The greeting never arrived whole, so nothing was sent to log in.
  EXPECT_TRUE(ftp.Commands().empty());
}

}  // namespace
}  // namespace sondrel
