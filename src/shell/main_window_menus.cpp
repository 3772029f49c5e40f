// The main menu and the result list's pop-up menu: every command with its caption, shortcut
// and object name.

#include <functional>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "results/sorting.h"
#include "shell/application.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/result_list.h"
#include "shell/search_report_view.h"
#include "shell/shell_texts.h"

namespace sondrel {

QAction* MainWindow::AddCommand(QMenu* menu, const char* name, const char* caption,
                                const QList<QKeySequence>& shortcuts,
                                std::function<void()> command) {
  auto* action = new QAction(QString::fromUtf8(caption), this);
  action->setObjectName(name);
  action->setShortcuts(shortcuts);
  menu->addAction(action);
  connect(action, &QAction::triggered, this, std::move(command));
  return action;
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  BuildFileMenu(bar);
  BuildEditMenu(bar);
  BuildOptionsMenu(bar);
  BuildHelpMenu(bar);
}

void MainWindow::BuildFileMenu(QMenuBar* bar) {
  QMenu* file = bar->addMenu(DisplayText(shell_texts::kMenuFile));
  file->setObjectName("File1");
  commands_.newProject = AddCommand(file, "New1", "&New", {QKeySequence(Qt::CTRL | Qt::Key_N)},
                                    [this] { NewProject(); });
  commands_.openProject =
      AddCommand(file, "Open1", "&Open...", {QKeySequence(Qt::Key_F3)}, [this] { OpenProject(); });
  reopenMenu_ = file->addMenu(DisplayText(shell_texts::kMenuReopen));
  reopenMenu_->setObjectName("Reopen1");
  commands_.reopenProject = reopenMenu_->menuAction();
  commands_.reopenProject->setObjectName("Reopen1");
  commands_.saveProject = AddCommand(file, "Save1", "&Save",
                                     {QKeySequence(Qt::Key_F2), QKeySequence(Qt::CTRL | Qt::Key_S)},
                                     [this] { (void)SaveProject(); });
  commands_.saveProjectAs =
      AddCommand(file, "SaveAs1", "Save &As...", {}, [this] { (void)SaveProjectAs(); });
  QMenu* exportMenu = file->addMenu(DisplayText(shell_texts::kMenuExport));
  exportMenu->setObjectName("Export1");
  commands_.exportHtml =
      AddCommand(exportMenu, "HTML1", "&HTML", {}, [this] { ExportHtmlCommand(); });
  commands_.exportText =
      AddCommand(exportMenu, "TXT1", "&TXT (Normal Listing)", {}, [this] { ExportTextCommand(); });
  commands_.exportCdf = AddCommand(exportMenu, "CDF1", "&CDF (Comma Delimited Format)", {},
                                   [this] { ExportCdfCommand(); });
  file->addSeparator();
  commands_.startSearch = AddCommand(file, "Process1", "Start &Search", {QKeySequence(Qt::Key_F4)},
                                     [this] { StartSearchCommand(); });
  commands_.updateEngines = AddCommand(file, "UpdateEngines1", "&Update Engines...", {},
                                       [this] { UpdateEnginesCommand(); });
  file->addSeparator();
  commands_.exit =
      AddCommand(file, "Exit1", "E&xit",
                 {QKeySequence(Qt::ALT | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 [this] { close(); });
}

void MainWindow::BuildEditMenu(QMenuBar* bar) {
  QMenu* edit = bar->addMenu(DisplayText(shell_texts::kMenuEdit));
  edit->setObjectName("Edit1");
  commands_.verify = AddCommand(edit, "Verify1", "&Verify Result(s)", {QKeySequence(Qt::Key_F5)},
                                [this] { VerifyCommand(); });
  commands_.download = AddCommand(edit, "Download1", "&Download File", {QKeySequence(Qt::Key_F6)},
                                  [this] { DownloadCommand(); });
  QMenu* entry = edit->addMenu(DisplayText(shell_texts::kMenuEntry));
  entry->setObjectName("Entry1");
  commands_.openEntry =
      AddCommand(entry, "OpenEntry1", "Open &Entry", {QKeySequence(Qt::SHIFT | Qt::Key_F6)},
                 [this] { OpenEntryCommand(0); });
  commands_.openServer = AddCommand(entry, "OpenServer1", "Open &Server",
                                    {QKeySequence(Qt::Key_F7)}, [this] { OpenEntryCommand(1); });
  commands_.openDirectory = AddCommand(entry, "OpenDirectory1", "Open &Directory",
                                       {QKeySequence(Qt::Key_F8)}, [this] { OpenEntryCommand(2); });
  commands_.viewEntry = AddCommand(entry, "ViewEntry1", "&View Entry", {QKeySequence(Qt::Key_F9)},
                                   [this] { ViewEntryCommand(); });
  commands_.addEntry = AddCommand(entry, "AddEntry1", "&Add Entry", {QKeySequence(Qt::Key_Insert)},
                                  [this] { AddEntryCommand(); });
  commands_.deleteInvalid = AddCommand(entry, "DeleteInvalid1", "Delete &Invalid Entries", {},
                                       [this] { DeleteInvalidCommand(); });
  edit->addSeparator();
  commands_.cut = AddCommand(edit, "Cut1", "Cu&t", {QKeySequence(Qt::CTRL | Qt::Key_X)},
                             [this] { CutCommand(); });
  commands_.copy = AddCommand(edit, "Copy1", "&Copy", {QKeySequence(Qt::CTRL | Qt::Key_C)},
                              [this] { CopyCommand(); });
  commands_.deleteEntries =
      AddCommand(edit, "Delete1", "De&lete", {QKeySequence(Qt::CTRL | Qt::Key_Delete)},
                 [this] { DeleteCommand(); });
  edit->addSeparator();
  commands_.find = AddCommand(edit, "Find1", "&Find...", {QKeySequence(Qt::CTRL | Qt::Key_F)},
                              [this] { FindCommand(); });
  commands_.findAgain =
      AddCommand(edit, "FindAgain1", "Find &Again", {QKeySequence(Qt::CTRL | Qt::Key_G)},
                 [this] { FindAgainCommand(); });
  edit->addSeparator();
  commands_.selectAll =
      AddCommand(edit, "SelectAll1", "Select A&ll", {}, [this] { SelectAllCommand(); });
  commands_.invertSelection = AddCommand(edit, "InvertSelection1", "&Invert Selection", {},
                                         [this] { InvertSelectionCommand(); });
}

void MainWindow::BuildOptionsMenu(QMenuBar* bar) {
  QMenu* options = bar->addMenu(DisplayText(shell_texts::kMenuOptions));
  options->setObjectName("Options1");
  commands_.preferences =
      AddCommand(options, "Preferences1", "&Preferences...", {QKeySequence(Qt::CTRL | Qt::Key_O)},
                 [this] { PreferencesCommand(); });
  options->addSeparator();
  auto* styles = new QActionGroup(this);
  styles->setExclusive(true);
  const struct {
    const char* name;
    const char* caption;
    int style;
  } kStyles[] = {{"LargeIcons1", "Lar&ge Icons", kViewLargeIcons},
                 {"SmallIcons1", "S&mall Icons", kViewSmallIcons},
                 {"List1", "&List", kViewList},
                 {"Details1", "&Details", kViewDetails}};
  for (const auto& style : kStyles) {
    const int chosen = style.style;
    QAction* action = AddCommand(options, style.name, style.caption, {},
                                 [this, chosen] { SetViewStyle(chosen); });
    commands_.viewStyles[chosen] = action;
    action->setCheckable(true);
    styles->addAction(action);
  }
  options->addSeparator();
  QMenu* arrange = options->addMenu(DisplayText(shell_texts::kMenuArrange));
  arrange->setObjectName("ArrangeIcons1");
  arrange->menuAction()->setObjectName("ArrangeIcons1");
  commands_.arrangeIcons = arrange->menuAction();
  const struct {
    const char* name;
    const char* caption;
    SortKey key;
  } kSorts[] = {{"ByName1", "By &Name", SortKey::kName},
                {"ByURL1", "By &URL", SortKey::kUrl},
                {"BySize1", "By &Size", SortKey::kSize},
                {"ByStatus1", "By S&tatus", SortKey::kStatus},
                {"ByPosition1", "By &Position", SortKey::kPosition},
                {"ByEngine1", "By &Engine", SortKey::kEngine}};
  for (const auto& sort : kSorts) {
    const int key = static_cast<int>(sort.key);
    AddCommand(arrange, sort.name, sort.caption, {}, [this, key] { SortCommand(key); });
  }
  options->addSeparator();
  commands_.showToolbar = AddCommand(options, "ShowToolbar1", "Show &Toolbar", {}, [this] {
    ShowToolbar(program_.CurrentSettings().showToolbar == 0);
  });
  commands_.showToolbar->setCheckable(true);
  commands_.showStatusBar = AddCommand(options, "ShowStatusBar1", "Show Status &bar", {}, [this] {
    ShowStatusBar(program_.CurrentSettings().showStatusBar == 0);
  });
  commands_.showStatusBar->setCheckable(true);
  commands_.showReport =
      AddCommand(options, "ShowReport1", "Search &Report", {QKeySequence(Qt::CTRL | Qt::Key_R)},
                 [this] { ShowReport(!Report().isVisibleTo(this)); });
  commands_.showReport->setCheckable(true);
}

void MainWindow::BuildHelpMenu(QMenuBar* bar) {
  QMenu* help = bar->addMenu(DisplayText(shell_texts::kMenuHelp));
  help->setObjectName("Help1");
  commands_.helpIndex = AddCommand(help, "Index1", "&Index", {QKeySequence(Qt::Key_F1)},
                                   [this] { HelpIndexCommand(); });
  commands_.helpOnHelp = AddCommand(help, "HelpOnHelp1", "&Help on Help", {}, [] {});
  commands_.helpOnHelp->setVisible(false);
  commands_.onlineHelp =
      AddCommand(help, "OnlineHelp1", "&Online Help", {QKeySequence(Qt::ALT | Qt::Key_F1)},
                 [this] { OpenAddress(shell_texts::kOnlineHelpUrl, false); });
  commands_.programHomePage =
      AddCommand(help, "ProgramHomePage1", "&Program Home Page", {},
                 [this] { OpenAddress(shell_texts::kProgramHomeUrl, false); });
  commands_.authorHomePage = AddCommand(help, "AuthorHomePage1", "A&uthor Home Page", {},
                                        [this] { OpenAddress(shell_texts::kAuthorHomeUrl, true); });
  commands_.viewBannerAds = AddCommand(help, "ViewBannerAds1", "&View Banner Ads", {}, [] {});
  commands_.viewBannerAds->setVisible(false);
  help->addSeparator();
  commands_.about = AddCommand(help, "About1", "&About...", {QKeySequence(Qt::CTRL | Qt::Key_A)},
                               [this] { AboutCommand(); });
}

void MainWindow::BuildPopupMenu() {
  // The pop-up repeats the Edit commands: the same actions, so enabling stays in step.
  resultMenu_ = new QMenu(this);
  resultMenu_->setObjectName("PopupLV");
  const WindowCommands& c = commands_;
  for (QAction* action : {c.verify, c.download, c.openEntry, c.openServer, c.openDirectory,
                          c.viewEntry, c.addEntry, c.deleteInvalid}) {
    resultMenu_->addAction(action);
  }
  resultMenu_->addSeparator();
  for (QAction* action : {c.cut, c.copy, c.deleteEntries}) resultMenu_->addAction(action);
  resultMenu_->addSeparator();
  for (QAction* action : {c.find, c.findAgain, c.selectAll, c.invertSelection}) {
    resultMenu_->addAction(action);
  }
}

}  // namespace sondrel
