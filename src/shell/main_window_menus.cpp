// The main menu and the result list's pop-up menu: every command with its caption, shortcut
// and object name.

#include <functional>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "results/sorting.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"

namespace sondrel {

QAction* MainWindow::MakeAction(const char* name, const QString& caption,
                                const QKeySequence& shortcut) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  actions_[name] = action;
  return action;
}

QAction* MainWindow::AddCommand(QMenu* menu, const char* name, const char* caption,
                                const QKeySequence& shortcut, std::function<void()> command) {
  QAction* action = MakeAction(name, QString::fromUtf8(caption), shortcut);
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
  AddCommand(file, "New1", "&New", {}, [this] { NewProject(); });
  AddCommand(file, "Open1", "&Open...", QKeySequence(Qt::Key_F3), [this] { OpenProject(); });
  reopenMenu_ = file->addMenu(DisplayText(shell_texts::kMenuReopen));
  reopenMenu_->setObjectName("Reopen1");
  reopenItem_ = reopenMenu_->menuAction();
  reopenItem_->setObjectName("Reopen1");
  AddCommand(file, "Save1", "&Save", QKeySequence(Qt::Key_F2), [this] { (void)SaveProject(); });
  AddCommand(file, "SaveAs1", "Save &As...", {}, [this] { (void)SaveProjectAs(); });
  QMenu* exportMenu = file->addMenu(DisplayText(shell_texts::kMenuExport));
  exportMenu->setObjectName("Export1");
  AddCommand(exportMenu, "HTML1", "&HTML", {}, [this] { ExportHtmlCommand(); });
  AddCommand(exportMenu, "TXT1", "&TXT (Normal Listing)", {}, [this] { ExportTextCommand(); });
  AddCommand(exportMenu, "CDF1", "&CDF (Comma Delimited Format)", {},
             [this] { ExportCdfCommand(); });
  file->addSeparator();
  AddCommand(file, "Process1", "Start &Search", QKeySequence(Qt::Key_F4),
             [this] { StartSearchCommand(); });
  AddCommand(file, "UpdateEngines1", "&Update Engines...", {}, [this] { UpdateEnginesCommand(); });
  file->addSeparator();
  AddCommand(file, "Exit1", "E&xit", QKeySequence(Qt::ALT | Qt::Key_F4), [this] { close(); });
}

void MainWindow::BuildEditMenu(QMenuBar* bar) {
  editMenu_ = bar->addMenu(DisplayText(shell_texts::kMenuEdit));
  editMenu_->setObjectName("Edit1");
  AddCommand(editMenu_, "Verify1", "&Verify Result(s)", QKeySequence(Qt::Key_F5),
             [this] { VerifyCommand(); });
  AddCommand(editMenu_, "Download1", "&Download File", QKeySequence(Qt::Key_F6),
             [this] { DownloadCommand(); });
  entryMenu_ = editMenu_->addMenu(DisplayText(shell_texts::kMenuEntry));
  entryMenu_->setObjectName("Entry1");
  AddCommand(entryMenu_, "OpenEntry1", "Open &Entry", QKeySequence(Qt::SHIFT | Qt::Key_F6),
             [this] { OpenEntryCommand(0); });
  AddCommand(entryMenu_, "OpenServer1", "Open &Server", QKeySequence(Qt::Key_F7),
             [this] { OpenEntryCommand(1); });
  AddCommand(entryMenu_, "OpenDirectory1", "Open &Directory", QKeySequence(Qt::Key_F8),
             [this] { OpenEntryCommand(2); });
  AddCommand(entryMenu_, "ViewEntry1", "&View Entry", QKeySequence(Qt::Key_F9),
             [this] { ViewEntryCommand(); });
  AddCommand(entryMenu_, "AddEntry1", "&Add Entry", QKeySequence(Qt::Key_Insert),
             [this] { AddEntryCommand(); });
  AddCommand(entryMenu_, "DeleteInvalid1", "Delete &Invalid Entries", {},
             [this] { DeleteInvalidCommand(); });
  editMenu_->addSeparator();
  AddCommand(editMenu_, "Cut1", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X),
             [this] { CutCommand(); });
  AddCommand(editMenu_, "Copy1", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C),
             [this] { CopyCommand(); });
  AddCommand(editMenu_, "Delete1", "De&lete", QKeySequence(Qt::CTRL | Qt::Key_Delete),
             [this] { DeleteCommand(); });
  editMenu_->addSeparator();
  AddCommand(editMenu_, "Find1", "&Find...", QKeySequence(Qt::CTRL | Qt::Key_F),
             [this] { FindCommand(); });
  AddCommand(editMenu_, "FindAgain1", "Find &Again", QKeySequence(Qt::CTRL | Qt::Key_G),
             [this] { FindAgainCommand(); });
  editMenu_->addSeparator();
  AddCommand(editMenu_, "SelectAll1", "Select A&ll", {}, [this] { SelectAllCommand(); });
  AddCommand(editMenu_, "InvertSelection1", "&Invert Selection", {},
             [this] { InvertSelectionCommand(); });
}

