#include "shell/download_window.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "net/net_progress.h"
#include "net/socket_io.h"
#include "net/tls_options.h"
#include "shell/qt_dispatcher.h"
#include "support/modal.h"
#include "support/paths.h"
#include "tasks/gui_dispatch.h"
#include "testkit/nginx_server.h"
#include "testkit/server_process.h"
#include "testkit/temp_dir.h"
#include "testkit/test_certificates.h"

namespace sondrel {
namespace {

using guitest::WaitUntil;
using guitest::WhenModalOpens;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

QDialog* ShownDownloadWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "TFDown") return qobject_cast<QDialog*>(widget);
  }
  return nullptr;
}

QString LabelText(QWidget* window, const char* name) {
  auto* label = window->findChild<QLabel*>(name);
  return label ? label->text() : QString();
}

// The box of a finished download: its text, after clicking button.
void AnswerFinishedBox(const QString& button, QString* outcome = nullptr, int timeoutMs = 5000) {
  WhenModalOpens([button, outcome](QWidget* box) {
    EXPECT_EQ(box->objectName(), "DownloadDone");
    if (outcome) *outcome = guitest::MessageText(box);
    guitest::ClickButton(box, button);
  }, timeoutMs);
}

class DownloadWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
    NetStartup();
    dispatcher_ = QtDispatcher::Create();
    InstallDispatcher(dispatcher_);
    ASSERT_TRUE(server_.Start()) << server_.error();
    ASSERT_TRUE(MakeDirectories(server_.Root() + "/slow"));
    ASSERT_GT(FileWriteAll(server_.Root() + "/song.mp3", song_), 0);
    ASSERT_GT(FileWriteAll(server_.Root() + "/slow/song.mp3", song_), 0);
    ASSERT_GT(FileWriteAll(server_.Root() + "/slow/long.mp3", RandomBytes(4 << 20, 2)), 0);
    settings_.downloadDirectory = dir_.File("downloads");
    settings_.timeoutSeconds = 60;
  }
  void TearDown() override {
    // The order of the application's shut-down.
    if (dispatcher_) dispatcher_->Close();
    CancelAllDownloads();
    RemoveDispatcher();
    NetShutdown();
  }

  ResultEntry Entry(const std::string& path, std::int32_t size) {
    ResultEntry entry = NewEntry();
    entry.url = server_.Url(path);
    entry.size = size;
    return entry;
  }
  std::string LocalFile(const std::string& name) { return settings_.downloadDirectory + "/" + name; }
  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_TRUE(FileReadAll(path, data)) << path;
    return data;
  }

  testkit::TempDir dir_;
  testkit::NginxServer server_{"location /slow/ { limit_rate 64k; }"};
  std::shared_ptr<QtDispatcher> dispatcher_;
  Settings settings_;
  const std::string song_ = RandomBytes(128 * 1024, 1);
};

TEST_F(DownloadWindowTest, DownloadsIntoTheDefaultDirectoryAndReportsTheEnd) {
  settings_.downloadDirectory.clear();
  // No save dialog: the file goes to the download directory under the address's name.
  ASSERT_TRUE(DownloadSelected(nullptr, Entry("/song.mp3", -1), settings_, dir_.path()));
  EXPECT_EQ(settings_.downloadDirectory, DefaultDownloadDirectory(dir_.path()));
  QPointer<QDialog> window = ShownDownloadWindow();
  ASSERT_TRUE(window);
  EXPECT_FALSE(window->isModal());
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);

  QString outcome;
  AnswerFinishedBox("Close", &outcome);
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_TRUE(outcome.startsWith("Download complete")) << outcome.toStdString();
  EXPECT_EQ(Read(LocalFile("song.mp3")), song_);
}

TEST_F(DownloadWindowTest, AFinishedFileOpensOrShowsItsFolderThroughTheDesktopOpener) {
  // An opener that notes what it was given, found on PATH as the desktop's would be.
  const std::string log = dir_.File("opened.txt");
  ASSERT_TRUE(MakeDirectories(dir_.File("bin")));
  dir_.Write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log + "'\n");
  ASSERT_EQ(chmod(dir_.File("bin/xdg-open").c_str(), 0755), 0);
  const std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (dir_.File("bin") + ":" + path).c_str(), 1);

  const struct {
    const char* button;
    std::string opened;
  } kCases[] = {
      {"Open", LocalFile("song.mp3")},
      {"Show in Folder", settings_.downloadDirectory},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.button);
    std::remove(log.c_str());
    std::remove(LocalFile("song.mp3").c_str());
    ASSERT_TRUE(DownloadSelected(nullptr, Entry("/song.mp3", -1), settings_, dir_.path()));
    QPointer<QDialog> window = ShownDownloadWindow();
    ASSERT_TRUE(window);
    AnswerFinishedBox(c.button);
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
    ASSERT_TRUE(WaitUntil([&] { return FileLengthOf(log) > 0; }, 5000));
    EXPECT_EQ(Read(log), c.opened + "\n");
  }
  setenv("PATH", path.c_str(), 1);
}

