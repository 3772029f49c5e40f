// The main window driven through its own controls: start-up and shut-down, a search against the
// local music index, the commands on the entries, projects and exports.

#include "shell/main_window.h"
#include "shell/palette_icons.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <memory>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_texts.h"
#include "engines/engine_update.h"
#include "engines/search_driver.h"
#include "net/tls_options.h"
#include "engines/search_texts.h"
#include "results/export.h"
#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/row_commands.h"
#include "shell/application.h"
#include "shell/result_list.h"
#include "shell/search_report_view.h"
#include "shell/shell_texts.h"
#include "shell/startup_switches.h"
#include "shell/window_memory.h"
#include "shell/window_status.h"
#include "support/modal.h"
#include "support/paths.h"
#include "support/version.h"
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
    window_.reset();
    program_ = std::make_unique<Application>(home_.path(), mode);
    window_ = std::make_unique<MainWindow>(*program_);
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
    SearchDocument& document = program_->Document();
    for (const std::string& name : names) {
      InsertHandMadeEntry(document, document.entries.Count() - 1,
                          "http://example.test/" + name + ".mp3", name);
    }
    window_->Results().RefillResultList();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : program_->Document().entries) names.push_back(entry->name);
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
  std::unique_ptr<Application> program_;  // outlives the window
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ASettingsFileThatDoesNotReadIsKeptAsideAndTheUserToldWhere) {
  const std::string path = SettingsPath(home_.path());
  Settings written;
  SettingsDefaults(written, home_.path());
  written.maxConnections = 7;
  ASSERT_TRUE(WriteSettings(path, written));
  std::string whole;
  ASSERT_TRUE(FileReadAll(path, whole));
  const struct {
    const char* name;
    std::string bytes;
    const char* problem;
  } kCases[] = {
      {"foreign", "not a settings file\n", "is not a settings file"},
      {"broken off", whole.substr(0, whole.size() - 3), "breaks off"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(FileWriteAll(path, c.bytes), 0);
    QString told;
    WhenModalOpens([&told](QWidget* box) {
      told = guitest::MessageText(box);
      guitest::ClickButton(box, "OK");
    });
    Open();
    ASSERT_TRUE(WaitUntil([&] { return !told.isEmpty(); }));
    const std::string keptAs = program_->SettingsKeptAs();
    ASSERT_FALSE(keptAs.empty());
    EXPECT_TRUE(told.contains(c.problem)) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromStdString(path))) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromStdString("kept as " + keptAs))) << told.toStdString();
    std::string kept;
    ASSERT_TRUE(FileReadAll(keptAs, kept));
    EXPECT_EQ(kept, c.bytes);
    window_.reset();
    program_.reset();
    std::remove(keptAs.c_str());
  }
  // Once written again the file reads: the next start is silent.
  Settings reread;
  EXPECT_EQ(LoadSettingsFile(path, reread), SettingsFileState::kRead);
  Open();
  EXPECT_EQ(program_->SettingsState(), SettingsFileState::kRead);
  EXPECT_TRUE(program_->SettingsKeptAs().empty());
}

TEST_F(MainWindowTest, TheSettingsCaFileIsTrustedFromStartAndAfterPreferences) {
  Settings written;
  SettingsDefaults(written, home_.path());
  written.caFile = home_.File("private-ca.pem");
  ASSERT_TRUE(WriteSettings(SettingsPath(home_.path()), written));
  Open();
  EXPECT_EQ(DefaultTlsOptions(), (TlsOptions{home_.File("private-ca.pem"), false}));

  WhenModalOpens([](QWidget* dialog) {
    auto* field = dialog->findChild<QLineEdit*>("EdCaFile");
    ASSERT_NE(field, nullptr);
    field->setText("/etc/ssl/other-ca.pem");
    guitest::ClickButton(dialog, "&OK");
  });
  Action("Preferences1")->trigger();
  EXPECT_EQ(DefaultTlsOptions(), (TlsOptions{"/etc/ssl/other-ca.pem", false}));
  window_.reset();
  program_.reset();
  SetDefaultTlsOptions(TlsOptions{});
}

