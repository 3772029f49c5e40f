#pragma once
// TFMain: the program's main window. It owns the settings, the open search document, the engine
// list, the search session and the verification runs, carries every command and keeps the
// controls in step with the busy state while a search or a verification runs.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>

#include "engines/engine_database.h"
#include "engines/engine_definition.h"
#include "engines/search_driver.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "shell/window_layout.h"
#include "tasks/verification.h"
#include "tasks/worker_thread.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace sondrel {

class Banner;
class MoveImageAnimation;
class QtDispatcher;
class ResultList;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // home is the program home (database, settings, query-made projects); searchMode one of
  // SearchMode, set by the engine-tool switches.
  explicit MainWindow(std::string home, int searchMode = kSearchNormal,
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  // The database could not be loaded (the error box was shown): the program ends.
  bool Fatal() const { return fatal_; }
  bool Busy() const { return busy_; }
  const std::string& Home() const { return home_; }
  const std::string& CurrentProjectPath() const { return currentProjectPath_; }
  SearchDocument& Document() { return document_; }
  Settings& CurrentSettings() { return settings_; }
  EngineList& Engines() { return engines_; }
  ResultList& Results() { return *resultList_; }

  // Shut-down: stops the workers, closes the dispatcher, writes the settings. Runs once; the
  // destructor calls it when nobody did.
  void Shutdown();

  // Commands
  void NewProject();
  void OpenProject();
  void ReopenProject(const std::string& path);
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

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

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
  // A menu item with its object name, caption and shortcut that runs command.
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption,
                      const QKeySequence& shortcut, std::function<void()> command);
  void BuildPopupMenu();
  QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& shortcut);
  void RecordDesignSizes();
  void LoadStartData();
  void FirstActivation();

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

  // Projects
  void LoadDocumentIntoWindow(const std::string& path);
  bool SaveDocumentTo(const std::string& path);
  void ControlsToDocument();
  void DocumentToControls();
  std::string AskProjectPath(bool save);

  // Search and verification
  void SearchEnded();
  void StartVerification(bool all);
  void VerificationEnded(int removed);
  int FocusedEntry() const;  // -1 without a focused row

  std::string home_;
  bool fatal_ = false;
  bool firstActivation_ = true;
  bool busy_ = false;
  bool shutDown_ = false;
  int layingOut_ = 0;

  Settings settings_;
  SearchDocument document_;
  EngineList engines_;
  LoadedDatabase database_;
  std::string databasePath_;
  std::string currentProjectPath_;
  std::string findText_;
  bool selectMatching_ = false;

  std::shared_ptr<QtDispatcher> dispatcher_;
  std::unique_ptr<SearchSession> session_;
  // Each search and each verification gets a thread object of its own; an ended one is kept
  // until its thread has let go of it.
  std::vector<std::unique_ptr<WorkerThread>> searchThreads_;
  std::vector<std::unique_ptr<VerifyRun>> verifyRuns_;

  DesignSizes design_;

  // Controls, named as the user's documentation names them
  QWidget* bb_ = nullptr;
  QToolButton* sbNew_ = nullptr;
  QToolButton* sbOpen_ = nullptr;
  QToolButton* sbSave_ = nullptr;
  QToolButton* bOptions_ = nullptr;
  QToolButton* sbProc_ = nullptr;
  QToolButton* sbView_ = nullptr;
  QToolButton* sbHelp_ = nullptr;
  QPushButton* bitBtn1_ = nullptr;
  QPushButton* bitBtn2_ = nullptr;
  QWidget* panel1_ = nullptr;
  QWidget* pButton_ = nullptr;
  QPushButton* bStart_ = nullptr;
  QPushButton* bStop_ = nullptr;
  QPushButton* bNew_ = nullptr;
  QLabel* image1_ = nullptr;
  QLabel* lbnEntries_ = nullptr;
  QWidget* panMain_ = nullptr;
  QTabWidget* panBox_ = nullptr;
  QWidget* tabSheet1_ = nullptr;
  QWidget* tabSheet2_ = nullptr;
  QLabel* queryLabel_ = nullptr;
  QComboBox* cbQuery_ = nullptr;
  QCheckBox* cbMerge_ = nullptr;
  QWidget* pBanner_ = nullptr;
  QLabel* dupLabel_ = nullptr;
  QComboBox* cbDup_ = nullptr;
  QLabel* filLabel_ = nullptr;
  QComboBox* cbFil_ = nullptr;
  QWidget* pBanner2_ = nullptr;
  Banner* banner_ = nullptr;
  ResultList* resultList_ = nullptr;
  QLabel* statusPanel0_ = nullptr;
  QLabel* statusPanel1_ = nullptr;
  MoveImageAnimation* animation_ = nullptr;

  // Menu items by their object name
  std::map<std::string, QAction*> actions_;
  QMenu* reopenMenu_ = nullptr;
  QAction* reopenItem_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* entryMenu_ = nullptr;
  QMenu* popupLv_ = nullptr;
};

}  // namespace sondrel