TEST_F(DownloadWindowTest, AnExistingFileIsResumedReplacedKeptBesideOrLeftAlone) {
  const std::size_t part = 50000;
  // Different bytes from the server's: a resumed file keeps them, a fresh one does not.
  const std::string mine = RandomBytes(song_.size(), 9);
  const std::int32_t size = static_cast<std::int32_t>(song_.size());
  struct Case {
    std::string existing;
    std::int32_t knownSize;
    std::string answer;
    QMessageBox::Icon icon;
    std::string defaultButton;
    bool offersResume;
    bool starts;
    std::string kept;    // song.mp3 afterwards
    std::string beside;  // "song (1).mp3" afterwards, empty for none
  } cases[] = {
      {mine.substr(0, part), size, "Resume", QMessageBox::Question, "Resume", true, true,
       mine.substr(0, part) + song_.substr(part), ""},
      {mine.substr(0, part), size, "Replace", QMessageBox::Question, "Resume", true, true, song_,
       ""},
      {mine.substr(0, part), size, "Cancel", QMessageBox::Question, "Resume", true, false,
       mine.substr(0, part), ""},
      {mine, size, "Keep Both", QMessageBox::Warning, "Cancel", false, true, mine, song_},
      {mine, size, "Cancel", QMessageBox::Warning, "Cancel", false, false, mine, ""},
      {mine, size, "Replace", QMessageBox::Warning, "Cancel", false, true, song_, ""},
      // The server's size unknown: continuing is the user's call.
      {mine.substr(0, part), -1, "Resume", QMessageBox::Warning, "Cancel", true, true,
       mine.substr(0, part) + song_.substr(part), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.existing.size()) + " bytes there, size " +
                 std::to_string(c.knownSize) + ", answer " + c.answer);
    ASSERT_TRUE(MakeDirectories(settings_.downloadDirectory));
    std::remove(LocalFile("song (1).mp3").c_str());
    ASSERT_GT(FileWriteAll(LocalFile("song.mp3"), c.existing), 0);
    QString question;
    WhenModalOpens([&c, &question](QWidget* box) {
      auto* message = qobject_cast<QMessageBox*>(box);
      ASSERT_NE(message, nullptr);
      question = message->text() + "\n" + message->informativeText();
      EXPECT_EQ(message->icon(), c.icon);
      ASSERT_NE(message->defaultButton(), nullptr);
      EXPECT_EQ(message->defaultButton()->text().remove('&').toStdString(), c.defaultButton);
      bool hasResume = false;
      for (QAbstractButton* button : message->buttons()) {
        hasResume = hasResume || button->text().remove('&') == "Resume";
      }
      EXPECT_EQ(hasResume, c.offersResume);
      guitest::ClickButton(box, QString::fromStdString(c.answer));
    });
    const bool started =
        DownloadSelected(nullptr, Entry("/song.mp3", c.knownSize), settings_, dir_.path());
    ASSERT_EQ(started, c.starts);
    EXPECT_TRUE(question.contains(QString::fromStdString(LocalFile("song.mp3"))))
        << question.toStdString();
    EXPECT_TRUE(question.contains("song (1).mp3")) << question.toStdString();
    if (started) {
      QPointer<QDialog> window = ShownDownloadWindow();
      ASSERT_TRUE(window);
      AnswerFinishedBox("Close");
      ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
    } else {
      EXPECT_EQ(ShownDownloadWindow(), nullptr);
    }
    EXPECT_EQ(Read(LocalFile("song.mp3")), c.kept);
    if (c.beside.empty()) {
      EXPECT_EQ(FileLengthOf(LocalFile("song (1).mp3")), -1);
    } else {
      EXPECT_EQ(Read(LocalFile("song (1).mp3")), c.beside);
    }
  }
}

TEST_F(DownloadWindowTest, APlantedLinkIsNeverOfferedForReplacing) {
  const std::string outside = dir_.File("outside.txt");
  dir_.Write("outside.txt", "mine");
  ASSERT_TRUE(MakeDirectories(settings_.downloadDirectory));
  ASSERT_EQ(symlink(outside.c_str(), LocalFile("song.mp3").c_str()), 0);
  QStringList buttons;
  WhenModalOpens([&buttons](QWidget* box) {
    for (QAbstractButton* button : qobject_cast<QMessageBox*>(box)->buttons()) {
      buttons << button->text().remove('&');
    }
    guitest::ClickButton(box, "Keep Both");
  });
  ASSERT_TRUE(DownloadSelected(nullptr, Entry("/song.mp3", -1), settings_, dir_.path()));
  QPointer<QDialog> window = ShownDownloadWindow();
  ASSERT_TRUE(window);
  AnswerFinishedBox("Close");
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"Cancel", "Keep Both"}));
  EXPECT_EQ(Read(outside), "mine");
  EXPECT_EQ(Read(LocalFile("song (1).mp3")), song_);
}