void MainWindow::BuildOptionsMenu(QMenuBar* bar) {
  QMenu* options = bar->addMenu(DisplayText(shell_texts::kMenuOptions));
  options->setObjectName("Options1");
  AddCommand(options, "Preferences1", "&Preferences...", QKeySequence(Qt::CTRL | Qt::Key_O),
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
    action->setCheckable(true);
    styles->addAction(action);
  }
  options->addSeparator();
  QMenu* arrange = options->addMenu(DisplayText(shell_texts::kMenuArrange));
  arrange->setObjectName("ArrangeIcons1");
  arrange->menuAction()->setObjectName("ArrangeIcons1");
  actions_["ArrangeIcons1"] = arrange->menuAction();
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
  QAction* toolbar = AddCommand(options, "ShowToolbar1", "Show &Toolbar", {},
                                [this] { ShowToolbar(settings_.showToolbar == 0); });
  toolbar->setCheckable(true);
  QAction* statusItem = AddCommand(options, "ShowStatusBar1", "Show Status &bar", {},
                                   [this] { ShowStatusBar(settings_.showStatusBar == 0); });
  statusItem->setCheckable(true);
}

void MainWindow::BuildHelpMenu(QMenuBar* bar) {
  QMenu* help = bar->addMenu(DisplayText(shell_texts::kMenuHelp));
  help->setObjectName("Help1");
  AddCommand(help, "Index1", "&Index", QKeySequence(Qt::Key_F1), [this] { HelpIndexCommand(); });
  AddCommand(help, "HelpOnHelp1", "&Help on Help", {}, [] {})->setVisible(false);
  AddCommand(help, "OnlineHelp1", "&Online Help", QKeySequence(Qt::ALT | Qt::Key_F1),
             [this] { OpenAddress(shell_texts::kOnlineHelpUrl, false); });
  AddCommand(help, "ProgramHomePage1", "&Program Home Page", {},
             [this] { OpenAddress(shell_texts::kProgramHomeUrl, false); });
  AddCommand(help, "AuthorHomePage1", "A&uthor Home Page", {},
             [this] { OpenAddress(shell_texts::kAuthorHomeUrl, true); });
  AddCommand(help, "ViewBannerAds1", "&View Banner Ads", {}, [] {})->setVisible(false);
  help->addSeparator();
  AddCommand(help, "About1", "&About...", QKeySequence(Qt::CTRL | Qt::Key_A),
             [this] { AboutCommand(); });
}

void MainWindow::BuildPopupMenu() {
  // The pop-up repeats the Edit commands: the same actions, so enabling stays in step.
  popupLv_ = new QMenu(this);
  popupLv_->setObjectName("PopupLV");
  for (const char* name : {"Verify1", "Download1", "OpenEntry1", "OpenServer1", "OpenDirectory1",
                           "ViewEntry1", "AddEntry1", "DeleteInvalid1"}) {
    popupLv_->addAction(actions_[name]);
  }
  popupLv_->addSeparator();
  for (const char* name : {"Cut1", "Copy1", "Delete1"}) popupLv_->addAction(actions_[name]);
  popupLv_->addSeparator();
  for (const char* name : {"Find1", "FindAgain1", "SelectAll1", "InvertSelection1"}) {
    popupLv_->addAction(actions_[name]);
  }
}

}  // namespace sondrel
