#include "tasks/download.h"

#include <gtest/gtest.h>

#include <string>

#include "tasks/download_progress.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

TEST(DurationText, ClockFormatAndOverflow) {
  struct Case {
    std::int64_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "00:00:00"},
      {59, "00:00:59"},
      {4900, "01:21:40"},
      {-4900, "01:21:40"},  // the absolute value
      {99 * 3600 + 59 * 60 + 59, "99:59:59"},
      {100 * 3600, "99:99:99"},
      {INT64_MAX, "99:99:99"},
      {INT64_MIN, "99:99:99"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(DurationText(c.seconds), c.text);
  }
}

TEST(DownloadProgress, RateLineKilobytesAndDigit) {
  struct Case {
    std::int64_t transferred;
    std::int64_t elapsedMs;
    const char* line;
  };
  const Case cases[] = {
      {1536, 1000, "1536 bytes received (1.5 KB/s)"},
      {1100, 1000, "1100 bytes received (1.7 KB/s)"},  // 76 -> 7
      {999, 1000, "999 bytes received (999 bytes/s)"},
      {1000, 1000, "1000 bytes received (0.1 KB/s)"},  // 1000 mod 1024 has four digits
      {500, 0, "500 bytes received (0 bytes/s)"},      // no time yet
      {1024 * 1024 + 7, 1000, "1048583 bytes received (1024.7 KB/s)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    NetProgress progress;
    progress.state = kNetStateData;
    progress.transferred = c.transferred;
    progress.elapsedMs = c.elapsedMs;
    DownloadView view;
    ASSERT_TRUE(DescribeDownloadProgress(progress, view));
    EXPECT_EQ(view.stateLine, c.line);
    EXPECT_FALSE(view.remainingLine);  // total unknown
  }
}

TEST(DownloadProgress, RemainingTimeAndBarNeedEveryFigure) {
  NetProgress progress;
  progress.state = kNetStateData;
  progress.elapsedMs = 100000;
  progress.transferred = 1000000;
  progress.total = 50000000;
  DownloadView view;
  ASSERT_TRUE(DescribeDownloadProgress(progress, view));
  ASSERT_TRUE(view.remainingLine);
  EXPECT_EQ(*view.remainingLine, "Remaining time: 01:21:40");
  EXPECT_EQ(view.barPosition, 1000000);
  EXPECT_EQ(view.barMaximum, 50000000);

  // A resumed gigabytes-large file after a few milliseconds must not wrap.
  EXPECT_EQ(TransferRate(4'000'000'000'000LL, 3), 4'000'000'000'000LL * 1000 / 3);
  EXPECT_FALSE(RemainingSeconds(0, 10, 100));
  EXPECT_FALSE(RemainingSeconds(1000, 0, 100));
  EXPECT_FALSE(RemainingSeconds(1000, 10, -1));
  EXPECT_EQ(RemainingSeconds(500, 10, 100), 0);  // under a second: s is 0
}

TEST(DownloadProgress, StateLines) {
  NetProgress progress;
  progress.text = "files.example";
  DownloadView view;
  progress.state = kNetStateResolving;
  ASSERT_TRUE(DescribeDownloadProgress(progress, view));
  EXPECT_EQ(view.stateLine, "Resolving files.example...");
  progress.state = kNetStateConnected;
  progress.text = "127.0.0.1";
  progress.port = 8021;
  ASSERT_TRUE(DescribeDownloadProgress(progress, view));
  EXPECT_EQ(view.stateLine, "Connected to 127.0.0.1:8021");
  // A hostile name is cut, not overrun.
  progress.state = kNetStateResolving;
  progress.text = std::string(5000, 'h');
  ASSERT_TRUE(DescribeDownloadProgress(progress, view));
  EXPECT_LT(view.stateLine.size(), 600u);
  for (int state : {kNetStateNone, kNetStateSending, kNetStateWaiting, kNetStateReceived}) {
    progress.state = state;
    EXPECT_FALSE(DescribeDownloadProgress(progress, view)) << state;
  }
}

TEST(AskSaveFile, DecisionTable) {
  struct Case {
    const char* what;
    std::int64_t existing;  // -1: no file
    std::int64_t known;
    SaveAnswer overwrite;
    SaveAnswer resume;
    int choice;
    int questions;  // how many were asked
  };
  const Case cases[] = {
      {"no file", -1, 100, kAnswerYes, kAnswerYes, kSaveStart, 0},
      {"unknown size, file exists", 50, -1, kAnswerNo, kAnswerNo, kSaveStart, 0},
      {"larger than the file", 150, 100, kAnswerNo, kAnswerNo, kSaveStart, 0},
      {"same size, yes", 100, 100, kAnswerYes, kAnswerCancel, kSaveStart, 1},
      {"same size, no", 100, 100, kAnswerNo, kAnswerCancel, kSaveCancel, 1},
      {"smaller, yes resumes", 40, 100, kAnswerCancel, kAnswerYes, kSaveResume, 1},
      {"smaller, no restarts", 40, 100, kAnswerCancel, kAnswerNo, kSaveStart, 1},
      {"smaller, cancel", 40, 100, kAnswerCancel, kAnswerCancel, kSaveCancel, 1},
      {"empty file, known size", 0, 100, kAnswerCancel, kAnswerYes, kSaveResume, 1},
  };
  testkit::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.File("song.mp3");
    std::remove(path.c_str());
    if (c.existing >= 0) dir.Write("song.mp3", std::string(static_cast<std::size_t>(c.existing), 'x'));
    int asked = 0;
    SaveFileAsker asker;
    asker.choosePath = [](std::string&) { return true; };
    asker.askOverwrite = [&](const std::string& p) {
      EXPECT_EQ(p, path);
      ++asked;
      return c.overwrite;
    };
    asker.askResume = [&](const std::string& p) {
      EXPECT_EQ(p, path);
      ++asked;
      return c.resume;
    };
    EXPECT_EQ(AskSaveFile(path, c.known, asker), c.choice);
    EXPECT_EQ(asked, c.questions);
  }
}

