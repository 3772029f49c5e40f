// The main window driven through its own controls: start-up and shut-down, a search against the
// local music index, the commands on the entries, projects and exports.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_texts.h"
#include "engines/engine_update.h"
#include "engines/search_driver.h"
#include "engines/search_texts.h"
#include "results/export.h"
#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/row_commands.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"
#include "shell/startup_switches.h"
#include "support/modal.h"
#include "support/paths.h"
#include "testkit/music_index.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using guitest::AnswerNextMessage;
using guitest::WaitUntil;
using guitest::WhenModalOpens;

testkit::MusicIndex* g_index = nullptr;
testkit::TempDir* g_sandbox = nullptr;

// No real browser, opener or update server may be reached from a test.
void IsolateEnvironment() {
  g_sandbox = new testkit::TempDir;
  const std::string empty = g_sandbox->path();
  setenv("PATH", (empty + "/bin").c_str(), 1);
  setenv("HOME", empty.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (empty + "/config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (empty + "/config-dirs").c_str(), 1);
  setenv("XDG_DATA_HOME", (empty + "/data").c_str(), 1);
  setenv("XDG_DATA_DIRS", (empty + "/data-dirs").c_str(), 1);
  unsetenv("BROWSER");
  setenv("SONDREL_UPDATE_URL", "http://127.0.0.1:1/engines.db", 1);
}

std::string DefinitionText() {
  if (g_index) return g_index->DefinitionText();
  std::string text;
  EXPECT_TRUE(FileReadAll(testkit::MusicIndexDefinitionTemplate(), text));
  return text;
}

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (testkit::MusicIndex::Installed()) {
      g_index = new testkit::MusicIndex;
      testkit::KeepIfStarted(g_index, [](auto& server) { return server.Start(false); });
    }
    IsolateEnvironment();
  }
  static void TearDownTestSuite() {
    delete g_index;
    g_index = nullptr;
    delete g_sandbox;
    g_sandbox = nullptr;
  }

  void SetUp() override {
    home_.Write("demo.def", DefinitionText());
    ASSERT_EQ(CompileDefinitions(home_.File("demo.def"), home_.File("engines.db"), 0), CompileOk);
    setenv("SONDREL_HOME", home_.path().c_str(), 1);
  }

  void Open(int mode = kSearchNormal) {
    window_ = std::make_unique<MainWindow>(home_.path(), mode);
    ASSERT_FALSE(window_->Fatal());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  // Shut-down writes the settings; a new window reads them as a new program run would.
  void Restart() {
    window_.reset();
    Open();
  }

  template <typename T>
  T* Find(const char* name) {
    T* child = window_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }

  // Hand-made entries, shown as rows.
  void AddEntries(const std::vector<std::string>& names) {
    SearchDocument& document = window_->Document();
    for (const std::string& name : names) {
      InsertHandMadeEntry(document, document.entries.Count() - 1,
                          "http://example.test/" + name + ".mp3", name);
    }
    window_->Results().RefillResultList();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : window_->Document().entries) names.push_back(entry->name);
    return names;
  }
  // Answers the next file dialog with path, typed into its name field: selectFile() leaves a
  // focused field alone and selects only what the dialog's folder model has read so far.
  void ChooseFile(const std::string& path) {
    WhenModalOpens([path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(path));
      static_cast<QDialog*>(dialog)->accept();
    });
  }

  testkit::TempDir home_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, FirstStartShowsEverythingAndEnablesEveryEngine) {
  Open();
  EXPECT_EQ(window_->size(), QSize(609, 453));
  for (const char* name :
       {"BB", "SBNew", "SBOpen", "SBSave", "BOptions", "SBProc", "SBView", "SBHelp", "BitBtn1",
        "BitBtn2", "Panel1", "PButton", "BStart", "BStop", "BNew", "Image1", "LBNEntries",
        "PanMain", "PanBox", "TabSheet1", "TabSheet2", "CBQuery", "CBMerge", "PBanner", "CBDup",
        "CBFil", "PBanner2", "LVResult", "StatusBar1"}) {
    EXPECT_NE(window_->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
  }
  EXPECT_FALSE(Find<QWidget>("BB")->isHidden());
  EXPECT_FALSE(window_->statusBar()->isHidden());
  EXPECT_TRUE(Action("ShowToolbar1")->isChecked());
  EXPECT_TRUE(Action("ShowStatusBar1")->isChecked());
  EXPECT_TRUE(Action("Details1")->isChecked());
  EXPECT_EQ(Find<QLabel>("StatusPanel0")->text(), "For Help press F1");
  EXPECT_EQ(Find<QToolButton>("SBSave")->toolTip(), "Save current project");
  EXPECT_EQ(Find<QPushButton>("BStart")->text(), "&Start Search");
  EXPECT_FALSE(Find<QPushButton>("BStop")->isEnabled());
  EXPECT_EQ(Find<QComboBox>("CBFil")->count(), 3);
  EXPECT_FALSE(Action("HelpOnHelp1")->isVisible());
  EXPECT_FALSE(Action("ViewBannerAds1")->isVisible());
  EXPECT_EQ(window_->windowTitle(), "Sondrel (no project)");
  // Without entries the Edit commands are off.
  EXPECT_FALSE(Action("Copy1")->isEnabled());
  EXPECT_FALSE(Action("AddEntry1")->isEnabled());

  const EngineList& engines = window_->Engines();
  ASSERT_EQ(engines.Count(), 6);
  for (const auto& engine : engines) EXPECT_TRUE(engine->enabled) << engine->name;
  EXPECT_EQ(window_->CurrentSettings().enabledEngines.Count(), 6);

  // Narrower than the design springs back.
  window_->resize(400, 453);
  EXPECT_TRUE(WaitUntil([&] { return window_->width() == 609; }, 2000));
}

TEST_F(MainWindowTest, AMissingDatabaseEndsTheProgramAfterTheErrorBox) {
  testkit::TempDir empty;
  setenv("SONDREL_HOME", empty.path().c_str(), 1);
  QString seen;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenModalOpens([&](QWidget* modal) {
    seen = guitest::MessageText(modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) icon = box->icon();
    guitest::ClickButton(modal, "OK");
  });
  char program[] = "sondrel";
  char* argv[] = {program, nullptr};
  EXPECT_EQ(RunApplication(1, argv), 0);
  EXPECT_TRUE(seen.contains(QString::fromStdString(empty.File("engines.db")))) << seen.toStdString();
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(MainWindowTest, EngineToolSwitches) {
  struct Case {
    std::vector<std::string> args;
    int mode;
    bool compile;
  };
  const std::string compile(kCompileSwitch);
  const Case cases[] = {
      {{}, kSearchNormal, false},
      {{std::string(kCaptureSwitch)}, kSearchCapture, false},
      {{std::string(kReplaySwitch)}, kSearchReplay, false},
      {{"x", std::string(kReplaySwitch)}, kSearchNormal, false},
      {{compile, "a.def", "b.db", "7"}, kSearchReplay, true},
      {{compile, "a.def", "b.db"}, kSearchNormal, false},  // too few arguments
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    const StartupSwitches switches = ParseStartupSwitches(c.args);
    EXPECT_EQ(switches.searchMode, c.mode);
    EXPECT_EQ(switches.compile, c.compile);
    if (c.compile) {
      EXPECT_EQ(switches.definitionText, "a.def");
      EXPECT_EQ(switches.databasePath, "b.db");
      EXPECT_EQ(switches.number, 7u);
    }
  }
}

TEST_F(MainWindowTest, SearchThroughTheWindowThenVerification) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open();
  window_->CurrentSettings().removeInvalidAfterVerify = 0;
  AddEntries({"old"});  // merge is off: the search starts from an empty list
  Find<QComboBox>("CBQuery")->setEditText("rock");
  QTest::mouseClick(Find<QPushButton>("BStart"), Qt::LeftButton);
  EXPECT_TRUE(window_->Busy());
  EXPECT_TRUE(Find<QPushButton>("BStop")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("BStart")->isEnabled());
  EXPECT_FALSE(Action("Process1")->isEnabled());
  EXPECT_EQ(window_->windowTitle(), "Sondrel - rock.sdp");
  EXPECT_EQ(window_->CurrentProjectPath(), home_.File("rock.sdp"));

  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 60000));
  const SearchDocument& document = window_->Document();
  ASSERT_GT(document.entries.Count(), 10);
  EXPECT_EQ(window_->Results().Model().rowCount(), document.entries.Count());
  EXPECT_EQ(Find<QLabel>("LBNEntries")->text().toStdString(),
            EntryCountText(document.entries.Count()));
  for (const auto& entry : document.entries) {
    EXPECT_NE(entry->name, "old");
    // Verification ran after the search and gave every entry its status.
    EXPECT_NE(entry->status, kStatusNotVerified) << entry->url;
  }
  EXPECT_FALSE(Find<QPushButton>("BStop")->isEnabled());
  EXPECT_TRUE(Find<QComboBox>("CBQuery")->isEnabled());
  EXPECT_TRUE(Action("Cut1")->isEnabled());
  EXPECT_TRUE(Find<QLabel>("StatusPanel1")->text().isEmpty());
  EXPECT_EQ(*window_->CurrentSettings().searchHistory.Get(0), "rock");
}

