#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "results/project_file.h"
#include "results/result_entry.h"
#include "shell/application.h"
#include "shell/banner.h"
#include "shell/display_text.h"
#include "shell/launching.h"
#include "shell/message_box.h"
#include "shell/move_image_animation.h"
#include "shell/palette_icons.h"
#include "shell/result_list.h"
#include "shell/search_report_view.h"
#include "shell/shell_texts.h"
#include "support/paths.h"

namespace sondrel {
namespace {

// The design size: the window's smallest width, and its size where the screen is smaller.
constexpr int kWindowWidth = 609;
constexpr int kWindowHeight = 453;
constexpr int kMinUrlColumnWidth = 120;
// The toolbar buttons keep the style icon they show, to draw it again for a new palette.
constexpr const char* kIconProperty = "sondrelStyleIcon";
constexpr int kToolbarHeight = 33;
constexpr int kPanel1Height = 180;
constexpr int kPButtonWidth = 130;
constexpr int kPanBoxInset = 2;  // PanBox sits this far inside PanMain on every side
constexpr int kQueryDesignWidth = 455;
constexpr int kChoiceDesignWidth = 300;
constexpr int kChoiceLeft = 90;
constexpr int kBannerTop = 80;
constexpr int kImageSize = 32;
constexpr int kUrlColumnDesignWidth = 200;

// The note in the palette's text and highlight colours, so it shows on light and dark alike.
QPixmap SearchImage(const QPalette& palette) {
  QPixmap pixmap(kImageSize, kImageSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette.color(QPalette::WindowText), 3));
  painter.setBrush(palette.color(QPalette::Highlight));
  // A note: head and stem.
  painter.drawEllipse(QRectF(5, 19, 12, 9));
  painter.drawLine(QPointF(16, 23), QPointF(16, 4));
  painter.drawLine(QPointF(16, 4), QPointF(26, 9));
  return pixmap;
}

}  // namespace

MainWindow::MainWindow(Application& program, QWidget* parent)
    : QMainWindow(parent), program_(program) {
  setObjectName("FMain");
  setWindowTitle(DisplayText(shell_texts::kProgramName));

  BuildControls();
  BuildMenus();
  BuildPopupMenu();
  RecordDesignSizes();
  ConnectSearchSession();
  ShowStartData();

  banner_ = new Banner(findBannerSlot_);
  banner_->setObjectName("Banner");
  if (!banner_->SetUp()) fatal_ = true;
  const Settings& settings = program_.CurrentSettings();
  if (settings.webProxyOn) banner_->SetProxy(settings.webProxyAddress, settings.webProxyPort);
  banner_->MoveToPage(findBannerSlot_);

  ShowToolbar(settings.showToolbar != 0);
  ShowStatusBar(settings.showStatusBar != 0);
  SetViewStyle(kViewDetails);
  queryBox_->setEditText(QString());
  program_.Document().modified = false;
  SetStatusText(shell_texts::kStatusHelp);
  UpdateCommands();
  UpdateCountLabel();

  RestoreWindowMemory();
  queryBox_->setFocus();
}

MainWindow::~MainWindow() {
  Shutdown();
  // The child widgets outlive the members: the list must not read the document while it is
  // hidden and destroyed.
  resultList_->SetDocument(nullptr);
}