TEST(AskSaveFile, ChosenPathIsJudgedAndCancelStopsEarly) {
  testkit::TempDir dir;
  dir.Write("other.mp3", std::string(100, 'x'));
  std::string path = dir.File("song.mp3");
  SaveFileAsker asker;
  asker.choosePath = [&](std::string& p) {
    p = dir.File("other.mp3");
    return true;
  };
  // The chosen file has the known size: without an answer the default is No.
  EXPECT_EQ(AskSaveFile(path, 100, asker), kSaveCancel);
  EXPECT_EQ(path, dir.File("other.mp3"));

  asker.choosePath = [](std::string&) { return false; };
  EXPECT_EQ(AskSaveFile(path, 100, asker), kSaveCancel);
}

TEST(DownloadUrl, OtherSchemesFetchNothing) {
  testkit::TempDir dir;
  DownloadConfig config;
  for (const char* url : {"HTTP://127.0.0.1:1/a.mp3", "gopher://127.0.0.1/a", "a.mp3", ""}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(DownloadUrl(url, dir.File("a.mp3"), false, config, nullptr, nullptr, nullptr),
              kDownloadFailed);
  }
  EXPECT_EQ(testkit::RunCommand("ls -A " + testkit::ShellQuote(dir.path())).out, "");
}

TEST(PrepareDownloadPath, CreatesTheDirectoryAndStaysInside) {
  testkit::TempDir dir;
  const std::string downloads = dir.File("downloads");
  std::string local;
  ASSERT_EQ(PrepareDownloadPath(local, "http://h/music/a%20b.mp3", downloads), 1);
  EXPECT_EQ(local, downloads + "/a b.mp3");
  EXPECT_EQ(testkit::RunCommand("test -d " + testkit::ShellQuote(downloads)).status, 0);
  ASSERT_EQ(PrepareDownloadPath(local, "http://h/x/..%2F..%2Fetc%2Fpasswd", downloads), 1);
  EXPECT_EQ(local.rfind(downloads + "/", 0), 0u);
  EXPECT_EQ(local.find('/', downloads.size() + 1), std::string::npos);
}

TEST(DownloadResultText, NamesTheOutcome) {
  EXPECT_NE(DownloadResultText(kDownloadDone, "http://h/a", "/d/a").find("/d/a"),
            std::string::npos);
  EXPECT_NE(DownloadResultText(kDownloadWriteFailed, "http://h/a", "/d/a").find("cannot write /d/a"),
            std::string::npos);
  EXPECT_NE(DownloadResultText(kDownloadNoConnection, "http://h/a", "/d/a").find("http://h/a"),
            std::string::npos);
  EXPECT_NE(DownloadResultText(kDownloadNotModified, "http://h/a", "/d/a").find("failed"),
            std::string::npos);
  EXPECT_LE(DownloadSourceLine(std::string(300, 'u')).size(), 6 + kDownloadLineWidth);
}

}  // namespace
}  // namespace sondrel