TEST_F(DownloadWindowTest, AFailedDownloadNamesWhyAndWhere) {
  testkit::TestCertificates certificates;
  ASSERT_TRUE(certificates.ok());
  testkit::NginxServer expired;
  expired.EnableTls(certificates.expired());
  ASSERT_TRUE(expired.Start()) << expired.error();
  const int closedPort = testkit::FreeLoopbackPort();
  const struct {
    std::string url;
    std::string caFile;  // trusted besides the system's store
    std::string reason;
  } kCases[] = {
      {server_.Url("/missing.mp3"), "", "127.0.0.1: HTTP 404 Not Found"},
      {"http://127.0.0.1:" + std::to_string(closedPort) + "/song.mp3", "", "connection refused"},
      {expired.TlsUrl("/song.mp3"), "", "127.0.0.1: TLS: unknown issuer"},
      {expired.TlsUrl("/song.mp3"), certificates.caFile(),
       "127.0.0.1: TLS: certificate has expired"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.url + " trusting " + c.caFile);
    SetDefaultTlsOptions(TlsOptions{c.caFile, false});
    ResultEntry entry = NewEntry();
    entry.url = c.url;
    entry.size = -1;
    QString outcome;
    WhenModalOpens([&outcome](QWidget* box) {
      outcome = guitest::MessageText(box);
      guitest::ClickButton(box, "OK");
    }, 20000);
    ASSERT_TRUE(DownloadSelected(nullptr, entry, settings_, dir_.path()));
    QPointer<QDialog> window = ShownDownloadWindow();
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 20000));
    EXPECT_TRUE(outcome.contains(QString::fromStdString(c.reason))) << outcome.toStdString();
  }
  SetDefaultTlsOptions(TlsOptions{});
}

TEST_F(DownloadWindowTest, ClosingTheWindowOrAnotherStopLeavesTheDownloadGoingOn) {
  ASSERT_TRUE(DownloadSelected(nullptr, Entry("/slow/song.mp3", -1), settings_, dir_.path()));
  QPointer<QDialog> window = ShownDownloadWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(WaitUntil([&] { return !LabelText(window, "Label2").isEmpty(); }));
  EXPECT_TRUE(LabelText(window, "Label1").startsWith("From: "));
  EXPECT_EQ(LabelText(window, "Label2"),
            QString::fromStdString("To: " + ShortenMiddle(LocalFile("song.mp3"), 35)));

  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  ASSERT_TRUE(window);
  // The window's Stop raises the process-wide flag for a verification: a download is not
  // that verification's.
  SetStopFlag(true);
  QString outcome;
  AnswerFinishedBox("Close", &outcome, 20000);
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 20000));
  SetStopFlag(false);
  EXPECT_TRUE(outcome.startsWith("Download complete")) << outcome.toStdString();
  EXPECT_EQ(Read(LocalFile("song.mp3")), song_);
}

TEST_F(DownloadWindowTest, CancelConfirmedStopsTheDownloadAndKeepsThePart) {
  ASSERT_TRUE(DownloadSelected(nullptr, Entry("/slow/long.mp3", -1), settings_, dir_.path()));
  QPointer<QDialog> window = ShownDownloadWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(WaitUntil([&] { return LabelText(window, "Label3").contains("received"); }));

  // Declining the question changes nothing.
  guitest::AnswerNextMessage("Cancel");
  window->findChild<QPushButton*>("BBCancel")->click();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());

  QString question;
  QString outcome;
  WhenModalOpens([&](QWidget* box) {
    question = guitest::MessageText(box);
    WhenModalOpens([&](QWidget* result) {
      outcome = guitest::MessageText(result);
      guitest::ClickButton(result, "OK");
    });
    guitest::ClickButton(box, "OK");
  });
  window->findChild<QPushButton*>("BBCancel")->click();
  ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }));
  EXPECT_EQ(question.toStdString(), "Cancel this download?");
  EXPECT_TRUE(outcome.contains("failed")) << outcome.toStdString();
  // The part keeps its own name until the whole file has arrived.
  EXPECT_EQ(FileLengthOf(LocalFile("long.mp3")), -1);
  const long kept = FileLengthOf(LocalFile("long.mp3") + ".part");
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 4 << 20);
}

}  // namespace
}  // namespace sondrel
