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
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "engines/engine_home.h"
#include "net/net_progress.h"
#include "net/socket_io.h"
#include "results/project_file.h"
#include "results/result_entry.h"
#include "shell/banner.h"
#include "shell/display_text.h"
#include "shell/download_window.h"
#include "shell/launching.h"
#include "shell/message_box.h"
#include "shell/move_image_animation.h"
#include "shell/qt_dispatcher.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"
#include "support/paths.h"

namespace sondrel {
namespace {

constexpr int kWindowWidth = 609;
constexpr int kWindowHeight = 453;
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
// Shut-down waits this long for the search and verification threads to unwind; every network
// wait tests the stop flag, so they end within moments.
constexpr int kShutdownWaitMs = 30000;

QPixmap SearchImage() {
  QPixmap pixmap(kImageSize, kImageSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(30, 60, 120), 3));
  painter.setBrush(QColor(70, 130, 210));
  // A note: head and stem.
  painter.drawEllipse(QRectF(5, 19, 12, 9));
  painter.drawLine(QPointF(16, 23), QPointF(16, 4));
  painter.drawLine(QPointF(16, 4), QPointF(26, 9));
  return pixmap;
}

}  // namespace

MainWindow::MainWindow(std::string home, int searchMode, QWidget* parent)
    : QMainWindow(parent), home_(std::move(home)) {
  setObjectName("FMain");
  setWindowTitle(DisplayText(shell_texts::kProgramName));

  NetStartup();
  dispatcher_ = std::make_shared<QtDispatcher>();
  InstallDispatcher(dispatcher_);

  BuildControls();
  BuildMenus();
  BuildPopupMenu();
  RecordDesignSizes();

  session_ = std::make_unique<SearchSession>(document_, engines_, settings_, database_);
  session_->home = home_;
  session_->mode = searchMode;
  SearchCallbacks& callbacks = session_->callbacks;
  callbacks.resultAdded = [this](const ResultEntry&, int index) { resultList_->AddRow(index); };
  callbacks.progress = [this](const SearchProgress&) { UpdateCountLabel(); };
  callbacks.updating = [this](bool checking) {
    actions_["Preferences1"]->setEnabled(!checking);
    bOptions_->setEnabled(!checking);
  };
  callbacks.finished = [this] { SearchEnded(); };
  callbacks.searchFinished = [this] {
    if (settings_.verifyAfterSearch) StartVerification(true);
  };

  LoadStartData();

  banner_ = new Banner(pBanner_);
  banner_->setObjectName("Banner");
  if (!banner_->SetUp()) fatal_ = true;
  if (settings_.webProxyOn) banner_->SetProxy(settings_.webProxyAddress, settings_.webProxyPort);
  banner_->MoveToPage(pBanner_);

  ShowToolbar(settings_.showToolbar != 0);
  ShowStatusBar(settings_.showStatusBar != 0);
  SetViewStyle(kViewDetails);
  bStop_->setEnabled(false);
  cbQuery_->setEditText(QString());
  document_.modified = false;
  SetStatusText(shell_texts::kStatusHelp);
  UpdateCommands();
  UpdateCountLabel();

  resize(kWindowWidth, kWindowHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
  }
  cbQuery_->setFocus();
}

MainWindow::~MainWindow() {
  Shutdown();
  // The child widgets outlive the members: the list must not read the released document while
  // it is hidden and destroyed.
  resultList_->SetDocument(nullptr);
}

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("Central");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  BuildToolbar();
  column->addWidget(bb_);
  BuildUpperPanel();
  column->addWidget(panel1_);

  resultList_ = new ResultList(central);
  resultList_->setObjectName("LVResult");
  resultList_->SetDocument(&document_);
  column->addWidget(resultList_, 1);
  connect(resultList_, &ResultList::countChanged, this, [this](int) {
    UpdateCountLabel();
    UpdateCommands();
  });
  connect(resultList_, &ResultList::activated, this, &MainWindow::DownloadCommand);
  connect(resultList_, &ResultList::deletePressed, this, &MainWindow::DeleteCommand);
  connect(resultList_, &ResultList::sortRequested, this, &MainWindow::SortCommand);
  connect(resultList_, &ResultList::contextMenuRequested, this,
          [this](const QPoint& at) { popupLv_->popup(at); });

  BuildStatusBar();
}

