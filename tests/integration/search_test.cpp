// Whole searches: the six engines of the local music index, and scripted engines for the
// faults a real site seldom shows on demand.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engines/definition_text.h"
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
  // The engines the total ended, mid-page or mid-request, stopped at a limit; none failed.
  int atTotal = 0;
  for (const EngineReport& report : session_->report.engines) {
    SCOPED_TRACE(report.engine);
    EXPECT_NE(report.outcome, EngineOutcome::kFailed) << DescribeFailure(report.failure);
    atTotal += report.limit == "total results 13" ? 1 : 0;
  }
  EXPECT_GT(atTotal, 0);
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
  enum Mode { kEndlessPage, kReset, kSlowPage, kFloodPage, kTricklePage };
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
    } else if (mode_ == kFloodPage || mode_ == kTricklePage) {
      Pour(client);
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

  // A page that never ends: as fast as the client takes it, or a byte every 100 ms.
  void Pour(int client) {
    const std::string start =
        "HTTP/1.0 200 OK\r\n\r\n<ul><li><a href=\"/first.mp3\">First</a></li>";
    (void)::send(client, start.data(), start.size(), MSG_NOSIGNAL);
    std::string block;
    while (block.size() < 65536) block += "<li>filler</li>";
    while (!stop_) {
      if (mode_ == kTricklePage) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (::send(client, "x", 1, MSG_NOSIGNAL) != 1) break;
        continue;
      }
      pollfd p{client, POLLOUT, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      if (::send(client, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
          errno != EAGAIN) {
        break;
      }
    }
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

// Stop while the engine update is asked before the search ends that check at once, not at
// the check's own deadline.
TEST_F(FaultSearchTest, StopDuringTheUpdateCheckEndsItAtOnce) {
  ScriptedHttpServer silent({{"", true}});
  setenv(kUpdateUrlVariable, silent.Url("/engines.db").c_str(), 1);
  detail::ResetUpdateCheck();
  engines_.Append(ListEngine("Silent", silent.Url("/find?q=__QUERY__")));
  SearchSession session(document_, engines_, settings_, database_);
  session.databasePath = home_.File("engines.db");
  std::thread stopper([&session] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopSearch(session);
  });
  SearchRun run = RunWholeSearch(session, {}, true);
  stopper.join();
  EXPECT_LT(run.took, std::chrono::seconds(5));
  EXPECT_FALSE(UpdateCheckedThisRun());
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
  EXPECT_EQ(failed.status, 3);  // nothing answered
  EXPECT_NE(failed.err.find(refused), std::string::npos) << failed.err;
  EXPECT_EQ(failed.out, "");
}


// ---- the search report ----

struct ReportRow {
  std::string engine;
  EngineOutcome outcome;
  FailureKind failure;
  int httpStatus;
};

const EngineReport* ReportOf(const SearchSession& session, const std::string& engine) {
  for (const EngineReport& report : session.report.engines) {
    if (report.engine == engine) return &report;
  }
  return nullptr;
}

void ExpectReport(const SearchSession& session, const std::vector<ReportRow>& rows) {
  ASSERT_EQ(session.report.engines.size(), rows.size());
  for (const ReportRow& row : rows) {
    SCOPED_TRACE(row.engine);
    const EngineReport* report = ReportOf(session, row.engine);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(OutcomeWord(report->outcome), OutcomeWord(row.outcome));
    EXPECT_EQ(FailureWord(report->failure.kind), FailureWord(row.failure))
        << DescribeFailure(report->failure);
    EXPECT_EQ(report->httpStatus, row.httpStatus);
  }
}

TEST_F(FaultSearchTest, ReportSaysWhyEachEngineEnded) {
  FaultServer flood(FaultServer::kFloodPage);
  FaultServer trickle(FaultServer::kTricklePage);
  ScriptedHttpServer good({{HttpReply("HTTP/1.0 200 OK", "", ListPage({"g1.mp3", "g2.mp3"}))}});
  ScriptedHttpServer missing({{HttpReply("HTTP/1.0 404 Not Found", "", ListPage({"x.mp3"}))}});
  ScriptedHttpServer busy(
      {{HttpReply("HTTP/1.0 429 Too Many Requests", "Retry-After: 120\r\n", "slow down")}});
  ScriptedHttpServer unavailable({{HttpReply("HTTP/1.0 503 Service Unavailable",
                                             "Retry-After: Fri, 31 Dec 2060 23:59:59 GMT\r\n", "")}});
  ScriptedHttpServer silent({{"", true}});
  // Plain HTTP where the engine expects TLS: the handshake fails.
  FaultServer plain(FaultServer::kSlowPage);
  ScriptedHttpServer huge({{HttpReply("HTTP/1.0 200 OK", "",
                                      ListPage({"h.mp3"}) + std::string(50u << 20, ' '))}});
  std::string refused;
  {
    ScriptedHttpServer gone({{""}});
    refused = gone.Url("/find?q=__QUERY__");
  }
  engines_.Append(ListEngine("Good", good.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Missing", missing.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Busy", busy.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Unavailable", unavailable.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Silent", silent.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Refused", refused));
  engines_.Append(ListEngine("Huge", huge.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Flood", flood.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Trickle", trickle.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Keyed", good.Url("/find?q=__QUERY__&key=__KEY__")));
  engines_.Append(ListEngine(
      "Tls", "https" + plain.Url("/find?q=__QUERY__").substr(4)));
  settings_.maxConnections = 11;
  SearchSession session(document_, engines_, settings_, database_);
  session.home = home_.path();
  // The trickle outlasts the deadline; the flood reaches the size cap well before it.
  session.pageDeadlineSeconds = 5;
  const std::time_t before = std::time(nullptr);
  SearchRun run = RunWholeSearch(session);
  EXPECT_TRUE(run.finished);
  EXPECT_LT(run.took, std::chrono::seconds(20));

  using O = EngineOutcome;
  using F = FailureKind;
  ExpectReport(session, {{"Good", O::kDone, F::kNone, 200},
                         {"Missing", O::kFailed, F::kHttpStatus, 404},
                         {"Busy", O::kFailed, F::kRateLimited, 429},
                         {"Unavailable", O::kFailed, F::kRateLimited, 503},
                         {"Silent", O::kFailed, F::kTimedOut, 0},
                         {"Refused", O::kFailed, F::kRefused, 0},
                         {"Huge", O::kFailed, F::kTooLarge, 200},
                         {"Flood", O::kFailed, F::kTooLarge, 200},
                         {"Trickle", O::kFailed, F::kTimedOut, 200},
                         {"Keyed", O::kSkipped, F::kKeyMissing, 0},
                         {"Tls", O::kFailed, F::kTls, 0}});
  EXPECT_FALSE(session.report.NothingAnswered());
  EXPECT_EQ(session.report.FailedCount(), 9);
  const EngineReport& goodReport = *ReportOf(session, "Good");
  EXPECT_EQ(goodReport.pages, 1);
  EXPECT_EQ(goodReport.matched, 2);
  EXPECT_EQ(goodReport.kept, 2);
  EXPECT_EQ(ReportOf(session, "Missing")->failure.reason, "Not Found");
  // What a page brought before it was cut stays; the cap holds it near 8 MiB.
  std::map<std::string, int> counts = CountByEngine(document_);
  EXPECT_EQ(counts["Huge"], 1);
  EXPECT_EQ(counts["Flood"], 1);
  for (const char* cut : {"Huge", "Flood"}) {
    SCOPED_TRACE(cut);
    EXPECT_GE(ReportOf(session, cut)->bytes, kMaxSearchPageBytes);
    EXPECT_LT(ReportOf(session, cut)->bytes, kMaxSearchPageBytes + 2 * kSlotPageSize);
  }
  // The key placeholder without a key sent nothing: Good's one request is all there was.
  EXPECT_EQ(good.Connections(), 1);
  // A day at the most, however far the server's date lies.
  EXPECT_NEAR(ReportOf(session, "Busy")->retryAfter, before + 120, 5);
  EXPECT_NEAR(ReportOf(session, "Unavailable")->retryAfter, before + kMaxRetryAfterSeconds, 5);

  // The pauses outlive the search: the next one (a new session, as after a restart) skips
  // both engines without asking them.
  SearchSession again(document_, engines_, settings_, database_);
  again.home = home_.path();
  again.pageDeadlineSeconds = 5;
  RunWholeSearch(again);
  for (const char* paused : {"Busy", "Unavailable"}) {
    SCOPED_TRACE(paused);
    EXPECT_EQ(ReportOf(again, paused)->outcome, EngineOutcome::kSkipped);
    EXPECT_EQ(ReportOf(again, paused)->failure.kind, FailureKind::kRateLimited);
  }
  EXPECT_EQ(busy.Connections(), 1);
  EXPECT_EQ(unavailable.Connections(), 1);
  EXPECT_NE(home_.Read("engine-pauses").find("\tBusy\n"), std::string::npos);
}

TEST_F(FaultSearchTest, StopIsReportedAndReachesNoOtherOperation) {
  ScriptedHttpServer silent({{"", true}});
  engines_.Append(ListEngine("Silent", silent.Url("/find?q=__QUERY__")));
  engines_.Append(ListEngine("Later", silent.Url("/later?q=__QUERY__")));
  settings_.maxConnections = 1;
  settings_.timeoutSeconds = 30;
  SearchSession session(document_, engines_, settings_, database_);
  std::thread stopper([&session] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopSearch(session);
  });
  SearchRun run = RunWholeSearch(session);
  stopper.join();
  EXPECT_LT(run.took, std::chrono::seconds(5));
  ExpectReport(session, {{"Silent", EngineOutcome::kStopped, FailureKind::kNone, 0},
                         {"Later", EngineOutcome::kStopped, FailureKind::kNone, 0}});
  EXPECT_FALSE(StopRequested());  // the search's own flag, not the process-wide one
}

// ---- engines that answer with JSON APIs ----

// A JSON search API with counter paging, and a file list per item one request further.
class ApiSearchTest : public FaultSearchTest {
 protected:
  void SetUp() override {
    FaultSearchTest::SetUp();
    server_ = std::make_unique<ScriptedHttpServer>(
        [this](int, const std::string& request) { return Answer(request); });
    SetEngineKey(settings_, "Api", "s3cret");
  }

  ScriptedReply Answer(const std::string& request) {
    const std::string line = request.substr(0, request.find('\r'));
    const auto json = [](const std::string& body) {
      return ScriptedReply{HttpReply("HTTP/1.0 200 OK", "Content-Type: application/json\r\n", body)};
    };
    if (line.find("/search?q=song&page=1&key=s3cret ") != std::string::npos) {
      return json(R"({"docs":[{"identifier":"tape 1"},{"identifier":"t2"}]})");
    }
    if (line.find("/search?q=song&page=2&key=s3cret ") != std::string::npos) {
      return json(R"({"docs":[{"identifier":"t3"}]})");
    }
    if (line.find("/search?") != std::string::npos) return json(R"({"docs":[]})");
    if (line.find("GET /metadata/tape%201 ") == 0) {
      return json(R"({"files":[{"name":"a b.mp3","title":"A \"live\" set"},)"
                  R"({"name":"notes.txt","title":"n"},{"name":"caf\u00e9.mp3","title":""}]})");
    }
    if (line.find("GET /metadata/t3 ") == 0) {
      return json(R"({"files":[{"name":"dir\/c.mp3","title":"broken \ud83c end"}]})");
    }
    return ScriptedReply{HttpReply("HTTP/1.0 404 Not Found", "", "")};
  }

  // The engine's definition text, compiled and loaded as the program does.
  void AddEngine(const std::string& extraLines = {}) {
    std::string text =
        "[Api]\nURL=@/\nFILE=api\nDECODE=json\nHEADER=Accept: application/json\n"
        "HEADER=User-Agent: probe/1\nHEADER=X-Api-Key: __KEY__\n"
        "ACTION=@/search?q=__QUERY__&page=__COUNTER__&key=__KEY__\nCOUNTER=1,1\n"
        "MORE=@/search?q=__QUERY__&page=__COUNTER__&key=__KEY__\nSF1=\"docs\":[\n"
        "FORMAT={\"identifier\":\"__ID__\"}\nFOLLOW=/metadata/__ID__\nFOLLOWSF1=\"files\":[\n"
        "FOLLOWFORMAT={\"name\":\"__URL__\",\"title\":\"__TITLE__\"}\n"
        "FOLLOWURL=e=mp3 path pre=\"@/download/__ID__/\"\n" +
        extraLines;
    const std::string base = "http://127.0.0.1:" + std::to_string(server_->port());
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
      text.replace(at, 1, base);
    }
    home_.Write("api.def", text);
    DefinitionProblems problems;
    ASSERT_EQ(CompileDefinitions(home_.File("api.def"), home_.File("api.db"), 0, &problems),
              CompileOk);
    EXPECT_TRUE(problems.warnings.empty()) << problems.warnings.front();
    ASSERT_TRUE(LoadDatabase(home_.File("api.db"), engines_, database_));
    SetAllEnabled(engines_, true);
  }

  std::vector<std::pair<std::string, std::string>> Results() const {
    std::vector<std::pair<std::string, std::string>> results;
    for (const auto& entry : document_.entries) results.emplace_back(entry->name, entry->url);
    return results;
  }

  std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_->port()); }

  std::unique_ptr<ScriptedHttpServer> server_;
};

