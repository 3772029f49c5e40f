// The tasks that reach the network, over https against nginx with certificates made for the test:
// a search whose engines answer over https (one behind a redirect from http), verification of
// https entries, the engine update, and the command-line fetch.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "engines/engine_database.h"
#include "engines/engine_update.h"
#include "engines/engine_update_internal.h"
#include "engines/search_driver.h"
#include "engines/update_texts.h"
#include "net/connection_pool.h"
#include "net/http_connection.h"
#include "net/socket_io.h"
#include "net/tls_options.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/paths.h"
#include "tasks/download.h"
#include "tasks/gui_dispatch.h"
#include "tasks/search_thread.h"
#include "tasks/verification.h"
#include "testkit/nginx_server.h"
#include "testkit/scripted_http_server.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"
#include "testkit/test_certificates.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

std::string ListPage(const std::vector<std::string>& links) {
  std::string page = "<html><body><ul>";
  for (const std::string& link : links) page += "<li><a href=\"" + link + "\">x</a></li>";
  return page + "</ul></body></html>";
}

std::unique_ptr<EngineDefinition> ListEngine(const std::string& name, const std::string& action) {
  auto engine = std::make_unique<EngineDefinition>();
  engine->name = name;
  engine->fileStem = name;
  engine->action = action;
  engine->format = "<li><a href=\"__URL__\">__TITLE__</a></li>";
  engine->more = "__NEXT__";
  engine->varPatterns.Append(
      std::make_unique<VarPattern>(VarPattern{"<a class=n href=\"__NEXT__\">", {}, 0}));
  engine->enabled = 1;
  return engine;
}

std::string PagedList(int page, int last) {
  std::string links =
      "<html><body><ul><li><a href=\"p" + std::to_string(page) + ".mp3\">x</a></li></ul>";
  if (page < last) links += "<a class=n href=\"" + std::to_string(page + 1) + ".html\">Next</a>";
  return links + "</body></html>";
}

// The search as a front end runs it; the rows are read from the document afterwards.
void RunSearch(SearchSession& session) {
  session.updateCheck = false;
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  WorkerThread thread;
  const int started = StartSearch(session, thread);
  ASSERT_TRUE(started == kSearchStarted || started == kSearchRanHere) << started;
  if (started == kSearchStarted) queue->RunUntil([&] { return IsFinished(thread); });
  RemoveDispatcher();
}

class HttpsTasks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::NginxServer::Installed()) return;
    certs_ = new testkit::TestCertificates;
    ASSERT_TRUE(certs_->ok());
    server_ = new testkit::NginxServer(
        "    location = /to-secure { return 302 https://127.0.0.1:$arg_port/b/list.html; }\n");
    server_->EnableTls(certs_->valid());
    server_->EnableAccessLog();
    const std::string root = server_->Root();
    ::mkdir((root + "/a").c_str(), 0755);
    ::mkdir((root + "/b").c_str(), 0755);
    FileWriteAll(root + "/a/list.html", ListPage({"one.mp3", "/two.mp3"}));
    FileWriteAll(root + "/b/list.html", ListPage({"three.mp3"}));
    FileWriteAll(root + "/song.mp3", std::string(4321, 's'));
    ::mkdir((root + "/p").c_str(), 0755);
    for (int page = 1; page <= 5; ++page) {
      FileWriteAll(root + "/p/" + std::to_string(page) + ".html", PagedList(page, 5));
    }
    testkit::KeepIfStarted(server_, [](testkit::NginxServer& s) { return s.Start(); });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    delete certs_;
    certs_ = nullptr;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "nginx is not installed or did not start";
    NetStartup();
    SetStopFlag(false);
    SetDefaultTlsOptions(TlsOptions{certs_->caFile(), false});
  }
  void TearDown() override {
    SetDefaultTlsOptions(TlsOptions{});
    NetShutdown();
  }

  static testkit::TestCertificates* certs_;
  static testkit::NginxServer* server_;
  testkit::TempDir home_;
};

testkit::TestCertificates* HttpsTasks::certs_ = nullptr;
testkit::NginxServer* HttpsTasks::server_ = nullptr;