void MainWindow::BuildToolbar() {
  bb_ = new QWidget(this);
  bb_->setObjectName("BB");
  bb_->setFixedHeight(kToolbarHeight);
  auto* row = new QHBoxLayout(bb_);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(2);
  auto tool = [&](QToolButton*& button, const char* name, QStyle::StandardPixmap icon,
                  std::string_view hint, auto command) {
    button = new QToolButton(bb_);
    button->setObjectName(name);
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(DisplayText(hint));
    button->setAutoRaise(true);
    row->addWidget(button);
    connect(button, &QToolButton::clicked, this, command);
  };
  tool(sbNew_, "SBNew", QStyle::SP_FileIcon, shell_texts::kHintNew, [this] { NewProject(); });
  tool(sbOpen_, "SBOpen", QStyle::SP_DialogOpenButton, shell_texts::kHintOpen,
       [this] { OpenProject(); });
  tool(sbSave_, "SBSave", QStyle::SP_DialogSaveButton, shell_texts::kHintSave,
       [this] { (void)SaveProject(); });
  tool(bOptions_, "BOptions", QStyle::SP_FileDialogDetailedView, shell_texts::kHintOptions,
       [this] { PreferencesCommand(); });
  tool(sbProc_, "SBProc", QStyle::SP_MediaPlay, shell_texts::kHintSearch,
       [this] { StartSearchCommand(); });
  tool(sbView_, "SBView", QStyle::SP_ArrowDown, shell_texts::kHintView,
       [this] { DownloadCommand(); });
  tool(sbHelp_, "SBHelp", QStyle::SP_DialogHelpButton, shell_texts::kHintHelp,
       [this] { OpenAddress(shell_texts::kOnlineHelpUrl, false); });
  row->addStretch(1);
  bitBtn1_ = new QPushButton(DisplayText(shell_texts::kLinkButton1), bb_);
  bitBtn1_->setObjectName("BitBtn1");
  bitBtn1_->setFlat(true);
  row->addWidget(bitBtn1_);
  connect(bitBtn1_, &QPushButton::clicked, this,
          [this] { OpenAddress(shell_texts::kLinkButton1Url, true); });
  bitBtn2_ = new QPushButton(DisplayText(shell_texts::kLinkButton2), bb_);
  bitBtn2_->setObjectName("BitBtn2");
  bitBtn2_->setFlat(true);
  row->addWidget(bitBtn2_);
  connect(bitBtn2_, &QPushButton::clicked, this,
          [this] { OpenAddress(shell_texts::kLinkButton2Url, true); });
}

void MainWindow::BuildUpperPanel() {
  panel1_ = new QWidget(this);
  panel1_->setObjectName("Panel1");
  panel1_->setFixedHeight(kPanel1Height);
  BuildButtonPanel();

  // The left part: the Find and Filters pages.
  panMain_ = new QWidget(panel1_);
  panMain_->setObjectName("PanMain");
  panBox_ = new QTabWidget(panMain_);
  panBox_->setObjectName("PanBox");
  BuildFindPage();
  BuildFiltersPage();

  // Enter in the two choice boxes starts a search as it does in the query box.
  cbDup_->installEventFilter(this);
  cbFil_->installEventFilter(this);
  // The banners are centred whenever their page changes size.
  tabSheet1_->installEventFilter(this);
  tabSheet2_->installEventFilter(this);
  connect(panBox_, &QTabWidget::currentChanged, this, [this](int page) {
    if (banner_) banner_->MoveToPage(page == 0 ? pBanner_ : pBanner2_);
  });
}

