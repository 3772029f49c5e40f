// Verification against real servers: nginx for the HTTP rules, vsftpd for the one-login-per-host
// FTP check, and a scripted server standing in for an FTP proxy.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_io.h"
#include "results/project_file.h"
#include "tasks/gui_dispatch.h"
#include "tasks/verification.h"
#include "testkit/ftp_server.h"
#include "testkit/nginx_server.h"
#include "testkit/scripted_http_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

void AddEntry(SearchDocument& document, const std::string& url) {
  auto entry = std::make_unique<ResultEntry>(NewEntry());
  entry->url = url;
  ASSERT_GE(document.entries.Append(std::move(entry)), 0);
}

void WriteFile(const std::string& path, std::size_t length) {
  std::ofstream(path, std::ios::binary) << std::string(length, 'm');
  ::chmod(path.c_str(), 0644);
}

class Verifier {
 public:
  Verifier() {
    NetStartup();
    queue_ = std::make_shared<MainThreadQueue>();
    InstallDispatcher(queue_);
  }
  ~Verifier() {
    RemoveDispatcher();
    queue_->Close();
    SetStopFlag(false);
    NetShutdown();
  }
  void Run(SearchDocument& document, VerifyConfig config) {
    config.timeoutSeconds = 10;
    config.removeInvalid = false;
    VerifyCallbacks callbacks;
    callbacks.progress = [this](const std::string& text) { progress = text; };
    ASSERT_EQ(VerifyAll(run_, document, config, std::move(callbacks)), kVerifyStarted);
    queue_->RunUntil([this] { return IsFinished(run_.thread); });
  }
  std::string progress;

 private:
  std::shared_ptr<MainThreadQueue> queue_;
  VerifyRun run_;
};

TEST(VerificationHttp, StatusAndSizeFromTheReplyHeader) {
  if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
  testkit::NginxServer nginx(
      "    location /cs/ { charset iso-8859-1; }\n"
      "    location /upper/ { types { } default_type \"TEXT/HTML\"; }\n"
      "    location = /moved-on { return 304; }\n"
      "    location = /gone.mp3 { return 410; }\n");
  ::mkdir(nginx.Root().c_str(), 0755);
  ::mkdir((nginx.Root() + "/cs").c_str(), 0755);
  ::mkdir((nginx.Root() + "/upper").c_str(), 0755);
  WriteFile(nginx.Root() + "/song.mp3", 12345);
  WriteFile(nginx.Root() + "/page.html", 700);
  WriteFile(nginx.Root() + "/cs/page.html", 800);
  WriteFile(nginx.Root() + "/upper/page", 900);
  ASSERT_TRUE(nginx.Start()) << nginx.error();

  struct Case {
    std::string path;
    std::uint8_t status;
    std::int32_t size;
  };
  const std::vector<Case> cases = {
      {"/song.mp3", kStatusValid, 12345},
      {"/page.html", kStatusInvalid, -1},     // text/html: a page, not the file
      {"/cs/page.html", kStatusInvalid, -1},  // text/html; charset=iso-8859-1
      {"/upper/page", kStatusInvalid, -1},    // TEXT/HTML
      {"/moved-on", kStatusInvalid, -1},      // 304
      {"/missing.mp3", kStatusInvalid, -1},   // 404
      {"/gone.mp3", kStatusInvalid, -1},
  };
  SearchDocument document;
  for (const Case& c : cases) AddEntry(document, nginx.Url(c.path));
  Verifier verifier;
  VerifyConfig config;
  config.maxConnections = 4;
  verifier.Run(document, config);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].path);
    EXPECT_EQ(document.entries.Get(static_cast<int>(i))->status, cases[i].status);
    EXPECT_EQ(document.entries.Get(static_cast<int>(i))->size, cases[i].size);
  }
  EXPECT_EQ(verifier.progress, "VERIFY: 7/7 processed");
}

class VerificationFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
  }
  void AddDirectory(const std::string& name) {
    const std::string path = server_.Root() + "/" + name;
    ::mkdir(path.c_str(), 0755);
    ::chmod(path.c_str(), 0755);
  }
  testkit::VsftpdServer server_;
};