TEST_F(MainWindowTest, ShuttingDownDuringASearchStopsItAndKeepsTheSettings) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open();
  Find<QComboBox>("CBQuery")->setEditText("jazz");
  Action("Process1")->trigger();
  ASSERT_TRUE(window_->Busy());
  QElapsedTimer clock;
  clock.start();
  window_.reset();
  EXPECT_LT(clock.elapsed(), 10000);
  Settings settings;
  ASSERT_TRUE(ReadSettings(SettingsPath(home_.path()), settings));
  ASSERT_GT(settings.searchHistory.Count(), 0);
  EXPECT_EQ(*settings.searchHistory.Get(0), "jazz");
}

TEST_F(MainWindowTest, CapturedPagesAreSearchedAgainInReplayMode) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open(kSearchCapture);
  Find<QComboBox>("CBQuery")->setEditText("rock");
  Action("Process1")->trigger();
  // The test modes run on the interface thread: the search has ended when the command returns.
  EXPECT_FALSE(window_->Busy());
  const std::vector<std::string> captured = Names();
  ASSERT_FALSE(captured.empty());
  EXPECT_GE(FileLengthOf(home_.File("search/" + window_->Engines().Get(0)->fileStem + "1.htm")), 0);

  window_.reset();
  Open(kSearchReplay);
  Find<QComboBox>("CBQuery")->setEditText("rock");
  Action("Process1")->trigger();
  EXPECT_FALSE(window_->Busy());
  EXPECT_EQ(Names(), captured);
}