// The right part of the upper panel: the search buttons, the circling image, the entry count.
void MainWindow::BuildButtonPanel() {
  pButton_ = new QWidget(panel1_);
  pButton_->setObjectName("PButton");
  auto button = [&](QPushButton*& b, const char* name, std::string_view caption, int top,
                    auto command) {
    b = new QPushButton(DisplayText(caption), pButton_);
    b->setObjectName(name);
    b->setGeometry(10, top, kPButtonWidth - 20, 24);
    connect(b, &QPushButton::clicked, this, command);
  };
  button(bStart_, "BStart", shell_texts::kStartButton, 6, [this] { StartSearchCommand(); });
  button(bStop_, "BStop", shell_texts::kStopButton, 34, [this] { StopCommand(); });
  button(bNew_, "BNew", shell_texts::kNewSearchButton, 62, [this] { NewSearch(); });
  image1_ = new QLabel(pButton_);
  image1_->setObjectName("Image1");
  image1_->setPixmap(SearchImage());
  image1_->setGeometry(10, 92, kImageSize, kImageSize);
  lbnEntries_ = new QLabel(pButton_);
  lbnEntries_->setObjectName("LBNEntries");
  lbnEntries_->setGeometry(10, 160, kPButtonWidth - 12, 16);
  animation_ = new MoveImageAnimation(image1_, this);
}

void MainWindow::BuildFindPage() {
  tabSheet1_ = new QWidget;
  tabSheet1_->setObjectName("TabSheet1");
  queryLabel_ = new QLabel(DisplayText(shell_texts::kSearchForLabel), tabSheet1_);
  queryLabel_->setObjectName("Label1");
  queryLabel_->setGeometry(8, 6, 200, 18);
  cbQuery_ = new QComboBox(tabSheet1_);
  cbQuery_->setObjectName("CBQuery");
  cbQuery_->setEditable(true);
  cbQuery_->setInsertPolicy(QComboBox::NoInsert);
  cbQuery_->setGeometry(8, 24, kQueryDesignWidth, 24);
  connect(cbQuery_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { StartSearchCommand(); });
  cbMerge_ = new QCheckBox(DisplayText(shell_texts::kMergeCheck), tabSheet1_);
  cbMerge_->setObjectName("CBMerge");
  cbMerge_->setGeometry(8, 52, 300, 22);
  pBanner_ = new QWidget(tabSheet1_);
  pBanner_->setObjectName("PBanner");
  pBanner_->setGeometry(0, kBannerTop, kBannerWidth, kBannerHeight);
  panBox_->addTab(tabSheet1_, DisplayText(shell_texts::kFindPage));
}

void MainWindow::BuildFiltersPage() {
  tabSheet2_ = new QWidget;
  tabSheet2_->setObjectName("TabSheet2");
  dupLabel_ = new QLabel(DisplayText(shell_texts::kDuplicatesLabel), tabSheet2_);
  dupLabel_->setObjectName("Label2");
  dupLabel_->setGeometry(8, 10, kChoiceLeft - 10, 18);
  cbDup_ = new QComboBox(tabSheet2_);
  cbDup_->setObjectName("CBDup");
  cbDup_->addItem(DisplayText(shell_texts::kKeepDuplicatesItem));
  cbDup_->addItem(DisplayText(shell_texts::kRemoveDuplicatesItem));
  cbDup_->setGeometry(kChoiceLeft, 6, kChoiceDesignWidth, 24);
  filLabel_ = new QLabel(DisplayText(shell_texts::kFilteringLabel), tabSheet2_);
  filLabel_->setObjectName("Label3");
  filLabel_->setGeometry(8, 44, kChoiceLeft - 10, 18);
  cbFil_ = new QComboBox(tabSheet2_);
  cbFil_->setObjectName("CBFil");
  cbFil_->addItem(DisplayText(shell_texts::kFilterNoneItem));
  cbFil_->addItem(DisplayText(shell_texts::kFilterNameItem));
  cbFil_->addItem(DisplayText(shell_texts::kFilterUrlItem));
  cbFil_->setGeometry(kChoiceLeft, 40, kChoiceDesignWidth, 24);
  pBanner2_ = new QWidget(tabSheet2_);
  pBanner2_->setObjectName("PBanner2");
  pBanner2_->setGeometry(0, kBannerTop, kBannerWidth, kBannerHeight);
  panBox_->addTab(tabSheet2_, DisplayText(shell_texts::kFiltersPage));
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  statusPanel0_ = new QLabel(DisplayText(shell_texts::kStatusHelp), bar);
  statusPanel0_->setObjectName("StatusPanel0");
  bar->addWidget(statusPanel0_, 1);
  statusPanel1_ = new QLabel(bar);
  statusPanel1_->setObjectName("StatusPanel1");
  statusPanel1_->setFixedWidth(kVerifyPanelWidth);
  bar->addPermanentWidget(statusPanel1_);
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
  animation_->SetHome(image1_->pos());
}