void MainWindow::ConnectSearchSession() {
  SearchCallbacks& callbacks = program_.Session().callbacks;
  callbacks.resultAdded = [this](const ResultEntry&, int index) { resultList_->AddRow(index); };
  callbacks.progress = [this](const SearchProgress& progress) { ShowSearchProgress(progress); };
  callbacks.updating = [this](bool checking) {
    checkingUpdates_ = checking;
    UpdateCommands();
  };
  callbacks.finished = [this] { SearchEnded(); };
  callbacks.searchFinished = [this] {
    // Stop ends the whole run: a stopped search is not verified afterwards.
    if (program_.Session().cancel.Requested()) return;
    if (program_.CurrentSettings().verifyAfterSearch) StartVerification(true);
  };
}

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("Central");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  BuildToolbar();
  column->addWidget(toolbar_);
  BuildUpperPanel();
  column->addWidget(upperPanel_);

  listSplitter_ = new QSplitter(Qt::Vertical, central);
  listSplitter_->setObjectName("ListSplitter");
  listSplitter_->setChildrenCollapsible(false);
  resultList_ = new ResultList(listSplitter_);
  resultList_->setObjectName("LVResult");
  resultList_->SetDocument(&program_.Document());
  reportView_ = new SearchReportView(listSplitter_);
  reportView_->hide();
  listSplitter_->addWidget(resultList_);
  listSplitter_->addWidget(reportView_);
  listSplitter_->setStretchFactor(0, 3);
  listSplitter_->setStretchFactor(1, 1);
  column->addWidget(listSplitter_, 1);
  connect(resultList_, &ResultList::columnResized, this, [this](int) {
    memory_.columnsByUser = true;
    if (layingOut_ == 0) AnchorUrlColumn(resultList_->UrlColumnWidth());
  });
  connect(resultList_, &ResultList::countChanged, this, [this](int) {
    UpdateCountLabel();
    UpdateCommands();
  });
  connect(resultList_, &ResultList::activated, this, &MainWindow::DownloadCommand);
  connect(resultList_, &ResultList::deletePressed, this, &MainWindow::DeleteCommand);
  connect(resultList_, &ResultList::sortRequested, this, &MainWindow::SortCommand);
  connect(resultList_, &ResultList::contextMenuRequested, this,
          [this](const QPoint& at) { resultMenu_->popup(at); });

  BuildStatusBar();
}

void MainWindow::BuildToolbar() {
  toolbar_ = new QWidget(this);
  toolbar_->setObjectName("BB");
  toolbar_->setFixedHeight(kToolbarHeight);
  auto* row = new QHBoxLayout(toolbar_);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(2);
  auto tool = [&](QToolButton*& button, const char* name, QStyle::StandardPixmap icon,
                  std::string_view hint, auto command) {
    button = new QToolButton(toolbar_);
    button->setObjectName(name);
    button->setProperty(kIconProperty, static_cast<int>(icon));
    button->setToolTip(DisplayText(hint));
    button->setAutoRaise(true);
    row->addWidget(button);
    connect(button, &QToolButton::clicked, this, command);
  };
  tool(newProjectButton_, "SBNew", QStyle::SP_FileIcon, shell_texts::kHintNew,
       [this] { NewProject(); });
  tool(openProjectButton_, "SBOpen", QStyle::SP_DialogOpenButton, shell_texts::kHintOpen,
       [this] { OpenProject(); });
  tool(saveProjectButton_, "SBSave", QStyle::SP_DialogSaveButton, shell_texts::kHintSave,
       [this] { (void)SaveProject(); });
  tool(preferencesButton_, "BOptions", QStyle::SP_FileDialogDetailedView, shell_texts::kHintOptions,
       [this] { PreferencesCommand(); });
  tool(searchButton_, "SBProc", QStyle::SP_MediaPlay, shell_texts::kHintSearch,
       [this] { StartSearchCommand(); });
  tool(downloadButton_, "SBView", QStyle::SP_ArrowDown, shell_texts::kHintView,
       [this] { DownloadCommand(); });
  tool(helpButton_, "SBHelp", QStyle::SP_DialogHelpButton, shell_texts::kHintHelp,
       [this] { OpenAddress(shell_texts::kOnlineHelpUrl, false); });
  SetToolbarIcons();
  row->addStretch(1);
  newsLink_ = new QPushButton(DisplayText(shell_texts::kLinkButton1), toolbar_);
  newsLink_->setObjectName("BitBtn1");
  newsLink_->setFlat(true);
  row->addWidget(newsLink_);
  connect(newsLink_, &QPushButton::clicked, this,
          [this] { OpenAddress(shell_texts::kLinkButton1Url, true); });
  freeMusicLink_ = new QPushButton(DisplayText(shell_texts::kLinkButton2), toolbar_);
  freeMusicLink_->setObjectName("BitBtn2");
  freeMusicLink_->setFlat(true);
  row->addWidget(freeMusicLink_);
  connect(freeMusicLink_, &QPushButton::clicked, this,
          [this] { OpenAddress(shell_texts::kLinkButton2Url, true); });
}

