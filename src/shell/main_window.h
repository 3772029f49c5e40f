#pragma once
// TFMain: the program's main window. It shows the application's search document, carries every
// command and keeps the controls in step with the busy state while a search or a verification
// runs.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QKeySequence>
#include <QList>
#include <QMainWindow>

#include "engines/search_driver.h"
#include "shell/window_layout.h"
#include "shell/window_memory.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace sondrel {

class Application;
class Banner;
class MoveImageAnimation;
class ResultList;
class SearchReportView;

// Every command of the window, one action each: the menus, the pop-up menu and the shortcuts
// share them, so enabling one enables it everywhere.
struct WindowCommands {
  QAction* newProject = nullptr;
  QAction* openProject = nullptr;
  QAction* reopenProject = nullptr;  // the Reopen submenu
  QAction* saveProject = nullptr;
  QAction* saveProjectAs = nullptr;
  QAction* exportHtml = nullptr;
  QAction* exportText = nullptr;
  QAction* exportCdf = nullptr;
  QAction* startSearch = nullptr;
  QAction* updateEngines = nullptr;
  QAction* exit = nullptr;
  QAction* verify = nullptr;
  QAction* download = nullptr;
  QAction* openEntry = nullptr;
  QAction* openServer = nullptr;
  QAction* openDirectory = nullptr;
  QAction* viewEntry = nullptr;
  QAction* addEntry = nullptr;
  QAction* deleteInvalid = nullptr;
  QAction* cut = nullptr;
  QAction* copy = nullptr;
  QAction* deleteEntries = nullptr;
  QAction* find = nullptr;
  QAction* findAgain = nullptr;
  QAction* selectAll = nullptr;
  QAction* invertSelection = nullptr;
  QAction* preferences = nullptr;
  QAction* viewStyles[4] = {};      // by ViewStyle
  QAction* arrangeIcons = nullptr;  // the sorting submenu
  QAction* showToolbar = nullptr;
  QAction* showStatusBar = nullptr;
  QAction* showReport = nullptr;  // the search report pane
  QAction* helpIndex = nullptr;
  QAction* helpOnHelp = nullptr;
  QAction* onlineHelp = nullptr;
  QAction* programHomePage = nullptr;
  QAction* authorHomePage = nullptr;
  QAction* viewBannerAds = nullptr;
  QAction* about = nullptr;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Shows program, which must outlive the window.
  explicit MainWindow(Application& program, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The database or the banner could not be set up (the error box was shown): the program ends.
  bool Fatal() const { return fatal_; }
  bool Busy() const { return busy_; }
  Application& Program() { return program_; }
  ResultList& Results() { return *resultList_; }
  const WindowCommands& Commands() const { return commands_; }

  // Shut-down: stops the animation and the banner and shuts the application down. Runs once;
  // the destructor calls it when nobody did.
  void Shutdown();

  // Commands
  void NewProject();
  void OpenProject();
  void ReopenProject(const std::string& path);
  // A project named by the user outside the Open dialog; a missing file is reported.
  void OpenProjectFile(const std::string& path);
  bool SaveProject();
  bool SaveProjectAs();
  bool SaveQuery();
  void ExportHtmlCommand();
  void ExportTextCommand();
  void ExportCdfCommand();
  void StartSearchCommand();
  void StopCommand();
  void NewSearch();
  void UpdateEnginesCommand();
  void VerifyCommand();
  void DownloadCommand();
  void OpenEntryCommand(int what);  // 0 entry, 1 server, 2 directory
  void ViewEntryCommand();
  void AddEntryCommand();
  void DeleteInvalidCommand();
  void CutCommand();
  void CopyCommand();
  void DeleteCommand();
  void FindCommand();
  void FindAgainCommand();
  void SelectAllCommand();
  void InvertSelectionCommand();
  void PreferencesCommand();
  void SortCommand(int key);  // a SortKey
  void ShowToolbar(bool on);
  void ShowStatusBar(bool on);
  void SetViewStyle(int style);  // a ViewStyle
  void AboutCommand();
  void HelpIndexCommand();
  void OpenAddress(std::string_view address, bool withBrowser);
  void ShowReport(bool on);
  // The project named on the command line: opened on the first activation in place of the
  // last one.
  void SetStartProject(std::string path) { startProject_ = std::move(path); }

  SearchReportView& Report() { return *reportView_; }
  QString StatusText() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Building the window
  void BuildControls();
  void BuildToolbar();
  void BuildUpperPanel();
  void BuildButtonPanel();
  void BuildFindPage();
  void BuildFiltersPage();
  void BuildStatusBar();
  void BuildMenus();
  void BuildFileMenu(QMenuBar* bar);
  void BuildEditMenu(QMenuBar* bar);
  void BuildOptionsMenu(QMenuBar* bar);
  void BuildHelpMenu(QMenuBar* bar);
  // A menu item with its object name, caption and shortcuts that runs command.
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption,
                      const QList<QKeySequence>& shortcuts, std::function<void()> command);
  void BuildPopupMenu();
  void ConnectSearchSession();
  void RecordDesignSizes();
  void ShowStartData();
  void FirstActivation();
  // One box at start-up when the settings file did not read, naming where it was kept.
  void TellUnreadSettings();

