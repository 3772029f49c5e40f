#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testkit/scripted_http_server.h"
#include "testkit/scripted_tls_server.h"
#include "testkit/test_certificates.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::RunCommand;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;
using testkit::ShellQuote;

// The program home of these runs: never the user's, whose settings fetch reads.
const testkit::TempDir& Home() {
  static const testkit::TempDir home;
  return home;
}

std::string Cli(const std::string& words) {
  return ShellQuote(SONDREL_CLI) + " --home " + ShellQuote(Home().path()) + " " + words;
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
  EXPECT_EQ(missing.status, 4);
  EXPECT_EQ(missing.err, "sondrel-cli: 127.0.0.1: HTTP 404 Not Found\n");

  EXPECT_EQ(RunCommand(Cli("fetch --resume " + ShellQuote(server.Url("/f")))).status, 2);
  EXPECT_EQ(RunCommand(Cli("fetch u --proxy nohost")).status, 2);
}

// Each failure names its cause and host (or path) and has its own exit status.
TEST(FetchCommand, FailuresNameTheCauseAndTheirStatus) {
  ScriptedHttpServer server([](int, const std::string& request) {
    if (request.starts_with("GET /silent ")) return ScriptedReply{""};
    if (request.starts_with("GET /gone "))
      return ScriptedReply{HttpReply("HTTP/1.1 410 Gone", "", "")};
    return ScriptedReply{HttpReply("HTTP/1.1 200 OK", "", "body")};
  });
  // A port nothing listens on: the scripted server's port after it closed would race, so
  // take the discard port, which is never served here.
  const struct {
    std::string words;
    int status;
    std::string err;
  } cases[] = {
      {"fetch -q " + server.Url("/gone"), 4, "127.0.0.1: HTTP 410 Gone"},
      {"fetch -q " + server.Url("/silent"), 3, "127.0.0.1: no response"},
      {"fetch -q http://127.0.0.1:9/x", 3, "127.0.0.1: connection refused"},
      {"fetch -q not-an-address", 1, "not-an-address: "},
      {"fetch -q " + server.Url("/f") + " -o /nonexistent/dir/f", 1, "/nonexistent/dir/f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const testkit::CommandResult result = RunCommand(Cli(c.words));
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("sondrel-cli: " + c.err)) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

// With no proxy in the settings, http_proxy sends fetch and download through the proxy it
// names: the proxy here is a local scripted server, so nothing leaves the machine.
TEST(FetchCommand, UsesTheEnvironmentsProxy) {
  ScriptedHttpServer proxy([](int, const std::string& request) {
    if (request.starts_with("GET http://music.example/song.mp3 "))
      return ScriptedReply{HttpReply("HTTP/1.1 200 OK", "Content-Type: audio/mpeg\r\n", "tune")};
    return ScriptedReply{HttpReply("HTTP/1.1 502 Bad Gateway", "", "")};
  });
  testkit::TempDir home;
  const std::string environment = "env http_proxy=" + ShellQuote(proxy.Url("/")) + " no_proxy= ";
  const testkit::CommandResult fetched =
      RunCommand(environment + Cli("fetch -q http://music.example/song.mp3"));
  EXPECT_EQ(fetched.status, 0) << fetched.err;
  EXPECT_EQ(fetched.out, "tune");
  const testkit::CommandResult downloaded = RunCommand(
      environment + Cli("download -q http://music.example/song.mp3 --dir " +
                        ShellQuote(home.File("dl"))));
  EXPECT_EQ(downloaded.status, 0) << downloaded.err;
  EXPECT_EQ(home.Read("dl/song.mp3"), "tune");
}

// A private server's certificate: refused with its reason, trusted with --cacert, unchecked
// with -k (and a warning).
TEST(FetchCommand, CertificateOptions) {
  testkit::TestCertificates certificates;
  ASSERT_TRUE(certificates.ok());
  testkit::ScriptedTlsServer server(certificates.valid(),
                                    {{HttpReply("HTTP/1.1 200 OK", "", "secret")}});
  ASSERT_TRUE(server.ok());
  const std::string url = ShellQuote(server.Url("/f"));
  const struct {
    std::string words;
    int status;
    std::string out;
    std::string err;  // expected in stderr
  } cases[] = {
      {"fetch -q " + url, 1, "", "127.0.0.1: TLS: unknown issuer"},
      {"fetch -q --cacert " + ShellQuote(certificates.caFile()) + " " + url, 0, "secret", ""},
      {"fetch -q -k " + url, 0, "secret", "warning: --insecure"},
      {"fetch -q --cacert /nonexistent/ca.pem " + url, 1, "", "/nonexistent/ca.pem"},
      {"verify x.sdp -k", 2, "", "-k"},  // only a single transfer may skip the check
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const testkit::CommandResult result = RunCommand(Cli(c.words));
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
    if (c.err.empty()) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    }
  }
}

}  // namespace
}  // namespace sondrel