TEST_F(HttpsTasks, SearchEnginesOverHttpsAndBehindARedirectFromHttp) {
  EngineList engines;
  engines.Append(ListEngine("Secure", server_->TlsUrl("/a/list.html?q=__QUERY__")));
  engines.Append(ListEngine(
      "Moved",
      server_->Url("/to-secure?port=" + std::to_string(server_->tlsPort()) + "&q=__QUERY__")));
  Settings settings;
  SettingsDefaults(settings, home_.path());
  settings.timeoutSeconds = 5;
  SearchDocument document;
  SetSearchChoices(document, "song", kKeepDuplicates, kFilterNone, false);
  LoadedDatabase database;
  SearchSession session(document, engines, settings, database);
  session.home = home_.path();
  bool finished = false;
  session.callbacks.finished = [&] { finished = true; };
  RunSearch(session);
  EXPECT_TRUE(finished);

  std::set<std::string> urls;
  for (const auto& entry : document.entries) urls.insert(entry->url);
  EXPECT_EQ(urls, (std::set<std::string>{server_->TlsUrl("/a/one.mp3"), server_->TlsUrl("/two.mp3"),
                                         server_->TlsUrl("/b/three.mp3")}));
}

// Five pages of one engine on one server: one connection, so one TLS handshake, counted from
// nginx's log of connection numbers and requests per connection.
TEST_F(HttpsTasks, AnEnginesPagesShareOneConnection) {
  EngineList engines;
  engines.Append(ListEngine("Paged", server_->TlsUrl("/p/1.html?q=__QUERY__")));
  Settings settings;
  SettingsDefaults(settings, home_.path());
  settings.timeoutSeconds = 5;
  SearchDocument document;
  SetSearchChoices(document, "song", kKeepDuplicates, kFilterNone, false);
  LoadedDatabase database;
  SearchSession session(document, engines, settings, database);
  session.home = home_.path();
  const std::string logBefore = server_->AccessLog();
  RunSearch(session);
  EXPECT_EQ(document.entries.Count(), 5);

  std::istringstream log(server_->AccessLog().substr(logBefore.size()));
  std::set<std::string> connections;
  std::vector<int> requestNumbers;
  for (std::string connection, number, method, path;
       log >> connection >> number >> method >> path;) {
    std::string version;
    log >> version;
    if (path.rfind("/p/", 0) != 0) continue;
    connections.insert(connection);
    requestNumbers.push_back(std::stoi(number));
  }
  EXPECT_EQ(connections.size(), 1u);
  EXPECT_EQ(requestNumbers, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(HttpsTasks, VerificationChecksHttpsEntries) {
  SearchDocument document;
  for (const std::string& url :
       {server_->TlsUrl("/song.mp3"), server_->TlsUrl("/missing.mp3"),
        // The right certificate, but asked for by a name it does not carry.
        "https://127.0.0.2:" + std::to_string(server_->tlsPort()) + "/song.mp3"}) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->url = url;
    ASSERT_GE(document.entries.Append(std::move(entry)), 0);
  }
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  VerifyRun run;
  VerifyConfig config;
  config.timeoutSeconds = 5;
  config.removeInvalid = false;
  config.maxConnections = 2;
  ASSERT_EQ(VerifyAll(run, document, config, VerifyCallbacks{}), kVerifyStarted);
  queue->RunUntil([&] { return IsFinished(run.thread); });
  RemoveDispatcher();
  queue->Close();
  EXPECT_EQ(document.entries.Get(0)->status, kStatusValid);
  EXPECT_EQ(document.entries.Get(0)->size, 4321);
  EXPECT_EQ(document.entries.Get(1)->status, kStatusInvalid);
  EXPECT_EQ(document.entries.Get(2)->status, kStatusInvalid);
}

// Probes of links on one server with a pool: small bodies are read out and their connection
// serves the next probe. (An error reply still closes its connection.)
TEST_F(HttpsTasks, ProbesOfOneServerShareAConnection) {
  ConnectionPool pool;
  const std::string logBefore = server_->AccessLog();
  for (const char* path : {"/song.mp3", "/a/list.html", "/song.mp3"}) {
    SCOPED_TRACE(path);
    std::int64_t total = -1;
    std::string contentType;
    (void)HttpProbe(total, contentType, server_->TlsUrl(path), false, "", 0, std::nullopt,
                    std::nullopt, 5, false, nullptr, nullptr, nullptr, &pool);
  }
  EXPECT_EQ(pool.Reused(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // nginx logs after replying
  std::istringstream log(server_->AccessLog().substr(logBefore.size()));
  std::set<std::string> connections;
  for (std::string line; std::getline(log, line);)
    connections.insert(line.substr(0, line.find(' ')));
  EXPECT_EQ(connections.size(), 1u);
}

TEST_F(HttpsTasks, EngineUpdateOverHttps) {
  EngineList fresh;
  fresh.Append(ListEngine("Fresh", "https://example.test/find?q=__QUERY__"));
  const std::string image = home_.File("image.db");
  ASSERT_TRUE(WriteDatabase(image, fresh, 0));
  std::string bytes;
  ASSERT_TRUE(FileReadAll(image, bytes));
  FileWriteAll(server_->Root() + "/engines.db", bytes);

  EngineList engines;
  LoadedDatabase database;
  Settings settings;
  SettingsDefaults(settings, home_.path());
  const std::string databasePath = home_.File("engines.db");
  detail::ResetUpdateCheck();
  ::setenv(kUpdateUrlVariable, server_->TlsUrl("/engines.db").c_str(), 1);
  EngineUpdateTarget target{engines, settings, databasePath, database};
  EXPECT_EQ(UpdateCheck(target, nullptr, nullptr), kUpdateReceived);
  ::unsetenv(kUpdateUrlVariable);
  detail::ResetUpdateCheck();
  ASSERT_EQ(engines.Count(), 1);
  EXPECT_EQ(engines.Get(0)->name, "Fresh");
}

TEST_F(HttpsTasks, DownloadResumesOverHttps) {
  const std::string local = home_.File("song.mp3");
  ASSERT_GE(FileWriteAll(local, std::string(1000, 's')), 0);
  DownloadConfig config;
  config.timeoutSeconds = 5;
  EXPECT_EQ(
      DownloadUrl(server_->TlsUrl("/song.mp3"), local, true, config, nullptr, nullptr, nullptr),
      kDownloadDone);
  std::string got;
  ASSERT_TRUE(FileReadAll(local, got));
  EXPECT_EQ(got, std::string(4321, 's'));
  EXPECT_EQ(RemoteFileSize(server_->TlsUrl("/song.mp3"), config, nullptr, nullptr), 4321);
}

// The CLI trusts what OpenSSL's default paths name, so SSL_CERT_FILE adds the test CA; without
// it the fetch fails with the reason and the host on stderr.
TEST_F(HttpsTasks, CliFetchWithAndWithoutTheTestCa) {
  const std::string url = server_->TlsUrl("/song.mp3");
  const std::string out = home_.File("song.mp3");
  const std::string cli = std::string(SONDREL_CLI) + " fetch " + ShellQuote(url) + " ";
  testkit::CommandResult trusted = RunCommand("SSL_CERT_FILE=" + ShellQuote(certs_->caFile()) +
                                              " " + cli + "-o " + ShellQuote(out));
  EXPECT_EQ(trusted.status, 0) << trusted.err;
  std::string got;
  ASSERT_TRUE(FileReadAll(out, got));
  EXPECT_EQ(got, std::string(4321, 's'));

  const std::string never = home_.File("never.mp3");
  testkit::CommandResult untrusted = RunCommand(
      "SSL_CERT_FILE=/dev/null SSL_CERT_DIR=/nonexistent " + cli + "-o " + ShellQuote(never));
  EXPECT_NE(untrusted.status, 0);
  EXPECT_NE(untrusted.err.find("unknown issuer"), std::string::npos) << untrusted.err;
  EXPECT_NE(untrusted.err.find("127.0.0.1"), std::string::npos) << untrusted.err;
  struct stat info {};
  EXPECT_NE(::stat(never.c_str(), &info), 0);
}

}  // namespace
}  // namespace sondrel