void MainWindow::BuildUpperPanel() {
  upperPanel_ = new QWidget(this);
  upperPanel_->setObjectName("Panel1");
  upperPanel_->setFixedHeight(kPanel1Height);
  BuildButtonPanel();

  // The left part: the Find and Filters pages.
  pagesPanel_ = new QWidget(upperPanel_);
  pagesPanel_->setObjectName("PanMain");
  pages_ = new QTabWidget(pagesPanel_);
  pages_->setObjectName("PanBox");
  BuildFindPage();
  BuildFiltersPage();

  // Enter in the two choice boxes starts a search as it does in the query box.
  duplicatesBox_->installEventFilter(this);
  filterBox_->installEventFilter(this);
  // The banners are centred whenever their page changes size.
  findPage_->installEventFilter(this);
  filtersPage_->installEventFilter(this);
  connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
    if (banner_) banner_->MoveToPage(page == 0 ? findBannerSlot_ : filtersBannerSlot_);
  });
}

// The right part of the upper panel: the search buttons, the circling image, the entry count.
void MainWindow::BuildButtonPanel() {
  searchPanel_ = new QWidget(upperPanel_);
  searchPanel_->setObjectName("PButton");
  auto button = [&](QPushButton*& b, const char* name, std::string_view caption, int top,
                    auto command) {
    b = new QPushButton(DisplayText(caption), searchPanel_);
    b->setObjectName(name);
    b->setGeometry(10, top, kPButtonWidth - 20, 24);
    connect(b, &QPushButton::clicked, this, command);
  };
  button(startButton_, "BStart", shell_texts::kStartButton, 6, [this] { StartSearchCommand(); });
  button(stopButton_, "BStop", shell_texts::kStopButton, 34, [this] { StopCommand(); });
  button(newSearchButton_, "BNew", shell_texts::kNewSearchButton, 62, [this] { NewSearch(); });
  searchImage_ = new QLabel(searchPanel_);
  searchImage_->setObjectName("Image1");
  searchImage_->setPixmap(SearchImage(palette()));
  searchImage_->setGeometry(10, 92, kImageSize, kImageSize);
  entryCount_ = new QLabel(searchPanel_);
  entryCount_->setObjectName("LBNEntries");
  entryCount_->setGeometry(10, 160, kPButtonWidth - 12, 16);
  animation_ = new MoveImageAnimation(searchImage_, this);
}

void MainWindow::BuildFindPage() {
  findPage_ = new QWidget;
  findPage_->setObjectName("TabSheet1");
  queryLabel_ = new QLabel(DisplayText(shell_texts::kSearchForLabel), findPage_);
  queryLabel_->setObjectName("Label1");
  queryLabel_->setGeometry(8, 6, 200, 18);
  queryBox_ = new QComboBox(findPage_);
  queryBox_->setObjectName("CBQuery");
  queryBox_->setEditable(true);
  queryBox_->setInsertPolicy(QComboBox::NoInsert);
  queryBox_->setGeometry(8, 24, kQueryDesignWidth, 24);
  connect(queryBox_->lineEdit(), &QLineEdit::returnPressed, this, [this] { StartSearchCommand(); });
  mergeCheck_ = new QCheckBox(DisplayText(shell_texts::kMergeCheck), findPage_);
  mergeCheck_->setObjectName("CBMerge");
  mergeCheck_->setGeometry(8, 52, 300, 22);
  findBannerSlot_ = new QWidget(findPage_);
  findBannerSlot_->setObjectName("PBanner");
  findBannerSlot_->setGeometry(0, kBannerTop, kBannerWidth, kBannerHeight);
  pages_->addTab(findPage_, DisplayText(shell_texts::kFindPage));
}