TEST_F(MainWindowTest, FirstStartShowsEverythingAndEnablesEveryEngine) {
  Open();
  // The first start fits the screen; Name and Engine keep their widths and URL takes the rest.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(window_->size(), FirstStartSize(screen));
  EXPECT_TRUE(screen.contains(window_->geometry()));
  ResultList& list = window_->Results();
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::vector<int> widths = list.ColumnWidths();
        return std::accumulate(widths.begin(), widths.end(), 0) == list.ColumnArea();
      },
      2000));
  for (const char* name : {"BB",     "SBNew",     "SBOpen",    "SBSave",   "BOptions",   "SBProc",
                           "SBView", "SBHelp",    "BitBtn1",   "BitBtn2",  "Panel1",     "PButton",
                           "BStart", "BStop",     "BNew",      "Image1",   "LBNEntries", "PanMain",
                           "PanBox", "TabSheet1", "TabSheet2", "CBQuery",  "CBMerge",    "PBanner",
                           "CBDup",  "CBFil",     "PBanner2",  "LVResult", "StatusBar1"}) {
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

  const EngineList& engines = program_->Engines();
  ASSERT_EQ(engines.Count(), 6);
  for (const auto& engine : engines) EXPECT_TRUE(engine->enabled) << engine->name;
  EXPECT_EQ(program_->CurrentSettings().enabledEngines.Count(), 6);

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
  EXPECT_TRUE(seen.contains(QString::fromStdString(empty.File("engines.db"))))
      << seen.toStdString();
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

TEST_F(MainWindowTest, HelpVersionAndAProjectOnTheCommandLine) {
  const struct {
    std::vector<std::string> args;
    bool help, version;
    std::string project, unknown;
  } kCases[] = {
      {{"rock.sdp"}, false, false, "rock.sdp", ""},
      {{"--help"}, true, false, "", ""},
      {{"-h", "rock.sdp"}, true, false, "rock.sdp", ""},
      {{"-V"}, false, true, "", ""},
      {{"--version"}, false, true, "", ""},
      {{"--", "-live.sdp"}, false, false, "-live.sdp", ""},
      {{"--", "--help"}, false, false, "--help", ""},
      {{"--bogus", "a.sdp"}, false, false, "a.sdp", "--bogus"},
      {{"-"}, false, false, "-", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args.front());
    const StartupSwitches switches = ParseStartupSwitches(c.args);
    EXPECT_EQ(switches.help, c.help);
    EXPECT_EQ(switches.version, c.version);
    EXPECT_EQ(switches.projectPath, c.project);
    EXPECT_EQ(switches.unknownOption, c.unknown);
    EXPECT_EQ(switches.searchMode, kSearchNormal);
  }

  // Help and version print on standard output and end without a window.
  for (const char* option : {"--help", "-V"}) {
    SCOPED_TRACE(option);
    std::string word = option;
    char program[] = "sondrel";
    char* argv[] = {program, word.data(), nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunApplication(2, argv), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, word == "--help" ? StartupUsageText() : StartupVersionText());
  }
  EXPECT_EQ(StartupVersionText(), "sondrel " + std::string(kProgramVersion) + "\n");
  EXPECT_NE(StartupUsageText().find("--version"), std::string::npos);
}

TEST_F(MainWindowTest, SearchThroughTheWindowThenVerification) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open();
  program_->CurrentSettings().removeInvalidAfterVerify = 0;
  AddEntries({"old"});  // merge is off: the search starts from an empty list
  Find<QComboBox>("CBQuery")->setEditText("rock");
  QTest::mouseClick(Find<QPushButton>("BStart"), Qt::LeftButton);
  EXPECT_TRUE(window_->Busy());
  EXPECT_TRUE(Find<QPushButton>("BStop")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("BStart")->isEnabled());
  EXPECT_FALSE(Action("Process1")->isEnabled());
  EXPECT_EQ(window_->windowTitle(), "Sondrel - rock.sdp");
  EXPECT_EQ(program_->CurrentProjectPath(), home_.File("rock.sdp"));

  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 60000));
  const SearchDocument& document = program_->Document();
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
  EXPECT_EQ(*program_->CurrentSettings().searchHistory.Get(0), "rock");
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
  EXPECT_GE(FileLengthOf(home_.File("search/" + program_->Engines().Get(0)->fileStem + "1.htm")),
            0);

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
  EXPECT_TRUE(program_->CurrentProjectPath().empty());
}