TEST_F(MainWindowTest, AnEmptyQueryIsRefusedAndTheListStays) {
  Open();
  AddEntries({"a", "b"});
  Find<QComboBox>("CBQuery")->setEditText("   ");
  QString seen;
  AnswerNextMessage("OK", &seen);
  QTest::mouseClick(Find<QPushButton>("BStart"), Qt::LeftButton);
  EXPECT_EQ(seen.toStdString(), kEmptyQueryText);
  EXPECT_FALSE(window_->Busy());
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(window_->CurrentProjectPath().empty());
}

TEST_F(MainWindowTest, HeaderClicksSortAndASecondClickKeepsTheOrder) {
  Open();
  AddEntries({"c", "a", "b"});
  auto* header = window_->Results().findChild<QHeaderView*>();
  ASSERT_NE(header, nullptr);
  const QPoint name(header->sectionViewportPosition(0) + 10, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(window_->Results().Model().data(window_->Results().Model().index(0, 0)).toString(),
            "a");
}

TEST_F(MainWindowTest, FindAndSelectMatching) {
  Open();
  AddEntries({"rock one", "jazz", "rock two"});
  QString seen;
  WhenModalOpens([&](QWidget* modal) {
    modal->findChild<QLineEdit*>("EdFind")->setText("rock");
    modal->findChild<QCheckBox*>("CBSelect")->setChecked(true);
    AnswerNextMessage("OK", &seen);
    guitest::AcceptModal(modal);
  });
  Action("Find1")->trigger();
  EXPECT_EQ(seen.toStdString(), FindCountText(2, "rock"));
  EXPECT_EQ(window_->Results().SelectedRows(), (std::vector<int>{0, 2}));

  // Find Again from the first match goes to the next one.
  window_->Results().SetFocused(0, true);
  Action("FindAgain1")->trigger();
  EXPECT_EQ(window_->Results().FocusedRow(), 2);
}

TEST_F(MainWindowTest, CopyCutAndDeleteWithTheClipboardText) {
  Open();
  AddEntries({"a", "b", "c"});
  ResultList& rows = window_->Results();
  const std::string expected = ClipboardTextOf(*window_->Document().entries.Get(0)) +
                               ClipboardTextOf(*window_->Document().entries.Get(2));
  rows.SetSelected(0, true);
  rows.SetSelected(2, true);
  Action("Copy1")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(Names().size(), 3u);

  QApplication::clipboard()->clear();
  Action("Cut1")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(Names(), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(window_->Document().modified);

  rows.SetFocused(0, true);
  Action("Delete1")->trigger();
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(Find<QLabel>("LBNEntries")->text().toStdString(), EntryCountText(0));
  EXPECT_FALSE(Action("Copy1")->isEnabled());
}

TEST_F(MainWindowTest, SaveThenOpenRestoresTheChoicesAndTheReopenList) {
  Open();
  AddEntries({"x", "y"});
  Find<QComboBox>("CBQuery")->setEditText("blue");
  Find<QCheckBox>("CBMerge")->setChecked(true);
  Find<QComboBox>("CBDup")->setCurrentIndex(0);
  Find<QComboBox>("CBFil")->setCurrentIndex(1);  // NAME must include query string
  const std::string path = home_.File("saved.sdp");
  ChooseFile(path);
  Action("Save1")->trigger();
  ASSERT_GE(FileLengthOf(path), 0);
  EXPECT_EQ(window_->windowTitle(), "Sondrel - saved.sdp");
  EXPECT_FALSE(window_->Document().modified);

  // New does not ask: the document was saved.
  Action("New1")->trigger();
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(window_->windowTitle(), "Sondrel (no project)");
  EXPECT_EQ(Find<QComboBox>("CBFil")->currentIndex(), 0);
  EXPECT_EQ(Find<QComboBox>("CBDup")->currentIndex(), 1);
  EXPECT_FALSE(Find<QCheckBox>("CBMerge")->isChecked());
  EXPECT_TRUE(Find<QComboBox>("CBQuery")->currentText().isEmpty());

  // The saved project is offered under Reopen, numbered from 0.
  QMenu* reopen = Find<QMenu>("Reopen1");
  ASSERT_EQ(reopen->actions().size(), 1);
  EXPECT_EQ(reopen->actions().front()->text().toStdString(), "&0 " + path);
  EXPECT_TRUE(reopen->menuAction()->isVisible());

  ChooseFile(path);
  Action("Open1")->trigger();
  EXPECT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Find<QComboBox>("CBQuery")->currentText(), "blue");
  EXPECT_TRUE(Find<QCheckBox>("CBMerge")->isChecked());
  EXPECT_EQ(Find<QComboBox>("CBDup")->currentIndex(), 0);
  EXPECT_EQ(Find<QComboBox>("CBFil")->currentIndex(), 1);
  EXPECT_EQ(window_->CurrentProjectPath(), path);
  // The current project is the most recent one: Reopen leaves it out and hides.
  EXPECT_FALSE(reopen->menuAction()->isVisible());

  // The next start reopens the last project once the window is shown.
  Restart();
  EXPECT_TRUE(WaitUntil([&] { return window_->CurrentProjectPath() == path; }, 5000));
  EXPECT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
}

TEST_F(MainWindowTest, ClosingAModifiedDocumentAsksAndCancelKeepsTheWindow) {
  Open();
  AddEntries({"x"});
  window_->Document().modified = true;
  AnswerNextMessage("Cancel");
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  AnswerNextMessage("No");
  EXPECT_TRUE(window_->close());
}

TEST_F(MainWindowTest, ExportsNeedAProjectPathAndReportWhatTheyWrote) {
  Open();
  AddEntries({"a \"quoted\" name"});
  const std::vector<std::string> before = home_.Names();
  // Without a project path nothing is written and nothing is shown.
  Action("HTML1")->trigger();
  Action("TXT1")->trigger();
  Action("CDF1")->trigger();
  EXPECT_EQ(home_.Names(), before);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  const std::string project = home_.File("list.sdp");
  ChooseFile(project);
  Action("SaveAs1")->trigger();
  ASSERT_EQ(window_->CurrentProjectPath(), project);

  QString seen;
  AnswerNextMessage("OK", &seen);
  Action("TXT1")->trigger();
  EXPECT_EQ(seen.toStdString(), ExportDoneText(home_.File("list.txt")));
  AnswerNextMessage("OK", &seen);
  Action("CDF1")->trigger();
  EXPECT_EQ(seen.toStdString(), ExportDoneText(home_.File("list.cdf")));
  EXPECT_EQ(home_.Read("list.cdf"), CdfExportOf(window_->Document()));
  // No browser can start here: the HTML file is written and the failure shown.
  AnswerNextMessage("OK", &seen);
  Action("HTML1")->trigger();
  EXPECT_EQ(seen.toStdString(), texts::kBrowserFailed);
  EXPECT_EQ(home_.Read("list.htm"), HtmlExportOf(window_->Document()));
}

TEST_F(MainWindowTest, LaunchingStartsTheProgramOrReportsTheFailure) {
  Open();
  AddEntries({"a"});
  Settings& settings = window_->CurrentSettings();
  settings.ftpClientPath.clear();
  settings.browserPath = "/bin/true";
  // No focused row: nothing happens.
  Action("OpenEntry1")->trigger();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  window_->Results().SetFocused(0, true);
  QString seen;
  AnswerNextMessage("OK", &seen);
  Action("OpenEntry1")->trigger();
  EXPECT_TRUE(seen.startsWith("The program could not be started")) << seen.toStdString();
  EXPECT_EQ(window_->Results().Model().RowIcon(0), 0);
  Action("OpenServer1")->trigger();
  EXPECT_EQ(window_->Results().Model().RowIcon(0), 1);

  // No opener and no browser here: the help button names the address it could not open.
  AnswerNextMessage("OK", &seen);
  QTest::mouseClick(Find<QToolButton>("SBHelp"), Qt::LeftButton);
  EXPECT_TRUE(seen.endsWith(QString::fromUtf8(shell_texts::kOnlineHelpUrl.data(),
                                               shell_texts::kOnlineHelpUrl.size())))
      << seen.toStdString();
}

TEST_F(MainWindowTest, VerifyChecksOnlyTheSelectedEntries) {
  Open();
  window_->CurrentSettings().removeInvalidAfterVerify = 0;
  SearchDocument& document = window_->Document();
  InsertHandMadeEntry(document, -1, "http://127.0.0.1:1/a.mp3", "a");
  InsertHandMadeEntry(document, 0, "http://127.0.0.1:1/b.mp3", "b");
  window_->Results().RefillResultList();
  window_->Results().SetSelected(1, true);
  Action("Verify1")->trigger();
  EXPECT_TRUE(window_->Busy());
  EXPECT_FALSE(Action("Cut1")->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 30000));
  EXPECT_EQ(document.entries.Get(0)->status, kStatusNotVerified);
  EXPECT_EQ(document.entries.Get(1)->status, kStatusInvalid);  // nothing listens on port 1
  EXPECT_TRUE(Find<QLabel>("StatusPanel1")->text().isEmpty());
  EXPECT_TRUE(Action("Cut1")->isEnabled());
}