void MainWindow::BuildFiltersPage() {
  filtersPage_ = new QWidget;
  filtersPage_->setObjectName("TabSheet2");
  duplicatesLabel_ = new QLabel(DisplayText(shell_texts::kDuplicatesLabel), filtersPage_);
  duplicatesLabel_->setObjectName("Label2");
  duplicatesLabel_->setGeometry(8, 10, kChoiceLeft - 10, 18);
  duplicatesBox_ = new QComboBox(filtersPage_);
  duplicatesBox_->setObjectName("CBDup");
  duplicatesBox_->addItem(DisplayText(shell_texts::kKeepDuplicatesItem));
  duplicatesBox_->addItem(DisplayText(shell_texts::kRemoveDuplicatesItem));
  duplicatesBox_->setGeometry(kChoiceLeft, 6, kChoiceDesignWidth, 24);
  filterLabel_ = new QLabel(DisplayText(shell_texts::kFilteringLabel), filtersPage_);
  filterLabel_->setObjectName("Label3");
  filterLabel_->setGeometry(8, 44, kChoiceLeft - 10, 18);
  filterBox_ = new QComboBox(filtersPage_);
  filterBox_->setObjectName("CBFil");
  filterBox_->addItem(DisplayText(shell_texts::kFilterNoneItem));
  filterBox_->addItem(DisplayText(shell_texts::kFilterNameItem));
  filterBox_->addItem(DisplayText(shell_texts::kFilterUrlItem));
  filterBox_->setGeometry(kChoiceLeft, 40, kChoiceDesignWidth, 24);
  filtersBannerSlot_ = new QWidget(filtersPage_);
  filtersBannerSlot_->setObjectName("PBanner2");
  filtersBannerSlot_->setGeometry(0, kBannerTop, kBannerWidth, kBannerHeight);
  pages_->addTab(filtersPage_, DisplayText(shell_texts::kFiltersPage));
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  statusText_ = new QLabel(DisplayText(shell_texts::kStatusHelp), bar);
  statusText_->setObjectName("StatusPanel0");
  bar->addWidget(statusText_, 1);
  verifyText_ = new QLabel(bar);
  verifyText_->setObjectName("StatusPanel1");
  verifyText_->setFixedWidth(kVerifyPanelWidth);
  bar->addPermanentWidget(verifyText_);
}

void MainWindow::RecordDesignSizes() {
  design_.windowWidth = kWindowWidth;
  design_.panMainWidth = kWindowWidth - kPButtonWidth;
  design_.panBoxDifference = 2 * kPanBoxInset;
  design_.queryWidth = kQueryDesignWidth;
  design_.duplicatesWidth = kChoiceDesignWidth;
  design_.filterWidth = kChoiceDesignWidth;
  design_.bannerWidth = kBannerWidth;
  design_.urlColumnWidth = kUrlColumnDesignWidth;
  animation_->SetHome(searchImage_->pos());
}

void MainWindow::ShowStartData() {
  RebuildReopenMenu();
  RebuildQueryList();
  if (program_.DatabaseFailed()) {
    std::string text = std::string(shell_texts::kDatabaseFailed) + program_.DatabasePath();
    if (!program_.DatabaseProblem().empty()) text += "\n" + program_.DatabaseProblem();
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, text);
    fatal_ = true;
  }
  program_.SetCurrentProjectPath({});
  LoadDocumentIntoWindow(std::string());
  UpdateWindowCaption();
}

void MainWindow::FirstActivation() {
  if (fatal_ || shutDown_) return;
  // Laid out now: the list's width is known.
  if (memory_.columnWidths.empty()) FillUrlColumn();
  TellUnreadSettings();
  if (program_.CurrentSettings().showAbout) AboutCommand();
  if (!startProject_.empty()) {
    OpenProjectFile(startProject_);
    return;
  }
  const std::string last = program_.CurrentSettings().lastProject;
  if (!last.empty() && FileLengthOf(last) >= 0) ReopenProject(last);
}

