// Whole searches: the six engines of the local music index, and scripted engines for the
// faults a real site seldom shows on demand.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_update.h"
#include "engines/engine_update_internal.h"
#include "engines/search_driver.h"
#include "engines/update_texts.h"
#include "net/socket_io.h"
#include "results/project_file.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "tasks/gui_dispatch.h"
#include "tasks/search_thread.h"
#include "testkit/music_index.h"
#include "testkit/scripted_http_server.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::RunCommand;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;
using testkit::ShellQuote;

// Runs a search the way a front end does: the search thread hands rows to this thread.
struct SearchRun {
  std::vector<int> addedIndexes;
  SearchProgress lastProgress;
  bool finished = false;
  bool hookRan = false;
  std::chrono::milliseconds took{0};
};

SearchRun RunWholeSearch(SearchSession& session,
                         std::function<void(SearchSession&, const ResultEntry&)> onRow = {},
                         bool updateCheck = false) {
  SearchRun run;
  session.updateCheck = updateCheck;
  session.callbacks.resultAdded = [&](const ResultEntry& entry, int index) {
    run.addedIndexes.push_back(index);
    EXPECT_EQ(session.document.entries.Get(index), &entry);
    if (onRow) onRow(session, entry);
  };
  session.callbacks.progress = [&](const SearchProgress& progress) { run.lastProgress = progress; };
  session.callbacks.finished = [&] { run.finished = true; };
  session.callbacks.searchFinished = [&] { run.hookRan = true; };
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  WorkerThread thread;
  const auto start = std::chrono::steady_clock::now();
  const int started = StartSearch(session, thread);
  EXPECT_TRUE(started == kSearchStarted || started == kSearchRanHere) << started;
  if (started == kSearchStarted) queue->RunUntil([&] { return IsFinished(thread); });
  run.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  RemoveDispatcher();
  return run;
}

std::map<std::string, int> CountByEngine(const SearchDocument& document) {
  std::map<std::string, int> counts;
  for (const auto& entry : document.entries) ++counts[entry->engine];
  return counts;
}

// Every engine's positions run 0, 1, 2, ... in the order its results were added.
void ExpectPositionsInOrder(const SearchDocument& document) {
  std::map<std::string, int> next;
  for (const auto& entry : document.entries) {
    SCOPED_TRACE(entry->engine + " " + entry->url);
    EXPECT_EQ(entry->position, next[entry->engine]++);
  }
}

class MusicIndexSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    NetStartup();
    if (!testkit::MusicIndex::Installed()) return;
    index_ = new testkit::MusicIndex;
    testkit::KeepIfStarted(index_, [](auto& server) { return server.Start(false); });
  }
  static void TearDownTestSuite() {
    delete index_;
    index_ = nullptr;
  }

  void SetUp() override {
    if (!index_) GTEST_SKIP() << "the music index needs python3";
    home_.Write("demo.def", index_->DefinitionText());
    databasePath_ = home_.File("engines.db");
    ASSERT_EQ(CompileDefinitions(home_.File("demo.def"), databasePath_, 0), CompileOk);
    ASSERT_TRUE(LoadDatabase(databasePath_, engines_, database_));
    ASSERT_EQ(engines_.Count(), 6);
    SetAllEnabled(engines_, true);
    SettingsDefaults(settings_, home_.path());
    session_ = std::make_unique<SearchSession>(document_, engines_, settings_, database_);
    session_->home = home_.path();
    session_->databasePath = databasePath_;
    SetSearchChoices(document_, "rock", kKeepDuplicates, kFilterNone, false);
  }

  std::string Cli(const std::string& arguments) {
    testkit::CommandResult result =
        RunCommand("SONDREL_UPDATE_URL=http://127.0.0.1:1/ " + std::string(SONDREL_CLI) +
                   " --home " + ShellQuote(home_.path()) + " " + arguments);
    EXPECT_EQ(result.status, 0) << arguments;
    return result.out;
  }

  static testkit::MusicIndex* index_;
  testkit::TempDir home_;
  std::string databasePath_;
  EngineList engines_;
  LoadedDatabase database_;
  Settings settings_;
  SearchDocument document_;
  std::unique_ptr<SearchSession> session_;
};

testkit::MusicIndex* MusicIndexSearchTest::index_ = nullptr;