TEST_F(MainWindowTest, HeaderClicksSortAndASecondClickKeepsTheOrder) {
  Open();
  AddEntries({"c", "a", "b"});
  auto* header = window_->Results().findChild<QHeaderView*>();
  ASSERT_NE(header, nullptr);
  const QPoint name(header->sectionViewportPosition(0) + 10, header->height() / 2);
  EXPECT_FALSE(header->isSortIndicatorShown());
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  // The arrow marks the sorted column, from the menu too, until the rows change order.
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), kColumnName);
  Action("ByEngine1")->trigger();
  EXPECT_EQ(header->sortIndicatorSection(), kColumnEngine);
  window_->Results().RefillResultList();
  EXPECT_FALSE(header->isSortIndicatorShown());
  Action("ByName1")->trigger();
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
  const std::string expected = ClipboardTextOf(*program_->Document().entries.Get(0)) +
                               ClipboardTextOf(*program_->Document().entries.Get(2));
  rows.SetSelected(0, true);
  rows.SetSelected(2, true);
  Action("Copy1")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(Names().size(), 3u);

  QApplication::clipboard()->clear();
  Action("Cut1")->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(Names(), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(program_->Document().modified);

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
  EXPECT_FALSE(program_->Document().modified);

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
  EXPECT_EQ(program_->CurrentProjectPath(), path);
  // The current project is the most recent one: Reopen leaves it out and hides.
  EXPECT_FALSE(reopen->menuAction()->isVisible());

  // The next start reopens the last project once the window is shown.
  Restart();
  EXPECT_TRUE(WaitUntil([&] { return program_->CurrentProjectPath() == path; }, 5000));
  EXPECT_EQ(Names(), (std::vector<std::string>{"x", "y"}));
}

TEST_F(MainWindowTest, ClosingAModifiedDocumentAsksAndCancelKeepsTheWindow) {
  Open();
  AddEntries({"x"});
  program_->Document().modified = true;
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
  ASSERT_EQ(program_->CurrentProjectPath(), project);

  QString seen;
  AnswerNextMessage("OK", &seen);
  Action("TXT1")->trigger();
  EXPECT_EQ(seen.toStdString(), ExportDoneText(home_.File("list.txt")));
  AnswerNextMessage("OK", &seen);
  Action("CDF1")->trigger();
  EXPECT_EQ(seen.toStdString(), ExportDoneText(home_.File("list.cdf")));
  EXPECT_EQ(home_.Read("list.cdf"), CdfExportOf(program_->Document()));
  // No browser can start here: the HTML file is written and the failure shown.
  AnswerNextMessage("OK", &seen);
  Action("HTML1")->trigger();
  EXPECT_EQ(seen.toStdString(), texts::kBrowserFailed);
  EXPECT_EQ(home_.Read("list.htm"), HtmlExportOf(program_->Document()));
}

TEST_F(MainWindowTest, LaunchingStartsTheProgramOrReportsTheFailure) {
  Open();
  AddEntries({"a"});
  Settings& settings = program_->CurrentSettings();
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
  EXPECT_TRUE(seen.endsWith(
      QString::fromUtf8(shell_texts::kOnlineHelpUrl.data(), shell_texts::kOnlineHelpUrl.size())))
      << seen.toStdString();
}

TEST_F(MainWindowTest, VerifyChecksOnlyTheSelectedEntries) {
  Open();
  program_->CurrentSettings().removeInvalidAfterVerify = 0;
  SearchDocument& document = program_->Document();
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
  EXPECT_EQ(program_->Engines().Count(), 6);
}