TEST_F(MainWindowTest, UpdateEnginesReportsAFailedUpdate) {
  Open();
  // The progress window comes first; the answer goes to the message box after it.
  QString seen;
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    seen = box->text();
    guitest::ClickButton(box, "OK");
  });
  timer->start(10);
  Action("UpdateEngines1")->trigger();
  // The failure names the address and why.
  EXPECT_TRUE(seen.toStdString().starts_with(UpdateOutcomeText(kUpdateFailed)))
      << seen.toStdString();
  EXPECT_NE(seen.toStdString().find("http://127.0.0.1:1/engines.db"), std::string::npos);
  EXPECT_TRUE(Action("Process1")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("BStart")->isEnabled());
  EXPECT_EQ(window_->Engines().Count(), 6);
}

TEST_F(MainWindowTest, HidingToolbarAndStatusBarSurvivesARestart) {
  Open();
  Action("ShowToolbar1")->trigger();
  Action("ShowStatusBar1")->trigger();
  EXPECT_TRUE(Find<QWidget>("BB")->isHidden());
  EXPECT_TRUE(window_->statusBar()->isHidden());
  // The next start also shows the about box first.
  window_->CurrentSettings().showAbout = 1;
  QString about;
  WhenModalOpens([&](QWidget* modal) {
    if (auto* text = modal->findChild<QLabel*>("Id1")) about = text->text();
    guitest::AcceptModal(modal);
  });
  Restart();
  EXPECT_TRUE(WaitUntil([&] { return !about.isEmpty(); }, 5000));
  EXPECT_TRUE(about.startsWith("Sondrel")) << about.toStdString();
  EXPECT_TRUE(Find<QWidget>("BB")->isHidden());
  EXPECT_TRUE(window_->statusBar()->isHidden());
  EXPECT_FALSE(Action("ShowToolbar1")->isChecked());
  Action("ShowToolbar1")->trigger();
  EXPECT_FALSE(Find<QWidget>("BB")->isHidden());
}

}  // namespace
}  // namespace sondrel