TEST_F(MusicIndexSearchTest, EveryEngineGivesResultsAcrossPages) {
  SearchRun run = RunWholeSearch(*session_);
  EXPECT_TRUE(run.finished);
  EXPECT_TRUE(run.hookRan);
  EXPECT_EQ(run.lastProgress.enginesStarted, 6);
  EXPECT_EQ(run.lastProgress.enginesFinished, 6);
  EXPECT_EQ(document_.duplicateSets, nullptr);

  const std::map<std::string, int> counts = CountByEngine(document_);
  for (const auto& engine : engines_) {
    SCOPED_TRACE(engine->name);
    EXPECT_GT(counts.count(engine->name) ? counts.at(engine->name) : 0, 0);
  }
  // Ten a page: the third page of Demo Tracks and the second of Post Box were reached.
  EXPECT_EQ(counts.at("Demo Tracks"), 30);
  EXPECT_GT(counts.at("Post Box"), 5);
  // One row per entry, handed over in list order.
  ASSERT_EQ(static_cast<int>(run.addedIndexes.size()), document_.entries.Count());
  for (int i = 0; i < document_.entries.Count(); ++i) EXPECT_EQ(run.addedIndexes[i], i);
  ExpectPositionsInOrder(document_);
  for (const auto& entry : document_.entries) {
    SCOPED_TRACE(entry->url);
    EXPECT_TRUE(entry->url.ends_with(".mp3"));
    EXPECT_FALSE(entry->name.empty());
    EXPECT_EQ(entry->status, kStatusNotVerified);
  }
}

TEST_F(MusicIndexSearchTest, DuplicatesAcrossEnginesAreRefused) {
  SearchRun keep = RunWholeSearch(*session_);
  const int all = document_.entries.Count();
  SetSearchChoices(document_, "rock", kRemoveDuplicateUrls, kFilterNone, false);
  RunWholeSearch(*session_);
  std::set<std::string> urls;
  for (const auto& entry : document_.entries) EXPECT_TRUE(urls.insert(entry->url).second);
  EXPECT_LT(document_.entries.Count(), all);
  ExpectPositionsInOrder(document_);
}

TEST_F(MusicIndexSearchTest, LimitsPerEngineAndTotal) {
  settings_.maxResultsPerEngine = 4;
  RunWholeSearch(*session_);
  for (const auto& [engine, count] : CountByEngine(document_)) {
    SCOPED_TRACE(engine);
    EXPECT_LE(count, 4);
  }
  EXPECT_EQ(CountByEngine(document_).at("Demo Tracks"), 4);

  settings_.maxResultsPerEngine = 100;
  settings_.maxResultsTotal = 13;
  SearchRun run = RunWholeSearch(*session_);
  EXPECT_EQ(document_.entries.Count(), 13);
  EXPECT_TRUE(run.finished);
  SetStopFlag(false);

  // With merge on, the entries kept count toward the total.
  settings_.maxResultsTotal = 15;
  SetSearchChoices(document_, "rock", kKeepDuplicates, kFilterNone, true);
  RunWholeSearch(*session_);
  EXPECT_EQ(document_.entries.Count(), 15);
  SetStopFlag(false);
}

TEST_F(MusicIndexSearchTest, StopKeepsWhatWasFound) {
  SearchRun run = RunWholeSearch(*session_, [](SearchSession& session, const ResultEntry&) {
    if (session.document.entries.Count() == 3) StopSearch(session);
  });
  EXPECT_TRUE(run.finished);
  EXPECT_TRUE(run.hookRan);
  EXPECT_GE(document_.entries.Count(), 3);
  EXPECT_LT(document_.entries.Count(), 20);
  SetStopFlag(false);
}

TEST_F(MusicIndexSearchTest, MaxConnectionsOneStillRunsEveryEngine) {
  settings_.maxConnections = 1;
  RunWholeSearch(*session_);
  EXPECT_EQ(CountByEngine(document_).size(), 6u);
  // One engine at a time: each engine's results are one block.
  std::set<std::string> done;
  std::string current;
  for (const auto& entry : document_.entries) {
    if (entry->engine == current) continue;
    EXPECT_TRUE(done.insert(entry->engine).second) << entry->engine << " came back";
    current = entry->engine;
  }
}

TEST_F(MusicIndexSearchTest, DisabledEnginesAreSkipped) {
  SetAllEnabled(engines_, false);
  SearchRun none = RunWholeSearch(*session_);
  EXPECT_TRUE(none.finished);
  EXPECT_EQ(document_.entries.Count(), 0);
  EXPECT_EQ(none.lastProgress.enginesStarted, 0);

  engines_.Get(3)->enabled = 1;  // Redirect Hub
  RunWholeSearch(*session_);
  ASSERT_GT(document_.entries.Count(), 0);
  EXPECT_EQ(CountByEngine(document_).size(), 1u);
  EXPECT_EQ(document_.entries.Get(0)->engine, "Redirect Hub");
}

