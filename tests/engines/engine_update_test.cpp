#include "engines/engine_update.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_texts.h"
#include "engines/engine_update_internal.h"
#include "engines/update_texts.h"
#include "net/socket_io.h"
#include "support/paths.h"
#include "testkit/scripted_http_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;

DateStamp Stamp(int day, int month, int year, int hour, int minute) {
  DateStamp d;
  d.day = static_cast<std::uint8_t>(day);
  d.month = static_cast<std::uint8_t>(month);
  d.year = static_cast<std::int16_t>(year);
  d.hour = static_cast<std::uint8_t>(hour);
  d.minute = static_cast<std::uint8_t>(minute);
  return d;
}

TEST(UpdateDueTest, MoreThanFiveWholeHours) {
  struct Case {
    const char* what;
    DateStamp last;
    DateStamp now;
    bool due;
  } cases[] = {
      {"never checked", DateStamp{}, Stamp(10, 3, 2026, 12, 0), true},
      {"5:59 earlier the same day", Stamp(10, 3, 2026, 6, 1), Stamp(10, 3, 2026, 12, 0), false},
      {"exactly 5 hours", Stamp(10, 3, 2026, 7, 0), Stamp(10, 3, 2026, 12, 0), false},
      {"6 hours earlier", Stamp(10, 3, 2026, 6, 0), Stamp(10, 3, 2026, 12, 0), true},
      {"over midnight, 4 hours", Stamp(9, 3, 2026, 22, 0), Stamp(10, 3, 2026, 2, 0), false},
      {"over midnight, 7 hours", Stamp(9, 3, 2026, 21, 0), Stamp(10, 3, 2026, 4, 0), true},
      {"a year ago", Stamp(10, 3, 2025, 12, 0), Stamp(10, 3, 2026, 12, 0), true},
      {"clock set back", Stamp(11, 3, 2026, 12, 0), Stamp(10, 3, 2026, 12, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(UpdateDue(c.last, c.now), c.due);
  }
}

std::unique_ptr<EngineDefinition> Engine(const std::string& name) {
  auto engine = std::make_unique<EngineDefinition>();
  engine->name = name;
  engine->homeUrl = "http://example.test/" + name + "/";
  engine->action = "http://example.test/" + name + "/find?q=__QUERY__";
  engine->format = "<a href=\"__URL__\">__TITLE__</a>";
  return engine;
}

// A database image with the named engines, as the compile mode writes it.
std::string DatabaseImage(const testkit::TempDir& dir, const std::vector<std::string>& names) {
  EngineList list;
  for (const std::string& name : names) (void)list.Append(Engine(name));
  const std::string path = dir.File("image.db");
  EXPECT_TRUE(WriteDatabase(path, list, 0));
  std::string image;
  EXPECT_TRUE(FileReadAll(path, image));
  return image;
}

std::vector<std::string> Names(const EngineList& list) {
  std::vector<std::string> names;
  for (const auto& engine : list) names.push_back(engine->name);
  return names;
}

std::vector<std::string> Names(const StringList& list) {
  std::vector<std::string> names;
  for (const auto& name : list) names.push_back(*name);
  return names;
}

// What happened to a check run while another thread raised the process-wide stop flag and, 300 ms
// later, the check's own cancel flag.
struct StoppedCheck {
  int result = 0;
  bool ranOnAfterForeignStop = false;  // the process-wide flag alone did not end it
  std::chrono::steady_clock::duration elapsed{};
};

StoppedCheck RunStoppedByOwnCancel(CancelFlag& cancel, const std::function<int()>& check) {
  std::atomic<bool> stillRunning{false};
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    SetStopFlag(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stillRunning = !done.load();
    cancel.Cancel();
  });
  StoppedCheck outcome;
  const auto start = std::chrono::steady_clock::now();
  outcome.result = check();
  outcome.elapsed = std::chrono::steady_clock::now() - start;
  done = true;
  stopper.join();
  SetStopFlag(false);
  outcome.ranOnAfterForeignStop = stillRunning.load();
  return outcome;
}

class EngineUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NetStartup();
    detail::ResetUpdateCheck();
    SetStopFlag(false);
    databasePath_ = dir_.File("engines.db");
    oldImage_ = DatabaseImage(dir_, {"Alpha", "Beta", "Gamma"});
    ASSERT_EQ(FileReplaceAll(databasePath_, oldImage_), 1);
    ASSERT_TRUE(LoadDatabase(databasePath_, engines_, database_));
    settings_.enabledEngines.Add("Alpha");
    settings_.enabledEngines.Add("Gamma");
    ApplyEnabledNames(engines_, settings_.enabledEngines);
  }
  void TearDown() override {
    unsetenv(kUpdateUrlVariable);
    detail::ResetUpdateCheck();
  }

  void Serve(std::vector<ScriptedReply> replies) {
    server_ = std::make_unique<ScriptedHttpServer>(std::move(replies));
    setenv(kUpdateUrlVariable, server_->Url("/engines.db").c_str(), 1);
  }

  int Check() {
    EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
    const int result = UpdateCheck(target, nullptr, StopFlagCancel);
    failure_ = target.failure;
    return result;
  }

  // Nothing of the engines we had has changed.
  void ExpectUnchanged() {
    std::string image;
    ASSERT_TRUE(FileReadAll(databasePath_, image));
    EXPECT_EQ(image, oldImage_);
    EXPECT_EQ(Names(engines_), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Names(settings_.enabledEngines), (std::vector<std::string>{"Alpha", "Gamma"}));
  }

  testkit::TempDir dir_;
  std::string databasePath_;
  std::string oldImage_;
  EngineList engines_;
  LoadedDatabase database_;
  Settings settings_;
  std::unique_ptr<ScriptedHttpServer> server_;
  NetFailure failure_;  // of the last Check()
};