TEST_F(VerificationFtp, EveryFileOfAHostWithOneLogin) {
  const std::vector<std::string> dirs = {"pub", "music", "incoming"};
  for (const std::string& dir : dirs) AddDirectory(dir);
  SearchDocument document;
  int index = 0;
  // Jobs interleave directories; the check goes directory by directory in name order.
  for (int i = 0; i < 10; ++i) {
    for (const std::string& dir : dirs) {
      const std::string name = dir + "/f" + std::to_string(i) + ".mp3";
      server_.AddFile(name, std::string(static_cast<std::size_t>(100 + index++), 'a'));
    }
  }
  server_.AddFile("pub/locked.mp3", "locked");
  ASSERT_TRUE(server_.Start()) << server_.error();
  ::chmod((server_.Root() + "/pub/locked.mp3").c_str(), 0);
  for (int i = 0; i < 10; ++i) {
    for (const std::string& dir : dirs) {
      AddEntry(document, server_.Url("/" + dir + "/f" + std::to_string(i) + ".mp3"));
    }
  }
  AddEntry(document, server_.Url("/pub/missing.mp3"));
  AddEntry(document, server_.Url("/pub/locked.mp3"));

  Verifier verifier;
  VerifyConfig config;
  config.maxConnections = 5;
  verifier.Run(document, config);

  for (int i = 0; i < 30; ++i) {
    SCOPED_TRACE(document.entries.Get(i)->url);
    EXPECT_EQ(document.entries.Get(i)->status, kStatusValid);
    EXPECT_EQ(document.entries.Get(i)->size, 100 + i);
  }
  EXPECT_EQ(document.entries.Get(30)->status, kStatusInvalid);  // no SIZE answer
  EXPECT_EQ(document.entries.Get(30)->size, -1);
  EXPECT_EQ(verifier.progress, "VERIFY: 32/32 processed");
  EXPECT_EQ(server_.LoginCount(), 1) << server_.Log();

  const std::vector<std::string> commands = server_.Commands();
  std::vector<std::string> sized;
  for (const std::string& command : commands) {
    if (command.rfind("SIZE ", 0) == 0) sized.push_back(command.substr(5));
    EXPECT_NE(command, "RETR pub/missing.mp3");  // a failed SIZE sends no RETR
  }
  ASSERT_EQ(sized.size(), 32u);
  EXPECT_EQ(sized.front(), "incoming/f0.mp3");
  EXPECT_EQ(sized[10], "music/f0.mp3");
  EXPECT_EQ(sized[20], "pub/f0.mp3");
  // The server has the size but cannot open the file for sending.
  EXPECT_EQ(document.entries.Get(31)->status, kStatusChecked);
  EXPECT_EQ(document.entries.Get(31)->size, 6);
}

TEST(VerificationFtpProxy, FtpEntriesGoToTheProxyAsHttp) {
  testkit::ScriptedHttpServer proxy(
      [](int, const std::string& request) -> testkit::ScriptedReply {
        if (request.find("missing") != std::string::npos) {
          return {testkit::HttpReply("HTTP/1.0 404 Not Found", "", "no"), false};
        }
        // A proxy's listing page is still "valid": this path judges no content type.
        return {testkit::HttpReply("HTTP/1.0 200 OK", "Content-Type: text/html\r\n",
                                   "0123456789"),
                false};
      });
  SearchDocument document;
  AddEntry(document, "ftp://files.invalid/pub/a.mp3");
  AddEntry(document, "ftp://files.invalid/pub/missing.mp3");
  AddEntry(document, "http://files.invalid/pub/page.mp3");  // through the web proxy
  Verifier verifier;
  VerifyConfig config;
  config.maxConnections = 1;  // one request at a time: their order is known
  config.ftpProxyOn = true;
  config.ftpProxyHost = "127.0.0.1";
  config.ftpProxyPort = proxy.port();
  config.webProxyOn = true;
  config.webProxyHost = "127.0.0.1";
  config.webProxyPort = proxy.port();
  verifier.Run(document, config);
  EXPECT_EQ(document.entries.Get(0)->status, kStatusValid);
  EXPECT_EQ(document.entries.Get(0)->size, 10);
  EXPECT_EQ(document.entries.Get(1)->status, kStatusInvalid);
  // The same text/html answer is a page on the HTTP path.
  EXPECT_EQ(document.entries.Get(2)->status, kStatusInvalid);
  const std::vector<std::string> requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].rfind("GET ftp://files.invalid/pub/a.mp3 ", 0), 0u) << requests[0];
  EXPECT_EQ(requests[2].rfind("GET http://files.invalid/pub/page.mp3 ", 0), 0u) << requests[2];
}