  // State of the controls
  void SetBusy(bool on);
  void UpdateCommands();
  void UpdateCountLabel();
  void UpdateWindowCaption();
  void RebuildQueryList();
  void RebuildReopenMenu();
  void SetStatusText(std::string_view text);
  void SetVerifyText(const QString& text);
  void ApplyLayout();
  void SetToolbarIcons();

  // Where the window was and how its list was laid out
  void RestoreWindowMemory();
  void SaveWindowMemoryFile();
  // The URL column takes what the other columns leave of the list's width.
  void FillUrlColumn();
  // The URL column becomes width now and follows the window's width from there.
  void AnchorUrlColumn(int width);
  // Name and Engine fitted to what the search found, unless the user sized the columns.
  void FitColumnsToResults();

  // Projects
  void LoadDocumentIntoWindow(const std::string& path);
  bool SaveDocumentTo(const std::string& path);
  void ControlsToDocument();
  void DocumentToControls();
  std::string AskProjectPath(bool save);

  // Search and verification
  void SearchEnded();
  void ShowSearchProgress(const SearchProgress& progress);
  void StartVerification(bool all);
  void VerificationEnded(int removed);
  int FocusedEntry() const;  // -1 without a focused row

  Application& program_;
  bool fatal_ = false;
  bool firstActivation_ = true;
  bool busy_ = false;             // a search or a verification runs
  bool checkingUpdates_ = false;  // the search's engine update check runs
  bool updatingEngines_ = false;  // the Update Engines command runs
  bool shutDown_ = false;
  int layingOut_ = 0;

  DesignSizes design_;
  WindowMemory memory_;
  int pendingUrlWidth_ = -1;  // AnchorUrlColumn's width until the next layout
  int searchEngines_ = 0;     // enabled engines of the running search
  int verifyDone_ = 0;        // entries the running verification has checked
  int verifyTotal_ = 0;
  std::string verifyPrefix_;  // the search's outcome while the verification after it runs
  std::string startProject_;

  // Controls; their object names are the ones the user's documentation uses
  QWidget* toolbar_ = nullptr;
  QToolButton* newProjectButton_ = nullptr;
  QToolButton* openProjectButton_ = nullptr;
  QToolButton* saveProjectButton_ = nullptr;
  QToolButton* preferencesButton_ = nullptr;
  QToolButton* searchButton_ = nullptr;
  QToolButton* downloadButton_ = nullptr;
  QToolButton* helpButton_ = nullptr;
  QPushButton* newsLink_ = nullptr;
  QPushButton* freeMusicLink_ = nullptr;
  QWidget* upperPanel_ = nullptr;
  QWidget* searchPanel_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* newSearchButton_ = nullptr;
  QLabel* searchImage_ = nullptr;
  QLabel* entryCount_ = nullptr;
  QWidget* pagesPanel_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QWidget* findPage_ = nullptr;
  QWidget* filtersPage_ = nullptr;
  QLabel* queryLabel_ = nullptr;
  QComboBox* queryBox_ = nullptr;
  QCheckBox* mergeCheck_ = nullptr;
  QWidget* findBannerSlot_ = nullptr;
  QLabel* duplicatesLabel_ = nullptr;
  QComboBox* duplicatesBox_ = nullptr;
  QLabel* filterLabel_ = nullptr;
  QComboBox* filterBox_ = nullptr;
  QWidget* filtersBannerSlot_ = nullptr;
  Banner* banner_ = nullptr;
  QSplitter* listSplitter_ = nullptr;  // the result list over the report pane
  ResultList* resultList_ = nullptr;
  SearchReportView* reportView_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* verifyText_ = nullptr;
  MoveImageAnimation* animation_ = nullptr;

  WindowCommands commands_;
  QMenu* reopenMenu_ = nullptr;
  QMenu* resultMenu_ = nullptr;
};

}  // namespace sondrel