TEST_F(ApiSearchTest, PagesByCounterAndTakesResultsFromEachItemsFollowUp) {
  AddEngine();
  SearchSession session(document_, engines_, settings_, database_);
  session.home = home_.path();
  RunWholeSearch(session);
  const std::string download = Base() + "/download/";
  EXPECT_EQ(Results(), (std::vector<std::pair<std::string, std::string>>{
                           {"A \"live\" set", download + "tape%201/a%20b.mp3"},
                           {"caf\xC3\xA9.mp3", download + "tape%201/caf%C3%A9.mp3"},
                           {"broken \xEF\xBF\xBD end", download + "t3/dir/c.mp3"}}));
  ExpectReport(session, {{"Api", EngineOutcome::kDone, FailureKind::kNone, 200}});
  const EngineReport& report = session.report.engines[0];
  EXPECT_EQ(report.pages, 5);  // three result pages, two follow-ups (t2's is missing)
  EXPECT_EQ(report.followUps, 3);
  EXPECT_EQ(report.followUpsFailed, 1);
  EXPECT_EQ(report.matched, 4);
  EXPECT_EQ(report.refusedByRules, 1);  // notes.txt
  EXPECT_EQ(report.kept, 3);
  // Every request carries the engine's headers, with the key filled in.
  const std::vector<std::string> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 6u);
  for (const std::string& request : requests) {
    SCOPED_TRACE(request.substr(0, request.find('\r')));
    EXPECT_NE(request.find("\r\nAccept: application/json\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nUser-Agent: probe/1\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nX-Api-Key: s3cret\r\n"), std::string::npos);
  }
}