// A page that writes CR LF into a link as &#13;&#10; must not choose the header lines that
// verification sends: from the page through the search, the project file and the verify
// command, the link stays one URL.
TEST(VerificationOfPageLinks, ControlBytesFromAPageNeverReachTheWire) {
  testkit::ScriptedHttpServer server([](int, const std::string& request) -> testkit::ScriptedReply {
    if (request.starts_with("GET /find")) {
      return {testkit::HttpReply("HTTP/1.0 200 OK", "Content-Type: text/html\r\n",
                                 "<a href=\"/a&#13;&#10;X-Injected:&#32;1&#10;.mp3\">Song</a>"),
              false};
    }
    return {testkit::HttpReply("HTTP/1.0 200 OK", "Content-Type: audio/mpeg\r\n", "mp3"), false};
  });
  testkit::TempDir home;
  home.Write("one.def", "[Pages]\nACTION=" + server.Url("/find?q=__QUERY__") +
                            "\nFORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
  const std::string cli = "SONDREL_UPDATE_URL=http://127.0.0.1:1/ " + std::string(SONDREL_CLI) +
                          " --home " + testkit::ShellQuote(home.path()) + " --quiet ";
  const std::string db = testkit::ShellQuote(home.File("one.db"));
  const std::string project = testkit::ShellQuote(home.File("p.sdp"));
  ASSERT_EQ(testkit::RunCommand(cli + "compile " + testkit::ShellQuote(home.File("one.def")) + " " +
                                db + " 0")
                .status,
            0);
  testkit::CommandResult searched = testkit::RunCommand(
      cli + "search --db " + db + " --no-verify --project " + project + " song");
  ASSERT_EQ(searched.status, 0) << searched.err;

  SearchDocument document;
  ASSERT_EQ(LoadDocument(home.File("p.sdp"), document), kLoadOk);
  ASSERT_EQ(document.entries.Count(), 1);
  EXPECT_EQ(document.entries.Get(0)->url, server.Url("/a%0D%0AX-Injected: 1%0A.mp3"));

  testkit::CommandResult verified = testkit::RunCommand(cli + "verify " + project);
  EXPECT_EQ(verified.status, 0) << verified.err;
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    EXPECT_EQ(request.find("\nX-Injected"), std::string::npos);
    EXPECT_EQ(request.find("\r\n\r\n"), request.size() - 4);  // one header, one end
  }
}

// The verify command writes the project back when it ends; an entry added while it ran stays.
TEST(VerificationOfPageLinks, AnEntryAddedDuringAVerifyIsKept) {
  std::mutex mutex;
  std::condition_variable wake;
  bool asked = false, added = false;
  testkit::ScriptedHttpServer server([&](int,
                                         const std::string& request) -> testkit::ScriptedReply {
    std::unique_lock lock(mutex);
    asked = true;
    wake.notify_all();
    wake.wait_for(lock, std::chrono::seconds(10), [&] { return added; });
    if (request.find("missing") != std::string::npos) {
      return {testkit::HttpReply("HTTP/1.0 404 Not Found", "", "no"), false};
    }
    return {testkit::HttpReply("HTTP/1.0 200 OK", "Content-Type: audio/mpeg\r\n", "mp3"), false};
  });
  testkit::TempDir home;
  const std::string cli = "SONDREL_UPDATE_URL=http://127.0.0.1:1/ " + std::string(SONDREL_CLI) +
                          " --home " + testkit::ShellQuote(home.path()) + " --quiet ";
  const std::string project = testkit::ShellQuote(home.File("p.sdp"));
  ASSERT_EQ(testkit::RunCommand(cli + "add " + project + " " + server.Url("/a.mp3")).status, 0);
  ASSERT_EQ(testkit::RunCommand(cli + "add " + project + " " + server.Url("/missing.mp3")).status,
            0);
  testkit::CommandResult verified;
  std::thread verify(
      [&] { verified = testkit::RunCommand(cli + "verify --remove-invalid " + project); });
  {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::seconds(20), [&] { return asked; });
  }
  EXPECT_EQ(testkit::RunCommand(cli + "add " + project + " http://elsewhere.invalid/b.mp3").status,
            0);
  {
    std::lock_guard lock(mutex);
    added = true;
  }
  wake.notify_all();
  verify.join();
  ASSERT_EQ(verified.status, 0) << verified.err;

  SearchDocument document;
  ASSERT_EQ(LoadDocument(home.File("p.sdp"), document), kLoadOk);
  ASSERT_EQ(document.entries.Count(), 2);
  EXPECT_EQ(document.entries.Get(0)->url, server.Url("/a.mp3"));
  EXPECT_EQ(document.entries.Get(0)->status, kStatusValid);
  EXPECT_EQ(document.entries.Get(0)->size, 3);
  EXPECT_EQ(document.entries.Get(1)->url, "http://elsewhere.invalid/b.mp3");
  EXPECT_EQ(document.entries.Get(1)->status, kStatusNotVerified);
}

}  // namespace
}  // namespace sondrel