void MainWindow::TellUnreadSettings() {
  std::string_view problem;
  switch (program_.SettingsState()) {
    case SettingsFileState::kRead:
    case SettingsFileState::kMissing: return;
    case SettingsFileState::kDamaged: problem = shell_texts::kSettingsDamaged; break;
    case SettingsFileState::kForeign: problem = shell_texts::kSettingsForeign; break;
    case SettingsFileState::kNewer: problem = shell_texts::kSettingsNewer; break;
  }
  const std::string& keptAs = program_.SettingsKeptAs();
  const QString path = DisplayText(SettingsPath(program_.Home()));
  // One pass of arg: a path holding "%2" stays as it is.
  const QString text =
      keptAs.empty()
          ? (DisplayText(problem) + "\n" + DisplayText(shell_texts::kSettingsNotKept)).arg(path)
          : (DisplayText(problem) + "\n" + DisplayText(shell_texts::kSettingsKeptAs))
                .arg(path, DisplayText(keptAs));
  (void)MessageBoxFormat(this, kMbWarning, shell_texts::kProgramName, StoredText(text));
}

void MainWindow::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  SaveWindowMemoryFile();
  StopCommand();
  animation_->Stop();
  program_.Shutdown();
  if (banner_) banner_->Stop();
}

// ---- state of the controls ----

void MainWindow::SetBusy(bool on) {
  busy_ = on;
  resultList_->SetSortingAllowed(!on);
  UpdateCommands();
}

namespace {

// What a command needs to be available.
enum CommandNeed : unsigned {
  kAnyTime = 0,
  kIdle = 1u << 0,            // no search or verification runs: it changes what a worker uses
  kEntries = 1u << 1,         // the list has entries
  kNoUpdateCheck = 1u << 2,   // the engine list is not being replaced by the update check
  kNoEngineUpdate = 1u << 3,  // Update Engines is not running
};

struct CommandState {
  bool busy = false;
  bool entries = false;
  bool checkingUpdates = false;
  bool updatingEngines = false;
};

bool Available(unsigned needs, const CommandState& state) {
  return !((needs & kIdle) && state.busy) && !((needs & kEntries) && !state.entries) &&
         !((needs & kNoUpdateCheck) && state.checkingUpdates) &&
         !((needs & kNoEngineUpdate) && state.updatingEngines);
}

}  // namespace

void MainWindow::UpdateCommands() {
  const CommandState state{busy_, program_.Document().entries.Count() > 0, checkingUpdates_,
                           updatingEngines_};
  const WindowCommands& c = commands_;
  const struct {
    QObject* command;  // an action or a control
    unsigned needs;
  } kRules[] = {
      {c.newProject, kIdle},
      {c.openProject, kIdle},
      {c.reopenProject, kIdle},
      {c.startSearch, kIdle | kNoEngineUpdate},
      {c.updateEngines, kIdle},
      {c.arrangeIcons, kIdle},
      {c.verify, kIdle | kEntries},
      {c.download, kIdle | kEntries},
      {c.openEntry, kEntries},
      {c.openServer, kEntries},
      {c.openDirectory, kEntries},
      {c.viewEntry, kEntries},
      {c.addEntry, kIdle | kEntries},
      {c.deleteInvalid, kIdle | kEntries},
      {c.cut, kIdle | kEntries},
      {c.copy, kEntries},
      {c.deleteEntries, kIdle | kEntries},
      {c.find, kEntries},
      {c.findAgain, kEntries},
      {c.selectAll, kEntries},
      {c.invertSelection, kEntries},
      {c.preferences, kNoUpdateCheck},
      {preferencesButton_, kNoUpdateCheck},
      {queryBox_, kIdle},
      {duplicatesBox_, kIdle},
      {filterBox_, kIdle},
      {startButton_, kIdle | kNoEngineUpdate},
      {newSearchButton_, kIdle},
  };
  for (const auto& rule : kRules) {
    const bool on = Available(rule.needs, state);
    if (auto* action = qobject_cast<QAction*>(rule.command)) {
      action->setEnabled(on);
    } else if (auto* widget = qobject_cast<QWidget*>(rule.command)) {
      widget->setEnabled(on);
    }
  }
  stopButton_->setEnabled(busy_);
}