TEST_F(MainWindowTest, HidingToolbarAndStatusBarSurvivesARestart) {
  Open();
  Action("ShowToolbar1")->trigger();
  Action("ShowStatusBar1")->trigger();
  EXPECT_TRUE(Find<QWidget>("BB")->isHidden());
  EXPECT_TRUE(window_->statusBar()->isHidden());
  // The next start also shows the about box first.
  program_->CurrentSettings().showAbout = 1;
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

TEST_F(MainWindowTest, GeometryColumnsAndReportPaneSurviveARestart) {
  Open();
  window_->resize(900, 700);
  window_->move(40, 30);
  ResultList& list = window_->Results();
  std::vector<int> widths = list.ColumnWidths();
  widths[kColumnName] = 310;
  widths[kColumnEngine] = 90;
  list.SetColumnWidths(widths);
  Action("ShowReport1")->trigger();
  ASSERT_TRUE(window_->Report().isVisible());
  QTest::qWait(50);
  const QRect geometry = window_->geometry();
  widths = list.ColumnWidths();

  Restart();
  EXPECT_EQ(window_->geometry().size(), geometry.size());
  EXPECT_EQ(window_->Results().ColumnWidths(), widths);
  EXPECT_TRUE(window_->Report().isVisible());
  EXPECT_TRUE(Action("ShowReport1")->isChecked());
  // The settings file is not where the window keeps its place.
  EXPECT_GE(FileLengthOf(WindowMemoryPath(home_.path())), 0);

  // A window file that does not read is a first start, not a failure.
  window_.reset();
  home_.Write(std::filesystem::path(WindowMemoryPath(home_.path())).filename().string(),
              "[list]\ncolumns=a, -5, 99999999\n");
  Open();
  EXPECT_EQ(window_->size(), FirstStartSize(QGuiApplication::primaryScreen()->availableGeometry()));
}

TEST_F(MainWindowTest, DesktopShortcutsBesideTheirOwnKeysAndNoneTwice) {
  Open();
  const struct {
    const char* action;
    QKeySequence key;
  } kKeys[] = {
      {"Save1", QKeySequence(Qt::Key_F2)},
      {"Save1", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"New1", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {"Exit1", QKeySequence(Qt::ALT | Qt::Key_F4)},
      {"Exit1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {"Find1", QKeySequence(Qt::CTRL | Qt::Key_F)},
      {"Verify1", QKeySequence(Qt::Key_F5)},
      {"Preferences1", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {"About1", QKeySequence(Qt::CTRL | Qt::Key_A)},
  };
  for (const auto& key : kKeys) {
    SCOPED_TRACE(key.action);
    EXPECT_TRUE(Action(key.action)->shortcuts().contains(key.key))
        << key.key.toString().toStdString();
  }
  std::map<QString, QString> owners;
  for (QAction* action : window_->findChildren<QAction*>()) {
    for (const QKeySequence& key : action->shortcuts()) {
      const auto [at, fresh] = owners.emplace(key.toString(), action->objectName());
      EXPECT_TRUE(fresh) << key.toString().toStdString() << ": " << at->second.toStdString()
                         << " and " << action->objectName().toStdString();
    }
  }

  // Ctrl+N reaches New through the window as a key press.
  AddEntries({"a"});
  program_->Document().modified = false;  // New asks nothing
  window_->activateWindow();
  QTest::keyClick(window_.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(Names().empty());
}

TEST_F(MainWindowTest, StatusAndTipFollowTheSearch) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open();
  program_->CurrentSettings().verifyAfterSearch = 0;
  auto* tip = Find<QLabel>("BannerTip");
  Find<QComboBox>("CBQuery")->setEditText("rock");
  Action("Process1")->trigger();
  ASSERT_TRUE(window_->Busy());
  EXPECT_EQ(window_->StatusText().toStdString(), SearchingStatus(0, 6, 0));
  EXPECT_EQ(tip->text().toStdString(), shell_texts::kTipSearching);

  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 60000));
  const int results = program_->Document().entries.Count();
  ASSERT_GT(results, 0);
  EXPECT_EQ(window_->StatusText().toStdString(),
            SearchDoneStatus(program_->LastReport(), results));
  EXPECT_NE(tip->text().toStdString(), shell_texts::kTipSearching);

  // Verification counts its way through the entries and says how it ended.
  program_->CurrentSettings().removeInvalidAfterVerify = 0;
  window_->Results().SetSelected(0, true);
  window_->Results().SetSelected(1, true);
  Action("Verify1")->trigger();
  ASSERT_TRUE(window_->Busy());
  EXPECT_EQ(window_->StatusText().toStdString(), VerifyingStatus(0, 2));
  EXPECT_EQ(tip->text().toStdString(), shell_texts::kTipVerifying);
  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 30000));
  EXPECT_EQ(window_->StatusText().toStdString(), VerifyDoneStatus(2, 0));
}