void MainWindow::LoadStartData() {
  std::string browser;
  if (!DetectBrowser(browser)) browser.clear();
  SettingsDefaults(settings_, home_, browser);
  const bool settingsRead = ReadSettings(SettingsPath(home_), settings_);
  if (!settingsRead) SettingsDefaults(settings_, home_, browser);
  if (!settings_.lastProject.empty()) settings_.recentProjects.Add(settings_.lastProject);
  RebuildReopenMenu();
  RebuildQueryList();
  findText_.clear();

  databasePath_ = DatabasePathInHome(home_);
  (void)SeedDatabase(home_);
  session_->databasePath = databasePath_;
  if (!LoadDatabase(databasePath_, engines_, database_)) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName,
                     std::string(shell_texts::kDatabaseFailed) + databasePath_);
    fatal_ = true;
  }
  if (settingsRead && EngineChoiceMade(settings_)) {
    ApplyEnabledNames(engines_, settings_.enabledEngines);
  } else {
    SetAllEnabled(engines_, true);
    RebuildEnabledNames(engines_, settings_.enabledEngines);
    settings_.enginesChosen = 1;
  }
  currentProjectPath_.clear();
  LoadDocumentIntoWindow(std::string());
  UpdateWindowCaption();
}

void MainWindow::FirstActivation() {
  if (fatal_ || shutDown_) return;
  if (settings_.showAbout) AboutCommand();
  const std::string last = settings_.lastProject;
  if (!last.empty() && FileLengthOf(last) >= 0) ReopenProject(last);
}

void MainWindow::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  StopCommand();
  animation_->Stop();
  // No worker may wait for the interface thread any more: a refused hand-off lets it unwind.
  dispatcher_->Close();
  (void)dispatcher_->WaitUntil(
      [this] {
        for (const auto& thread : searchThreads_) {
          if (!IsFinished(*thread)) return false;
        }
        for (const auto& run : verifyRuns_) {
          if (run->started && !IsFinished(run->thread)) return false;
        }
        return true;
      },
      kShutdownWaitMs);
  CancelAllDownloads();
  (void)MakeDirectories(home_);
  (void)WriteSettings(SettingsPath(home_), settings_);
  if (banner_) banner_->Stop();
  if (CurrentDispatcher() == dispatcher_) RemoveDispatcher();
  SetStopFlag(false);
  NetShutdown();
}

// ---- state of the controls ----

void MainWindow::SetBusy(bool on) {
  busy_ = on;
  resultList_->SetSortingAllowed(!on);
  for (const char* name : {"New1", "Open1", "Process1", "UpdateEngines1", "ArrangeIcons1",
                           "Cut1", "Delete1", "Verify1", "Download1", "AddEntry1",
                           "DeleteInvalid1"}) {
    actions_[name]->setEnabled(!on);
  }
  reopenItem_->setEnabled(!on);
  cbQuery_->setEnabled(!on);
  cbDup_->setEnabled(!on);
  cbFil_->setEnabled(!on);
  bStart_->setEnabled(!on);
  bNew_->setEnabled(!on);
  bStop_->setEnabled(on);
  if (!on) UpdateCommands();
}

void MainWindow::UpdateCommands() {
  const bool any = document_.entries.Count() > 0;
  // What the busy state disabled stays disabled until it ends: those commands change the
  // entries that a worker is using.
  static const char* const kBusyOff[] = {"Cut1", "Delete1", "Verify1", "Download1", "AddEntry1",
                                         "DeleteInvalid1"};
  auto busyOff = [](const QString& name) {
    for (const char* off : kBusyOff) {
      if (name == QLatin1String(off)) return true;
    }
    return false;
  };
  for (QAction* action : editMenu_->actions()) {
    if (action->isSeparator()) continue;
    action->setEnabled(any && !(busy_ && busyOff(action->objectName())));
  }
  for (QAction* action : entryMenu_->actions()) {
    action->setEnabled(any && !(busy_ && busyOff(action->objectName())));
  }
  for (QAction* action : popupLv_->actions()) {
    if (action->isSeparator()) continue;
    action->setEnabled(any && !(busy_ && busyOff(action->objectName())));
  }
}