TEST_F(EngineUpdateTest, NewDatabaseReplacesFileAndListAndKeepsChoices) {
  const std::string fresh = DatabaseImage(dir_, {"Gamma", "Delta", "Alpha"});
  Serve({{HttpReply("HTTP/1.0 200 OK", "Content-Type: application/octet-stream\r\n", fresh)}});
  EXPECT_EQ(Check(), kUpdateReceived);

  std::string image;
  ASSERT_TRUE(FileReadAll(databasePath_, image));
  EXPECT_EQ(image, fresh);
  EXPECT_EQ(Names(engines_), (std::vector<std::string>{"Gamma", "Delta", "Alpha"}));
  // Kept names keep their choice, the new engine starts disabled, Beta is gone.
  EXPECT_TRUE(engines_.Get(0)->enabled);
  EXPECT_FALSE(engines_.Get(1)->enabled);
  EXPECT_TRUE(engines_.Get(2)->enabled);
  EXPECT_EQ(Names(settings_.enabledEngines), (std::vector<std::string>{"Gamma", "Alpha"}));
  EXPECT_FALSE(settings_.lastEngineUpdate.IsEmpty());
  EXPECT_TRUE(UpdateCheckedThisRun());

  // The request asked with the date of the database we had.
  const std::vector<std::string> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].starts_with("GET /engines.db HTTP/1.1\r\n")) << requests[0];
  EXPECT_NE(requests[0].find("If-Modified-Since: "), std::string::npos) << requests[0];
}

TEST_F(EngineUpdateTest, NotModifiedCountsAsCheckedOnce) {
  Serve({{"HTTP/1.0 304 Not Modified\r\n\r\n"}});
  EXPECT_EQ(Check(), kUpdateNothing);
  EXPECT_FALSE(settings_.lastEngineUpdate.IsEmpty());
  EXPECT_FALSE(failure_);
  ExpectUnchanged();
  // A second search in the same run does not ask again.
  EXPECT_EQ(Check(), kUpdateNothing);
  EXPECT_EQ(server_->Connections(), 1);
}