void MainWindow::UpdateCountLabel() {
  entryCount_->setText(DisplayText(EntryCountText(program_.Document().entries.Count())));
}

void MainWindow::UpdateWindowCaption() {
  setWindowTitle(DisplayText(UpdateCaption(program_.CurrentProjectPath())));
}

void MainWindow::RebuildQueryList() {
  const QString text = queryBox_->currentText();
  queryBox_->clear();
  for (const std::string& item : HistoryBoxItems(program_.CurrentSettings()))
    queryBox_->addItem(DisplayText(item));
  queryBox_->setEditText(text);
}

void MainWindow::SetStatusText(std::string_view text) {
  statusText_->setText(DisplayText(text));
}

void MainWindow::SetVerifyText(const QString& text) {
  verifyText_->setText(text);
}

void MainWindow::ShowToolbar(bool on) {
  commands_.showToolbar->setChecked(on);
  toolbar_->setFixedHeight(on ? kToolbarHeight : 0);
  toolbar_->setVisible(on);
  program_.CurrentSettings().showToolbar = on ? 1 : 0;
}

void MainWindow::ShowStatusBar(bool on) {
  commands_.showStatusBar->setChecked(on);
  statusBar()->setVisible(on);
  program_.CurrentSettings().showStatusBar = on ? 1 : 0;
}

void MainWindow::SetViewStyle(int style) {
  if (style < kViewLargeIcons || style > kViewDetails) return;
  resultList_->SetViewStyle(static_cast<ViewStyle>(style));
  commands_.viewStyles[style]->setChecked(true);
}

// ---- layout ----

void MainWindow::ApplyLayout() {
  if (fatal_ || layingOut_ > 0) return;
  ++layingOut_;
  const int panMain = upperPanel_->width() - kPButtonWidth;
  const WindowLayout layout =
      LayOutWindow(design_, width(), panMain, statusBar()->isVisible() ? statusBar()->width() : 0);
  if (layout.restoreWindowWidth && width() != layout.windowWidth) {
    resize(layout.windowWidth, height());
  }
  int urlWidth = layout.urlColumnWidth;
  if (pendingUrlWidth_ >= 0) {
    // From here the column grows and shrinks with the window as it did from its design width.
    design_.urlColumnWidth += pendingUrlWidth_ - urlWidth;
    urlWidth = pendingUrlWidth_;
    pendingUrlWidth_ = -1;
  }
  const int mainWidth = layout.panMainWidth;
  pagesPanel_->setGeometry(0, 0, mainWidth, kPanel1Height);
  searchPanel_->setGeometry(mainWidth, 0, kPButtonWidth, kPanel1Height);
  pages_->setGeometry(kPanBoxInset, kPanBoxInset, layout.panBoxWidth,
                      kPanel1Height - 2 * kPanBoxInset);
  queryBox_->resize(layout.queryWidth, queryBox_->height());
  duplicatesBox_->resize(layout.duplicatesWidth, duplicatesBox_->height());
  filterBox_->resize(layout.filterWidth, filterBox_->height());
  resultList_->SetUrlColumnWidth(urlWidth);
  verifyText_->setFixedWidth(layout.statusPanel1Width);
  --layingOut_;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // The central widget has its new size only after the layout ran; upperPanel_ follows the window.
  upperPanel_->resize(width(), kPanel1Height);
  ApplyLayout();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!firstActivation_) return;
  firstActivation_ = false;
  QTimer::singleShot(0, this, [this] { FirstActivation(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!SaveQuery()) {
    event->ignore();
    return;
  }
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == duplicatesBox_ || watched == filterBox_) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      StartSearchCommand();
      return true;
    }
  }
  if ((watched == findPage_ || watched == filtersPage_) && event->type() == QEvent::Resize) {
    QWidget* page = static_cast<QWidget*>(watched);
    QWidget* banner = watched == findPage_ ? findBannerSlot_ : filtersBannerSlot_;
    banner->move(BannerLeft(page->width()), kBannerTop);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    SetToolbarIcons();
    if (searchImage_) searchImage_->setPixmap(SearchImage(palette()));
  }
}