TEST_F(ApiSearchTest, LimitsEndTheEngineWithTheirName) {
  struct Case {
    std::string lines;
    std::string limit;
    int followUps;
    int kept;
  };
  const Case cases[] = {
      {"FOLLOWMAX=1\n", "FOLLOWMAX 1", 1, 2},
      {"PAGES=1\n", "PAGES 1", 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    engines_.Clear();
    document_.entries.Clear();
    AddEngine(c.lines);
    SearchSession session(document_, engines_, settings_, database_);
    RunWholeSearch(session);
    ASSERT_EQ(session.report.engines.size(), 1u);
    const EngineReport& report = session.report.engines[0];
    EXPECT_EQ(report.outcome, EngineOutcome::kStoppedAtLimit);
    EXPECT_EQ(report.limit, c.limit);
    EXPECT_EQ(report.followUps, c.followUps);
    EXPECT_EQ(report.kept, c.kept);
  }
}

TEST_F(ApiSearchTest, CaptureKeepsTheKeyOutOfItsFilesAndReplayNeedsNoNetwork) {
  AddEngine();
  SearchSession capture(document_, engines_, settings_, database_);
  capture.home = home_.path();
  capture.mode = kSearchCapture;
  ASSERT_TRUE(PrepareSearch(capture));
  RunTestSearch(capture);
  const auto captured = Results();
  ASSERT_EQ(captured.size(), 3u);
  for (const char* name : {"api1.htm", "api1-1.htm", "api2.htm", "api2-1.htm", "api3.htm"}) {
    SCOPED_TRACE(name);
    const std::string page = home_.Read(std::string("search/") + name);
    EXPECT_FALSE(page.empty());
    EXPECT_EQ(page.find("s3cret"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(home_.File("search/api1-2.htm")));  // t2's 404
  EXPECT_NE(home_.Read("search/api1.htm").find("key=__KEY__ -->"), std::string::npos);

  // A FILE that would leave the folder (an engine not loaded from a database) reads nothing,
  // not even a page that lies there.
  home_.Write("api1.htm", home_.Read("search/api1.htm"));
  engines_.Get(0)->fileStem = "../api";
  document_.entries.Clear();
  SearchSession outside(document_, engines_, settings_, database_);
  outside.home = home_.path();
  outside.mode = kSearchReplay;
  ASSERT_TRUE(PrepareSearch(outside));
  RunTestSearch(outside);
  EXPECT_EQ(document_.entries.Count(), 0);
  EXPECT_EQ(outside.report.engines[0].failure.kind, FailureKind::kLocalFile);
  engines_.Get(0)->fileStem = "api";

  server_.reset();
  SetEngineKey(settings_, "Api", "");  // replay sends nothing, so it needs no key
  document_.entries.Clear();
  SearchSession replay(document_, engines_, settings_, database_);
  replay.home = home_.path();
  replay.mode = kSearchReplay;
  ASSERT_TRUE(PrepareSearch(replay));
  RunTestSearch(replay);
  EXPECT_EQ(Results(), captured);
  EXPECT_EQ(replay.report.engines[0].followUpsFailed, 1);
}

TEST_F(FaultSearchTest, HugeItemListsAndLoopingCountersEndWithAClearOutcome) {
  std::string items = R"({"docs":[)";
  for (int i = 0; i < 100000; ++i) items += R"({"id":")" + std::to_string(i) + R"("},)";
  items += "{}]}";
  ScriptedHttpServer list([&](int, const std::string& request) {
    if (request.starts_with("GET /s?")) return ScriptedReply{HttpReply("HTTP/1.0 200 OK", "", items)};
    return ScriptedReply{HttpReply("HTTP/1.0 404 Not Found", "", "")};
  });
  // Every page number gets the same page.
  ScriptedHttpServer same({{HttpReply("HTTP/1.0 200 OK", "", ListPage({"a.mp3", "b.mp3"}))}});
  const std::string text =
      "[Items]\nDECODE=json\nACTION=" + list.Url("/s?q=__QUERY__") + "\nFORMAT={\"id\":\"__ID__\"}\n"
      "FOLLOW=/item/__ID__\nFOLLOWFORMAT=\"__URL__\"\nFOLLOWMAX=5\n"
      "[Same]\nACTION=" + same.Url("/find?q=__QUERY__&p=__COUNTER__") + "\nCOUNTER=1,1\n"
      "FORMAT=<li><a href=\"__URL__\">__TITLE__</a></li>\nMORE=find?q=__QUERY__&p=__COUNTER__\n";
  ReadDefinitions(text, engines_);
  SetAllEnabled(engines_, true);
  SetSearchChoices(document_, "song", kRemoveDuplicateUrls, kFilterNone, false);
  SearchSession session(document_, engines_, settings_, database_);
  SearchRun run = RunWholeSearch(session);
  EXPECT_LT(run.took, std::chrono::seconds(20));
  ExpectReport(session, {{"Items", EngineOutcome::kStoppedAtLimit, FailureKind::kNone, 200},
                         {"Same", EngineOutcome::kStoppedAtLimit, FailureKind::kNone, 200}});
  EXPECT_EQ(ReportOf(session, "Items")->limit, "FOLLOWMAX 5");
  EXPECT_EQ(ReportOf(session, "Items")->followUpsFailed, 5);
  EXPECT_EQ(list.Connections(), 6);
  EXPECT_EQ(ReportOf(session, "Same")->limit, "page 2 brought only results the engine had before");
  EXPECT_EQ(same.Connections(), 2);
  EXPECT_EQ(ReportOf(session, "Same")->duplicates, 2);
}

TEST(CliCompileTest, RefusesTextsWithoutEnginesAndNamesTheLine) {
  testkit::TempDir dir;
  dir.Write("warn.def", "[a]\nURL=http://h/\nFORMATT=x\n");
  struct Case {
    std::string text;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"/etc/passwd", 1, "/etc/passwd:1: malformed line"},
      {dir.File("warn.def"), 0, "warn.def:3: unknown key FORMATT (warning)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    testkit::CommandResult result = RunCommand(std::string(SONDREL_CLI) + " compile " +
                                               ShellQuote(c.text) + " " +
                                               ShellQuote(dir.File("x.db")) + " 0");
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  }
}

TEST(CliDatabaseTest, AForeignOrDamagedDatabaseIsReportedByName) {
  testkit::TempDir home;
  home.Write("garbage.db", "not a database at all");
  home.Write("one.def", "[One]\nACTION=http://127.0.0.1:1/?q=__QUERY__\n");
  ASSERT_EQ(CompileDefinitions(home.File("one.def"), home.File("cut.db"), 0), CompileOk);
  const std::string compiled = home.Read("cut.db");
  home.Write("cut.db", compiled.substr(0, compiled.size() - 2));
  for (const char* name : {"garbage.db", "cut.db"}) {
    SCOPED_TRACE(name);
    testkit::CommandResult result =
        RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home.path()) +
                   " search rock --no-save --no-verify --db " + ShellQuote(home.File(name)));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(home.File(name) + ": "), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace sondrel
