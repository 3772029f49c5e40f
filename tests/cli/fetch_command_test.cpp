#include <gtest/gtest.h>

#include <vector>

#include "testkit/scripted_http_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::RunCommand;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;
using testkit::ShellQuote;

std::string Cli(const std::string& words) {
  return ShellQuote(SONDREL_CLI) + " " + words;
}

TEST(FetchCommand, BodyProgressAndOutcomes) {
  ScriptedHttpServer server([](int, const std::string& request) {
    if (request.starts_with("GET /missing "))
      return ScriptedReply{HttpReply("HTTP/1.0 404 Not Found", "", "")};
    if (request.starts_with("HEAD "))
      return ScriptedReply{HttpReply("HTTP/1.0 200 OK", "X-A: b\r\n", "")};
    return ScriptedReply{HttpReply("HTTP/1.0 200 OK", "", "the body")};
  });
  testkit::TempDir dir;

  testkit::CommandResult plain = RunCommand(Cli("fetch " + ShellQuote(server.Url("/f"))));
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, "the body");

  // stderr is not a terminal here: one line per state.
  testkit::CommandResult toFile = RunCommand(
      Cli("fetch " + ShellQuote(server.Url("/f")) + " -o " + ShellQuote(dir.File("out"))));
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(dir.Read("out"), "the body");
  EXPECT_EQ(toFile.err,
            "Resolving\nConnecting\nConnected\nSending Request\nWaiting Reply\nReceived Reply\n"
            "0 / 8 (0 %)\n8 / 8 (100 %)\n");

  testkit::CommandResult head =
      RunCommand(Cli("fetch --head --quiet " + ShellQuote(server.Url("/f"))));
  EXPECT_EQ(head.status, 0);
  EXPECT_EQ(head.err, "");
  EXPECT_EQ(head.out, "HTTP/1.0 200 OK\r\nX-A: b\r\nContent-Length: 0\r\n\r\n");

  testkit::CommandResult missing =
      RunCommand(Cli("fetch --quiet " + ShellQuote(server.Url("/missing"))));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "sondrel-cli: " + server.Url("/missing") + ": HTTP/1.0 404 Not Found\n");

  EXPECT_EQ(RunCommand(Cli("fetch --resume " + ShellQuote(server.Url("/f")))).status, 2);
  EXPECT_EQ(RunCommand(Cli("fetch u --proxy nohost")).status, 2);
}

}  // namespace
}  // namespace sondrel