void MainWindow::SetToolbarIcons() {
  for (QToolButton* button : toolbar_->findChildren<QToolButton*>()) {
    const QVariant icon = button->property(kIconProperty);
    if (!icon.isValid()) continue;
    button->setIcon(
        PaletteIcon(*style(), static_cast<QStyle::StandardPixmap>(icon.toInt()), palette()));
  }
}

// ---- window memory ----

void MainWindow::RestoreWindowMemory() {
  LoadWindowMemory(WindowMemoryPath(program_.Home()), memory_);
  if (memory_.geometry.isEmpty() || !restoreGeometry(memory_.geometry)) {
    QRect area(0, 0, kFirstStartWidth, kFirstStartHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    const QSize size = FirstStartSize(area).expandedTo(QSize(kWindowWidth, kWindowHeight));
    resize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  if (memory_.splitterSizes.size() == 2) listSplitter_->setSizes(memory_.splitterSizes);
  ShowReport(memory_.reportShown);
  if (!memory_.columnWidths.empty()) {
    resultList_->SetColumnWidths(memory_.columnWidths);
    AnchorUrlColumn(resultList_->UrlColumnWidth());
  }
}

void MainWindow::SaveWindowMemoryFile() {
  memory_.geometry = saveGeometry();
  memory_.columnWidths = resultList_->ColumnWidths();
  memory_.reportShown = reportView_->isVisibleTo(this);
  if (memory_.reportShown) memory_.splitterSizes = listSplitter_->sizes();
  const std::string path = WindowMemoryPath(program_.Home());
  (void)MakeDirectories(PathDirectory(path));
  (void)SaveWindowMemory(path, memory_);
}

void MainWindow::AnchorUrlColumn(int width) {
  pendingUrlWidth_ = std::max(kMinUrlColumnWidth, width);
  // A hidden window lays itself out when it is shown.
  if (isVisible()) ApplyLayout();
}

void MainWindow::FillUrlColumn() {
  const int area = resultList_->ColumnArea();
  int others = 0;
  const std::vector<int> widths = resultList_->ColumnWidths();
  for (int column = 0; column < kColumnCount; ++column) {
    if (column != kColumnUrl) others += widths[static_cast<std::size_t>(column)];
  }
  AnchorUrlColumn(area - others);
}

void MainWindow::FitColumnsToResults() {
  if (memory_.columnsByUser || program_.Document().entries.Count() == 0) return;
  const int area = resultList_->ColumnArea();
  resultList_->FitColumnToContents(kColumnName, area * 2 / 5);
  resultList_->FitColumnToContents(kColumnEngine, area / 4);
  FillUrlColumn();
}

void MainWindow::ShowReport(bool on) {
  reportView_->setVisible(on);
  commands_.showReport->setChecked(on);
  // Opened for the first time, the pane gets room for a few engines' rows.
  if (on && memory_.splitterSizes.isEmpty() && listSplitter_->isVisible()) {
    const int total = listSplitter_->height();
    memory_.splitterSizes = {total - total * 2 / 5, total * 2 / 5};
    listSplitter_->setSizes(memory_.splitterSizes);
  }
}

QString MainWindow::StatusText() const {
  return statusText_->text();
}

int MainWindow::FocusedEntry() const {
  const int row = resultList_->FocusedRow();
  return row >= 0 && row < program_.Document().entries.Count() ? row : -1;
}

}  // namespace sondrel