TEST_F(MainWindowTest, AProjectNamedOnTheCommandLineOpensInsteadOfTheLastOne) {
  Open();
  AddEntries({"kept", "too"});
  const std::string named = home_.File("named.sdp");
  ASSERT_TRUE(WriteDocument(named, program_->Document()));
  AddEntries({"last"});
  const std::string last = home_.File("last.sdp");
  ASSERT_TRUE(WriteDocument(last, program_->Document()));
  program_->CurrentSettings().lastProject = last;
  program_->Document().modified = false;

  window_.reset();
  program_ = std::make_unique<Application>(home_.path());
  window_ = std::make_unique<MainWindow>(*program_);
  window_->SetStartProject(named);
  window_->show();
  EXPECT_TRUE(WaitUntil([&] { return program_->CurrentProjectPath() == named; }, 5000));
  EXPECT_EQ(Names(), (std::vector<std::string>{"kept", "too"}));

  // A name that is not there says so and leaves the window empty.
  window_.reset();
  program_ = std::make_unique<Application>(home_.path());
  window_ = std::make_unique<MainWindow>(*program_);
  window_->SetStartProject(home_.File("missing.sdp"));
  QString seen;
  AnswerNextMessage("OK", &seen);
  window_->show();
  EXPECT_TRUE(WaitUntil([&] { return !seen.isEmpty(); }, 5000));
  EXPECT_TRUE(seen.endsWith(QString::fromStdString(home_.File("missing.sdp"))));
  EXPECT_TRUE(program_->CurrentProjectPath().empty());
  window_.reset();
  program_.reset();

  // The whole program, given the name relative to where it was started.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(home_.path());
  QString title;
  auto* watch = new QTimer(qApp);
  QElapsedTimer clock;
  clock.start();
  QObject::connect(watch, &QTimer::timeout, watch, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->objectName() != "FMain" || !top->isVisible()) continue;
      // Closed either way, so a failure cannot leave the event loop running.
      if (!top->windowTitle().endsWith("named.sdp") && clock.elapsed() < 10000) continue;
      title = top->windowTitle();
      watch->stop();
      watch->deleteLater();
      top->close();
    }
  });
  watch->start(20);
  char program[] = "sondrel";
  char argument[] = "named.sdp";
  char* argv[] = {program, argument, nullptr};
  EXPECT_EQ(RunApplication(2, argv), 0);
  std::filesystem::current_path(started);
  EXPECT_EQ(title.toStdString(), "Sondrel - named.sdp");
  Settings settings;
  ASSERT_TRUE(ReadSettings(SettingsPath(home_.path()), settings));
  EXPECT_EQ(settings.lastProject, named);
}

TEST_F(MainWindowTest, ToolbarIconsStandOutOnADarkPalette) {
  Open();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(45, 45, 45));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  window_->setPalette(dark);
  const QColor background = dark.color(QPalette::Window);
  for (const char* name :
       {"SBNew", "SBOpen", "SBSave", "BOptions", "SBProc", "SBView", "SBHelp", "Image1"}) {
    SCOPED_TRACE(name);
    const QImage image = std::string_view(name) == "Image1"
                             ? Find<QLabel>(name)->pixmap().toImage()
                             : Find<QToolButton>(name)->icon().pixmap(16, 16).toImage();
    ASSERT_FALSE(image.isNull());
    int visible = 0;
    int standingOut = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.alpha() < 128) continue;
        ++visible;
        standingOut += ContrastRatio(pixel, background) >= kIconContrast ? 1 : 0;
      }
    }
    ASSERT_GT(visible, 0);
    EXPECT_GE(standingOut * 10, visible * 9) << standingOut << " of " << visible;
  }
}