// An error status or a redirect loop says nothing about a newer database: the check failed,
// says why, and stays due.
TEST_F(EngineUpdateTest, ErrorAnswersAreFailuresWithTheirReasonAndNotStamped) {
  struct Case {
    const char* what;
    std::string reply;
    const char* reason;
  } cases[] = {
      {"server error", HttpReply("HTTP/1.0 500 Internal Server Error", "", "oops"),
       "HTTP 500 Internal Server Error"},
      {"not found", HttpReply("HTTP/1.0 404 Not Found", "", "gone"), "HTTP 404 Not Found"},
      {"refused",
       HttpReply("HTTP/1.0 401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", "no"),
       "HTTP 401 Unauthorized"},
      {"redirect loop", "HTTP/1.0 302 Found\r\nLocation: /engines.db\r\n\r\n",
       "redirect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    detail::ResetUpdateCheck();
    settings_.lastEngineUpdate.Clear();
    Serve({{c.reply}});
    EXPECT_EQ(Check(), kUpdateFailed);
    EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
    EXPECT_FALSE(UpdateCheckedThisRun());
    const std::string text = UpdateFailureText(failure_);
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_NE(text.find("127.0.0.1"), std::string::npos) << text;
    ExpectUnchanged();
    // The next search asks again.
    const int asked = server_->Connections();
    EXPECT_EQ(Check(), kUpdateFailed);
    EXPECT_GT(server_->Connections(), asked);
  }
}

// Before a search the whole check has a deadline: a server that never answers holds the
// search up no longer than that, and the check stays due.
TEST_F(EngineUpdateTest, TheCheckBeforeASearchEndsAtItsDeadline) {
  Serve({{"", true}});
  EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(AutomaticUpdateCheck(target, StopFlagCancel, 1), kUpdateFailed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(target.failure.kind, FailureKind::kTimedOut);
  EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
  EXPECT_FALSE(UpdateCheckedThisRun());
  ExpectUnchanged();
}

// The search's own Stop ends the check before it at once; the process-wide flag does not.
TEST_F(EngineUpdateTest, TheCheckBeforeASearchStopsWithThatSearch) {
  Serve({{"", true}});
  EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
  CancelFlag cancel;
  const StoppedCheck stopped =
      RunStoppedByOwnCancel(cancel, [&] { return AutomaticUpdateCheck(target, cancel); });
  EXPECT_EQ(stopped.result, kUpdateFailed);
  EXPECT_TRUE(stopped.ranOnAfterForeignStop);
  EXPECT_LT(stopped.elapsed, std::chrono::seconds(5));
  EXPECT_EQ(target.failure.kind, FailureKind::kCancelled);
  EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
  EXPECT_FALSE(UpdateCheckedThisRun());
}

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A body that never ends fails once it passes the capacity, and a peer that trickles a byte
// at a time cannot stretch the check past its deadline; neither costs the waiting thread
// any CPU to speak of.
TEST_F(EngineUpdateTest, EndlessAndTrickledAnswersEndWithoutSpinning) {
  std::vector<std::string> trickle;
  for (int i = 0; i < 60; ++i) trickle.emplace_back(1, 'x');
  struct Case {
    const char* what;
    ScriptedReply reply;
    bool automatic;  // the check before a search (2 s deadline), else the update command
    FailureKind failure;
  } cases[] = {
      {"an endless body", {"HTTP/1.1 200 OK\r\n\r\n", false, {}, 0, std::string(4096, 'e')},
       false, FailureKind::kTooLarge},
      {"an endless body before a search",
       {"HTTP/1.1 200 OK\r\n\r\n", false, {}, 0, std::string(4096, 'e')}, true,
       FailureKind::kTooLarge},
      {"a trickled header", {"HTTP/1.1 200 OK\r\nX-Slow: ", false, trickle, 300}, true,
       FailureKind::kTimedOut},
      {"a trickled body",
       {"HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n", false, trickle, 300}, true,
       FailureKind::kTimedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    detail::ResetUpdateCheck();
    Serve({c.reply});
    EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
    const double cpu = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int result = c.automatic ? AutomaticUpdateCheck(target, StopFlagCancel, 2)
                                   : UpdateCheck(target, nullptr, StopFlagCancel);
    EXPECT_EQ(result, kUpdateFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_LT(ThreadCpuSeconds() - cpu, 0.5);
    EXPECT_EQ(FailureWord(target.failure.kind), FailureWord(c.failure));
    EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
    EXPECT_FALSE(UpdateCheckedThisRun());
    ExpectUnchanged();
  }
}

TEST_F(EngineUpdateTest, NotDueAsksNobody) {
  Serve({{"HTTP/1.0 304 Not Modified\r\n\r\n"}});
  settings_.lastEngineUpdate = DateStamp::CurrentLocal();
  EXPECT_EQ(Check(), kUpdateNothing);
  EXPECT_EQ(server_->Connections(), 0);
}

TEST_F(EngineUpdateTest, NoAnswerLeavesTheCheckDue) {
  {
    // A port that was just free: the connection is refused.
    ScriptedHttpServer gone({{""}});
    setenv(kUpdateUrlVariable, gone.Url("/engines.db").c_str(), 1);
  }
  EXPECT_EQ(Check(), kUpdateFailed);
  EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
  EXPECT_FALSE(UpdateCheckedThisRun());
  ExpectUnchanged();

  // The next search tries again.
  Serve({{"HTTP/1.0 304 Not Modified\r\n\r\n"}});
  EXPECT_EQ(Check(), kUpdateNothing);
  EXPECT_EQ(server_->Connections(), 1);
}

TEST_F(EngineUpdateTest, UnusableBodyKeepsTheDatabase) {
  const std::string fresh = DatabaseImage(dir_, {"Delta"});
  std::string badChecksum = fresh;
  badChecksum.back() = static_cast<char>(badChecksum.back() ^ 0x20);
  std::string badMagic = fresh;
  badMagic[0] = 'X';
  // Whole and with the right checksum, but it would read and write pages outside its folder.
  EngineList leaving;
  (void)leaving.Append(Engine("Delta"));
  leaving.Get(0)->fileStem = "../../outside";
  ASSERT_TRUE(WriteDatabase(dir_.File("leaving.db"), leaving, 0));
  std::string leavingImage;
  ASSERT_TRUE(FileReadAll(dir_.File("leaving.db"), leavingImage));
  struct Case {
    const char* what;
    std::string body;
  } cases[] = {
      {"wrong checksum", badChecksum},
      {"wrong magic", badMagic},
      {"magic and checksum field only", fresh.substr(0, kDatabaseMagic.size() + 4)},
      {"an HTML page", "<html><body>Maintenance</body></html>"},
      {"empty", ""},
      {"larger than the buffer", fresh + std::string(kUpdateBodyCapacity, 'x')},
      {"a FILE that leaves its folder", leavingImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    detail::ResetUpdateCheck();
    Serve({{HttpReply("HTTP/1.0 200 OK", "", c.body)}});
    EXPECT_EQ(Check(), kUpdateFailed);
    EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
    EXPECT_FALSE(UpdateCheckedThisRun());
    ExpectUnchanged();
    EXPECT_EQ(FileLengthOf(databasePath_ + std::string(kUpdateCandidateSuffix)), -1);
  }
  // The database that does not load is named as such, not as a file we could not write.
  EXPECT_EQ(failure_.kind, FailureKind::kProtocol);
  EXPECT_NE(failure_.detail.find("Delta"), std::string::npos) << failure_.detail;
}

TEST_F(EngineUpdateTest, FailedWriteKeepsOldFileAndList) {
  const std::string fresh = DatabaseImage(dir_, {"Delta", "Epsilon"});
  Serve({{HttpReply("HTTP/1.0 200 OK", "", fresh)}});
  // A file size limit below the new database makes its write fail part-way, as a full disk
  // would (and works even for root, unlike permissions).
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = fresh.size() / 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = Check();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(result, kUpdateFailed);
  EXPECT_FALSE(UpdateCheckedThisRun());
  EXPECT_TRUE(settings_.lastEngineUpdate.IsEmpty());
  ExpectUnchanged();
  ASSERT_TRUE(LoadDatabase(databasePath_, engines_, database_));
  EXPECT_EQ(Names(engines_), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
}

TEST_F(EngineUpdateTest, CommandReportsProgressAndStops) {
  const std::string fresh = DatabaseImage(dir_, {"Delta"});
  Serve({{HttpReply("HTTP/1.0 200 OK", "", fresh)}});
  std::vector<std::string> texts;
  UpdateCommandView view;
  view.status = [&](std::string_view text) { texts.emplace_back(text); };
  EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
  EXPECT_EQ(RunUpdateEngines(target, view), kUpdateReceived);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "Resolving");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Connecting"), texts.end());
  EXPECT_EQ(UpdateOutcomeText(kUpdateReceived), kUpdateDoneText);

  // Checked once in this run: the second use asks nobody.
  EXPECT_EQ(RunUpdateEngines(target, view), kUpdateNothing);
  EXPECT_EQ(server_->Connections(), 1);

  // A server that never answers: the command's Cancel ends it with a failure at once, while
  // a Stop meant for another operation does not touch it.
  detail::ResetUpdateCheck();
  settings_.lastEngineUpdate.Clear();
  Serve({{"", true}});
  CancelFlag cancel;
  view.cancel = &cancel;
  const StoppedCheck stopped =
      RunStoppedByOwnCancel(cancel, [&] { return RunUpdateEngines(target, view); });
  EXPECT_EQ(stopped.result, kUpdateFailed);
  EXPECT_TRUE(stopped.ranOnAfterForeignStop);
  EXPECT_LT(stopped.elapsed, std::chrono::seconds(10));
  EXPECT_FALSE(UpdateCheckedThisRun());
  EXPECT_EQ(target.failure.kind, FailureKind::kCancelled);
  SetStopFlag(false);
}

}  // namespace
}  // namespace sondrel