void MainWindow::UpdateCountLabel() {
  lbnEntries_->setText(DisplayText(EntryCountText(document_.entries.Count())));
}

void MainWindow::UpdateWindowCaption() {
  setWindowTitle(DisplayText(UpdateCaption(currentProjectPath_)));
}

void MainWindow::RebuildQueryList() {
  const QString text = cbQuery_->currentText();
  cbQuery_->clear();
  for (const std::string& item : HistoryBoxItems(settings_)) cbQuery_->addItem(DisplayText(item));
  cbQuery_->setEditText(text);
}

void MainWindow::SetStatusText(std::string_view text) {
  statusPanel0_->setText(DisplayText(text));
}

void MainWindow::SetVerifyText(const QString& text) {
  statusPanel1_->setText(text);
}

void MainWindow::ShowToolbar(bool on) {
  actions_["ShowToolbar1"]->setChecked(on);
  bb_->setFixedHeight(on ? kToolbarHeight : 0);
  bb_->setVisible(on);
  settings_.showToolbar = on ? 1 : 0;
}

void MainWindow::ShowStatusBar(bool on) {
  actions_["ShowStatusBar1"]->setChecked(on);
  statusBar()->setVisible(on);
  settings_.showStatusBar = on ? 1 : 0;
}

void MainWindow::SetViewStyle(int style) {
  static const char* const kItems[] = {"LargeIcons1", "SmallIcons1", "List1", "Details1"};
  if (style < kViewLargeIcons || style > kViewDetails) return;
  resultList_->SetViewStyle(static_cast<ViewStyle>(style));
  actions_[kItems[style]]->setChecked(true);
}

// ---- layout ----

void MainWindow::ApplyLayout() {
  if (fatal_ || layingOut_ > 0) return;
  ++layingOut_;
  const int panMain = panel1_->width() - kPButtonWidth;
  const WindowLayout layout =
      LayOutWindow(design_, width(), panMain, statusBar()->isVisible() ? statusBar()->width() : 0);
  if (layout.restoreWindowWidth && width() != layout.windowWidth) {
    resize(layout.windowWidth, height());
  }
  const int mainWidth = layout.panMainWidth;
  panMain_->setGeometry(0, 0, mainWidth, kPanel1Height);
  pButton_->setGeometry(mainWidth, 0, kPButtonWidth, kPanel1Height);
  panBox_->setGeometry(kPanBoxInset, kPanBoxInset, layout.panBoxWidth,
                       kPanel1Height - 2 * kPanBoxInset);
  cbQuery_->resize(layout.queryWidth, cbQuery_->height());
  cbDup_->resize(layout.duplicatesWidth, cbDup_->height());
  cbFil_->resize(layout.filterWidth, cbFil_->height());
  resultList_->SetUrlColumnWidth(layout.urlColumnWidth);
  statusPanel1_->setFixedWidth(layout.statusPanel1Width);
  --layingOut_;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // The central widget has its new size only after the layout ran; panel1_ follows the window.
  panel1_->resize(width(), kPanel1Height);
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
  if ((watched == cbDup_ || watched == cbFil_) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      StartSearchCommand();
      return true;
    }
  }
  if ((watched == tabSheet1_ || watched == tabSheet2_) && event->type() == QEvent::Resize) {
    QWidget* page = static_cast<QWidget*>(watched);
    QWidget* banner = watched == tabSheet1_ ? pBanner_ : pBanner2_;
    banner->move(BannerLeft(page->width()), kBannerTop);
  }
  return QMainWindow::eventFilter(watched, event);
}

int MainWindow::FocusedEntry() const {
  const int row = resultList_->FocusedRow();
  return row >= 0 && row < document_.entries.Count() ? row : -1;
}

}  // namespace sondrel