TEST_F(MainWindowTest, AFailedEngineIsNamedInTheStatusLineAndTheReport) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  // A seventh engine whose port nobody listens on.
  home_.Write("demo.def", DefinitionText() +
                              "\n[Closed Port]\nURL=http://127.0.0.1:1/\nFILE=closedport\n"
                              "ACTION=http://127.0.0.1:1/find?q=__QUERY__\n"
                              "FORMAT=<a href=\"__URL__\">__TITLE__</a>\n");
  ASSERT_EQ(CompileDefinitions(home_.File("demo.def"), home_.File("engines.db"), 0), CompileOk);
  Open();
  program_->CurrentSettings().verifyAfterSearch = 0;
  Find<QComboBox>("CBQuery")->setEditText("rock");
  Action("Process1")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 60000));
  EXPECT_EQ(window_->StatusText().toStdString(), "1 of 7 engines failed");

  SearchReportView& report = window_->Report();
  EXPECT_FALSE(report.isVisible());  // opened by the user
  Action("ShowReport1")->trigger();
  EXPECT_TRUE(report.isVisible());
  ASSERT_EQ(report.Table().rowCount(), 7);
  int failedRow = -1;
  for (int row = 0; row < 7; ++row) {
    if (report.Table().item(row, SearchReportView::kEngineColumn)->text() == "Closed Port") {
      failedRow = row;
    }
  }
  ASSERT_GE(failedRow, 0);
  EXPECT_EQ(report.Table().item(failedRow, SearchReportView::kOutcomeColumn)->text(), "failed");
  EXPECT_TRUE(
      report.Table().item(failedRow, SearchReportView::kReasonColumn)->text().contains("refused"))
      << report.Table().item(failedRow, SearchReportView::kReasonColumn)->text().toStdString();
  EXPECT_EQ(report.Summary().toStdString(), "7 engines: 6 done, 1 failed");

  // The verification after a search keeps the failure in sight.
  program_->CurrentSettings().verifyAfterSearch = 1;
  program_->CurrentSettings().removeInvalidAfterVerify = 0;
  Action("Process1")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 60000));
  EXPECT_EQ(window_->StatusText().toStdString(),
            "1 of 7 engines failed. " +
                VerifyDoneStatus(program_->Document().entries.Count(), 0));
}

TEST_F(MainWindowTest, StopEndsTheSearchAndNoVerificationFollows) {
  if (!g_index) GTEST_SKIP() << "the music index needs python3";
  Open();
  ASSERT_NE(program_->CurrentSettings().verifyAfterSearch, 0);
  Find<QComboBox>("CBQuery")->setEditText("rock");
  Action("Process1")->trigger();
  // Stopped once the first rows are in, while the search still runs.
  ASSERT_TRUE(WaitUntil([&] { return window_->Results().Model().rowCount() > 0; }, 30000));
  ASSERT_TRUE(window_->Busy());
  QTest::mouseClick(Find<QPushButton>("BStop"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !window_->Busy(); }, 10000));
  QTest::qWait(100);
  EXPECT_FALSE(window_->Busy());
  ASSERT_GT(program_->Document().entries.Count(), 0);
  for (const auto& entry : program_->Document().entries) {
    EXPECT_EQ(entry->status, kStatusNotVerified) << entry->url;
  }
}

TEST_F(MainWindowTest, ADamagedDatabaseShowsItsStopBoxWithTheReason) {
  home_.Write("engines.db", std::string("SondrelEngines2") + std::string(40, '\x7f'));
  QString seen;
  WhenModalOpens([&](QWidget* modal) {
    seen = guitest::MessageText(modal);
    guitest::ClickButton(modal, "OK");
  });
  program_ = std::make_unique<Application>(home_.path());
  ASSERT_TRUE(program_->DatabaseFailed());
  ASSERT_FALSE(program_->DatabaseProblem().empty());
  window_ = std::make_unique<MainWindow>(*program_);
  EXPECT_TRUE(window_->Fatal());
  EXPECT_TRUE(seen.contains(QString::fromStdString(home_.File("engines.db"))));
  EXPECT_TRUE(seen.endsWith(QString::fromStdString(program_->DatabaseProblem())))
      << seen.toStdString();
}

}  // namespace
}  // namespace sondrel