TEST_F(MusicIndexSearchTest, CliSearchVerifiesByDefaultAndDropsDeadLinks) {
  // A first run's settings verify after searching and remove invalid results.
  const std::string listed = Cli("search rock --no-save");
  std::istringstream lines(listed);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    ++rows;
    EXPECT_EQ(line.find("\tNot verified\t"), std::string::npos) << line;
    EXPECT_EQ(line.find("\tInvalid\t"), std::string::npos) << line;
  }
  EXPECT_GT(rows, 30);
}

TEST_F(MusicIndexSearchTest, CliSearchSavesExportsAndReplaysWithoutNetwork) {
  const std::string listed =
      Cli("search rock --no-verify --export " + ShellQuote(home_.File("rock.htm")));
  std::istringstream lines(listed);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "Name\tURL\tSize\tStatus\tPos\tEngine");
  int rows = 0;
  while (std::getline(lines, line)) {
    ++rows;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
    EXPECT_NE(line.find("\t???\tNot verified\t"), std::string::npos) << line;
  }
  EXPECT_GT(rows, 30);
  // Saved as the query-named project in the home, as the GUI does.
  SearchDocument saved;
  ASSERT_EQ(LoadDocument(ProjectPathFromQuery("rock", home_.path()), saved), kLoadOk);
  EXPECT_EQ(saved.entries.Count(), rows);
  EXPECT_EQ(saved.query, "rock");
  EXPECT_NE(home_.Read("rock.htm").find("rock-"), std::string::npos);

  const std::string captured = Cli("search rock --capture --no-save --no-verify");
  EXPECT_FALSE(captured.empty());
  EXPECT_NE(home_.Read("search/demotracks0.htm").find("<!-- http://127.0.0.1:"), std::string::npos);
  EXPECT_FALSE(home_.Read("search/demotracks3.htm").empty());
  // The site is gone: the replay reads the captured pages only.
  index_->Stop();
  const std::string replayed = Cli("search rock --replay --no-save --no-verify");
  delete index_;
  index_ = nullptr;
  EXPECT_EQ(replayed, captured);
}

// ---- faults ----

// A server for the faults the scripted server cannot play: a page that starts and never ends,
// and a connection reset instead of an answer. Each connection gets its own thread.
class FaultServer {
 public:
  enum Mode { kEndlessPage, kReset, kSlowPage };
  explicit FaultServer(Mode mode) : mode_(mode) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(listener_, 8), 0);
    EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~FaultServer() {
    stop_ = true;
    thread_.join();
    for (std::thread& t : clients_) t.join();
    ::close(listener_);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int MostAtOnce() const { return mostAtOnce_.load(); }
  int Served() const { return served_.load(); }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) clients_.emplace_back([this, client] { Serve(client); });
    }
  }
  void Serve(int client) {
    char buf[4096];
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 2000) > 0) (void)::recv(client, buf, sizeof buf, 0);
    if (mode_ == kReset) {
      linger hard{1, 0};
      ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else if (mode_ == kSlowPage) {
      const int now = ++atOnce_;
      int most = mostAtOnce_.load();
      while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const std::string page = HttpReply(
          "HTTP/1.0 200 OK", "",
          "<ul><li><a href=\"/s" + std::to_string(served_++) + ".mp3\">Slow</a></li></ul>");
      --atOnce_;
      (void)::send(client, page.data(), page.size(), MSG_NOSIGNAL);
    } else {
      const std::string start =
          "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body><ul>"
          "<li><a href=\"/never.mp3\">Never</a></li>";
      (void)::send(client, start.data(), start.size(), MSG_NOSIGNAL);
      while (!stop_) {
        pollfd q{client, POLLIN, 0};
        if (::poll(&q, 1, 20) > 0 && ::recv(client, buf, sizeof buf, 0) <= 0) break;
      }
    }
    ::close(client);
  }

  Mode mode_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> atOnce_{0};
  std::atomic<int> mostAtOnce_{0};
  std::atomic<int> served_{0};
  std::thread thread_;
  std::vector<std::thread> clients_;
};

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

std::string ListPage(const std::vector<std::string>& links, const std::string& next = {}) {
  std::string page = "<html><body><ul>";
  for (const std::string& link : links)
    page += "<li><a href=\"" + link + "\">" + link + "</a></li>";
  page += "</ul>";
  if (!next.empty()) page += "<a class=n href=\"" + next + "\">Next</a>";
  return page + "</body></html>";
}

class FaultSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NetStartup();
    SetStopFlag(false);
    SettingsDefaults(settings_, home_.path());
    settings_.timeoutSeconds = 1;
    settings_.maxResultsPerEngine = 7;
    SetSearchChoices(document_, "song", kKeepDuplicates, kFilterNone, false);
  }

  testkit::TempDir home_;
  EngineList engines_;
  LoadedDatabase database_;
  Settings settings_;
  SearchDocument document_;
};

TEST_F(FaultSearchTest, BrokenEnginesEndAndTheOthersGoOn) {
  FaultServer endless(FaultServer::kEndlessPage);
  FaultServer reset(FaultServer::kReset);
  // Every page names a further page: only the per-engine limit ends this engine.
  ScriptedHttpServer chain([](int connection, const std::string&) {
    const std::string n = std::to_string(connection);
    return ScriptedReply{
        HttpReply("HTTP/1.0 200 OK", "",
                  ListPage({n + "a.mp3", n + "b.mp3", n + "c.mp3"}, "find?q=song&p=" + n))};
  });
  ScriptedHttpServer missing({{HttpReply("HTTP/1.0 404 Not Found", "", ListPage({"x.mp3"}))}});
  ScriptedHttpServer target(
      {{HttpReply("HTTP/1.0 200 OK", "", ListPage({"files/one.mp3", "/two.mp3"}))}});
  const std::string moved = "http://localhost:" + std::to_string(target.port()) + "/d/list.html";
  ScriptedHttpServer redirect(
      {{HttpReply("HTTP/1.0 302 Found", "Location: " + moved + "\r\n", "")}});
  ScriptedHttpServer good({{HttpReply("HTTP/1.0 200 OK", "", ListPage({"g1.mp3", "g2.mp3"}))}});

  engines_.Append(ListEngine("Endless", endless.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Reset", reset.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Chain", chain.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Missing", missing.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Moved", redirect.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Good", good.Url("/find?q=__QUERY__")));
  SearchSession session(document_, engines_, settings_, database_);
  session.home = home_.path();
  SearchRun run = RunWholeSearch(session);

  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.lastProgress.enginesFinished, 6);
  // The endless page is ended by the engine timeout (1 s) well before the test would hang.
  EXPECT_LT(run.took, std::chrono::seconds(15));
  std::map<std::string, int> counts = CountByEngine(document_);
  EXPECT_EQ(counts["Chain"], 7);
  EXPECT_EQ(chain.Connections(), 3);
  EXPECT_EQ(counts["Missing"], 0);
  EXPECT_EQ(counts["Reset"], 0);
  EXPECT_EQ(counts["Good"], 2);
  std::set<std::string> urls;
  for (const auto& entry : document_.entries) urls.insert(entry->url);
  const std::string movedBase = "http://localhost:" + std::to_string(target.port());
  EXPECT_TRUE(urls.count(movedBase + "/d/files/one.mp3"));
  EXPECT_TRUE(urls.count(movedBase + "/two.mp3"));
  EXPECT_TRUE(urls.count(good.Url("/g1.mp3")));
  ExpectPositionsInOrder(document_);
}

TEST_F(FaultSearchTest, PageThatLinksToItselfEndsWhenItsEntriesAreDuplicates) {
  ScriptedHttpServer loop(
      {{HttpReply("HTTP/1.0 200 OK", "", ListPage({"a.mp3", "b.mp3"}, "find?q=song"))}});
  ScriptedHttpServer cycle([&](int connection, const std::string&) {
    // Two pages that name each other as the next page.
    const bool first = connection % 2 == 0;
    return ScriptedReply{
        HttpReply("HTTP/1.0 200 OK", "", ListPage({"c.mp3"}, first ? "p2?q=song" : "find?q=song"))};
  });
  engines_.Append(ListEngine("Loop", loop.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Cycle", cycle.Url("/find?q=__QUERY__")));
  SetSearchChoices(document_, "song", kRemoveDuplicateUrls, kFilterNone, false);
  SearchSession session(document_, engines_, settings_, database_);
  SearchRun run = RunWholeSearch(session);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(loop.Connections(), 1);
  EXPECT_EQ(cycle.Connections(), 2);
  EXPECT_EQ(document_.entries.Count(), 3);
}

TEST_F(FaultSearchTest, NoMoreEnginesAtOnceThanConnections) {
  FaultServer slow(FaultServer::kSlowPage);
  for (int i = 0; i < 10; ++i) {
    engines_.Append(ListEngine("Slow " + std::to_string(i), slow.Url("/find?q=__QUERY__")));
  }
  engines_.Get(4)->enabled = 0;  // skipped without taking a slot
  settings_.maxConnections = 3;
  SearchSession session(document_, engines_, settings_, database_);
  SearchRun run = RunWholeSearch(session);
  EXPECT_EQ(slow.Served(), 9);
  EXPECT_EQ(slow.MostAtOnce(), 3);
  EXPECT_EQ(document_.entries.Count(), 9);
  EXPECT_EQ(run.lastProgress.enginesStarted, 9);
  // Three rounds of 100 ms at the least; a slot freed is taken by the next engine at once.
  EXPECT_GE(run.took, std::chrono::milliseconds(300));
}

TEST_F(FaultSearchTest, UpdateBeforeTheFirstSearchOnlyAndItsListIsSearched) {
  ScriptedHttpServer good({{HttpReply("HTTP/1.0 200 OK", "", ListPage({"new.mp3"}))}});
  ScriptedHttpServer missing({{HttpReply("HTTP/1.0 404 Not Found", "", "")}});
  EngineList fresh;
  fresh.Append(ListEngine("Kept", good.Url("/find?q=__QUERY__")));
  fresh.Append(ListEngine("Added", good.Url("/other?q=__QUERY__")));
  ASSERT_TRUE(WriteDatabase(home_.File("fresh.db"), fresh, 0));
  ScriptedHttpServer updates({{HttpReply("HTTP/1.0 200 OK", "", home_.Read("fresh.db"))}});
  setenv(kUpdateUrlVariable, updates.Url("/engines.db").c_str(), 1);
  detail::ResetUpdateCheck();

  engines_.Append(ListEngine("Kept", missing.Url("/find?q=__QUERY__")));
  settings_.enabledEngines.Add("Kept");
  SearchSession session(document_, engines_, settings_, database_);
  session.databasePath = home_.File("engines.db");
  std::vector<bool> updating;
  session.callbacks.updating = [&](bool checking) { updating.push_back(checking); };
  RunWholeSearch(session, {}, true);
  EXPECT_EQ(updating, (std::vector<bool>{true, false}));
  // The new list was searched: Kept at its new address, Added not yet chosen.
  ASSERT_EQ(engines_.Count(), 2);
  EXPECT_FALSE(engines_.Get(1)->enabled);
  ASSERT_EQ(document_.entries.Count(), 1);
  EXPECT_EQ(document_.entries.Get(0)->url, good.Url("/new.mp3"));
  EXPECT_EQ(missing.Connections(), 0);

  RunWholeSearch(session, {}, true);
  EXPECT_EQ(updates.Connections(), 1);
  EXPECT_EQ(document_.entries.Count(), 1);
  unsetenv(kUpdateUrlVariable);
  detail::ResetUpdateCheck();
}

TEST(CliUpdateTest, ReportsTheOutcomeAndAsksOncePerDueTime) {
  testkit::TempDir home;
  ScriptedHttpServer server({{"HTTP/1.0 304 Not Modified\r\n\r\n"}});
  auto cli = [&](const std::string& url, const std::string& arguments) {
    return RunCommand("SONDREL_UPDATE_URL=" + ShellQuote(url) + " " + std::string(SONDREL_CLI) +
                      " --home " + ShellQuote(home.path()) + " " + arguments);
  };
  testkit::CommandResult first = cli(server.Url("/engines.db"), "update");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "There is nothing new: the search engines are up to date.\n");
  EXPECT_TRUE(cli("", "config lastEngineUpdate").out.starts_with("lastEngineUpdate=20"));
  // Answered less than 5 hours ago: a later run does not ask again.
  EXPECT_EQ(cli(server.Url("/engines.db"), "update").status, 0);
  EXPECT_EQ(server.Connections(), 1);

  testkit::TempDir other;
  std::string refused;
  {
    ScriptedHttpServer gone({{""}});
    refused = gone.Url("/engines.db");
  }
  testkit::CommandResult failed =
      RunCommand("SONDREL_UPDATE_URL=" + ShellQuote(refused) + " " + std::string(SONDREL_CLI) +
                 " --home " + ShellQuote(other.path()) + " --quiet update");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find(refused), std::string::npos) << failed.err;
  EXPECT_EQ(failed.out, "");
}

}  // namespace
}  // namespace sondrel
