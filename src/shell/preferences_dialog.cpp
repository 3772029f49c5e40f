#include "shell/preferences_dialog.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engines/query.h"
#include "shell/directory_dialog.h"
#include "shell/display_text.h"
#include "shell/launching.h"
#include "shell/shell_texts.h"
#include "support/text.h"

namespace sondrel {

namespace {

constexpr int kMinConnections = 1;
constexpr int kMaxConnections = 20;
constexpr int kMinTimeout = 5;
constexpr int kMaxTimeout = 500;
constexpr int kTimeoutStep = 5;
// The settings file keeps these numbers in 16 bits: a typed value outside that range would come
// back different after a restart.
constexpr long kMaxStoredNumber = 0xFFFF;
constexpr int kEngineIconRole = Qt::UserRole;  // 1 enabled, 0 disabled

QString Text(std::string_view fixed) {
  return QString::fromUtf8(fixed.data(), static_cast<qsizetype>(fixed.size()));
}

// Text that is not a number gives 0.
int NumberOf(const QLineEdit* field) {
  const long value = LeadingNumber(StoredText(field->text()));
  return static_cast<int>(std::clamp(value, 0L, kMaxStoredNumber));
}

// The field's bytes, cut at maxBytes. An untouched field gives back the stored bytes, so a path
// that is not UTF-8 survives the dialog unchanged.
std::string FieldBytes(const QLineEdit* field, const std::string& stored, std::size_t maxBytes) {
  if (field->text() == DisplayText(stored)) return CutUtf8(stored, maxBytes);
  return CutUtf8(StoredText(field->text()), maxBytes);
}

// A key is one line of the settings file: spaces around it and control characters go.
std::string KeyText(const QString& typed) {
  std::string key = StoredText(typed.trimmed());
  std::erase_if(key, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  return key;
}

// An up-down control whose field shows the position and takes no typing.
class UpDown : public QSpinBox {
 public:
  UpDown(const char* name, const char* fieldName, int minimum, int maximum, int step, int position,
         QWidget* parent)
      : QSpinBox(parent) {
    setObjectName(name);
    auto* field = new QLineEdit(this);
    field->setObjectName(fieldName);
    setLineEdit(field);
    setRange(minimum, maximum);
    setSingleStep(step);
    setValue(position);
    field->setReadOnly(true);
  }
  QLineEdit* Field() const { return lineEdit(); }
};

class PreferencesDialog : public QDialog {
 public:
  PreferencesDialog(QWidget* parent, const Settings& settings, EngineList& engines);
  void Store(Settings& settings) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* GeneralPage(const Settings& settings);
  QWidget* EnginesPage();
  QWidget* ProxyPage(const Settings& settings);
  QWidget* ConnectionsPage(const Settings& settings);
  QWidget* ResultsPage(const Settings& settings);
  QLineEdit* Field(const char* name, const std::string& bytes, QWidget* parent);
  QPushButton* Button(const char* name, const char* caption, QWidget* parent);
  void ChooseProgram(QLineEdit* field);
  void Detect(QLineEdit* field);
  void ChooseDownloadDirectory();
  void ShowEngineIcon(int row);
  void FlipEngine(int row);
  void SetAllEngines(bool enabled);
  void VisitEngine();
  void EnterEngineKey();
  void ShowKeyButton();
  void ChooseCaFile();

  EngineList& engines_;
  const Settings& original_;
  QIcon enabledIcon_;
  QIcon disabledIcon_;
  QLineEdit* edWebBrowser_ = nullptr;
  QLineEdit* edDManager_ = nullptr;
  QLineEdit* edDirDown_ = nullptr;
  QCheckBox* cbSearchHist_ = nullptr;
  QCheckBox* cbAbout_ = nullptr;
  QListWidget* lvEngines_ = nullptr;
  QMenu* popupEngines_ = nullptr;
  QPushButton* bEngineKey_ = nullptr;
  // The keys entered in this dialog by engine name (empty: removed), stored on OK only.
  std::map<std::string, std::string> enteredKeys_;
  QLineEdit* edCaFile_ = nullptr;
  QCheckBox* cbProxy_ = nullptr;
  QLineEdit* edProxyAdd_ = nullptr;
  QLineEdit* edProxyPort_ = nullptr;
  QCheckBox* cbFProxy_ = nullptr;
  QLineEdit* edFProxyAdd_ = nullptr;
  QLineEdit* edFProxyPort_ = nullptr;
  UpDown* upDownCnx_ = nullptr;
  UpDown* upDownTime_ = nullptr;
  QLineEdit* edMaxResAll_ = nullptr;
  QLineEdit* edMaxRes_ = nullptr;
  QCheckBox* cbAutoVerify_ = nullptr;
  QCheckBox* cbAutoRemoveInvalid_ = nullptr;
};

PreferencesDialog::PreferencesDialog(QWidget* parent, const Settings& settings, EngineList& engines)
    : QDialog(parent), engines_(engines), original_(settings) {
  setObjectName("TFOptions");
  setWindowTitle(Text(shell_texts::kPreferencesCaption));
  enabledIcon_ = style()->standardIcon(QStyle::SP_DialogApplyButton);
  disabledIcon_ = style()->standardIcon(QStyle::SP_DialogCancelButton);

  auto* pages = new QTabWidget(this);
  pages->setObjectName("Pages");
  pages->addTab(GeneralPage(settings), "General");
  pages->addTab(EnginesPage(), "Engines");
  pages->addTab(ProxyPage(settings), "Proxy");
  pages->addTab(ConnectionsPage(settings), "Connections");
  pages->addTab(ResultsPage(settings), "Results");

  auto* ok = Button("BOK", "&OK", this);
  auto* cancel = Button("BCancel", "&Cancel", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  layout->addLayout(buttons);
  // Every page's tab stays in sight: the dialog is at least as wide as the whole tab row.
  pages->setUsesScrollButtons(false);
  resize(sizeHint().expandedTo(QSize(311, 301)));
}

QLineEdit* PreferencesDialog::Field(const char* name, const std::string& bytes, QWidget* parent) {
  auto* field = new QLineEdit(DisplayText(bytes), parent);
  field->setObjectName(name);
  return field;
}

QPushButton* PreferencesDialog::Button(const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QWidget* PreferencesDialog::GeneralPage(const Settings& settings) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto pathGroup = [&](const char* title, QLineEdit* field, QPushButton* browse, QPushButton* detect) {
    auto* group = new QGroupBox(title, page);
    auto* row = new QHBoxLayout(group);
    field->setParent(group);
    browse->setParent(group);
    row->addWidget(field, 1);
    row->addWidget(browse);
    if (detect != nullptr) {
      detect->setParent(group);
      row->addWidget(detect);
    }
    layout->addWidget(group);
  };
  edWebBrowser_ = Field("EdWebBrowser", settings.browserPath, page);
  auto* getBrowser = Button("BGetBrowser", ">>", page);
  auto* detect = Button("BDetect", "&Detect", page);
  pathGroup("Web Browser", edWebBrowser_, getBrowser, detect);
  edDManager_ = Field("EdDManager", settings.ftpClientPath, page);
  auto* getManager = Button("BGetDManager", ">>", page);
  auto* managerDetect = Button("BDMDetect", "&Detect", page);
  pathGroup("FTP Client", edDManager_, getManager, managerDetect);
  edDirDown_ = Field("EdDirDown", settings.downloadDirectory, page);
  auto* downDir = Button("BDownDir", ">>", page);
  pathGroup("Download Directory", edDirDown_, downDir, nullptr);

  cbSearchHist_ = new QCheckBox("Show search history", page);
  cbSearchHist_->setObjectName("CBSearchHist");
  cbSearchHist_->setChecked(settings.showSearchHistory != 0);
  cbAbout_ = new QCheckBox("Show About box at startup", page);
  cbAbout_->setObjectName("CBAbout");
  cbAbout_->setChecked(settings.showAbout != 0);
  layout->addWidget(cbSearchHist_);
  layout->addWidget(cbAbout_);
  layout->addStretch();

  connect(getBrowser, &QPushButton::clicked, this, [this] { ChooseProgram(edWebBrowser_); });
  connect(getManager, &QPushButton::clicked, this, [this] { ChooseProgram(edDManager_); });
  connect(detect, &QPushButton::clicked, this, [this] { Detect(edWebBrowser_); });
  connect(managerDetect, &QPushButton::clicked, this, [this] { Detect(edDManager_); });
  connect(downDir, &QPushButton::clicked, this, [this] { ChooseDownloadDirectory(); });
  return page;
}

QWidget* PreferencesDialog::EnginesPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  lvEngines_ = new QListWidget(page);
  lvEngines_->setObjectName("LVEngines");
  lvEngines_->setContextMenuPolicy(Qt::CustomContextMenu);
  for (int i = 0; i < engines_.Count(); ++i) {
    lvEngines_->addItem(DisplayText(engines_.Get(i)->name));
    if (UsesUserKey(*engines_.Get(i))) {
      lvEngines_->item(i)->setToolTip(Text(shell_texts::kEngineNeedsKey));
    }
    ShowEngineIcon(i);
  }
  if (lvEngines_->count() > 0) lvEngines_->setCurrentRow(0);
  lvEngines_->installEventFilter(this);
  layout->addWidget(lvEngines_);
  bEngineKey_ = Button("BEngineKey", "", page);
  bEngineKey_->setText(Text(shell_texts::kPreferencesEngineKey));
  auto* keyRow = new QHBoxLayout;
  keyRow->addWidget(bEngineKey_);
  keyRow->addStretch();
  layout->addLayout(keyRow);
  ShowKeyButton();

  popupEngines_ = new QMenu(this);
  popupEngines_->setObjectName("PopupEngines");
  QAction* selectAll = popupEngines_->addAction(Text(shell_texts::kPreferencesSelectAll));
  selectAll->setObjectName("SelectAll");
  QAction* unselectAll = popupEngines_->addAction(Text(shell_texts::kPreferencesUnselectAll));
  unselectAll->setObjectName("UnselectAll");
  QAction* visit = popupEngines_->addAction(Text(shell_texts::kPreferencesVisitEngine));
  visit->setObjectName("VisitEngine");

  connect(lvEngines_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { FlipEngine(lvEngines_->row(item)); });
  connect(lvEngines_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    popupEngines_->popup(lvEngines_->viewport()->mapToGlobal(pos));
  });
  connect(selectAll, &QAction::triggered, this, [this] { SetAllEngines(true); });
  connect(unselectAll, &QAction::triggered, this, [this] { SetAllEngines(false); });
  connect(visit, &QAction::triggered, this, [this] { VisitEngine(); });
  connect(lvEngines_, &QListWidget::currentRowChanged, this, [this] { ShowKeyButton(); });
  connect(bEngineKey_, &QPushButton::clicked, this, [this] { EnterEngineKey(); });
  return page;
}

QWidget* PreferencesDialog::ProxyPage(const Settings& settings) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox("Servers", page);
  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel("Type", group), 0, 0);
  grid->addWidget(new QLabel("Address of proxy to use", group), 0, 1);
  grid->addWidget(new QLabel("Port number", group), 0, 2);
  auto proxyRow = [&](int row, const char* boxName, const char* caption, std::uint8_t on,
                      const char* addressName, const std::string& address, const char* portName,
                      int port, QCheckBox*& box, QLineEdit*& addressField, QLineEdit*& portField) {
    box = new QCheckBox(caption, group);
    box->setObjectName(boxName);
    box->setChecked(on != 0);
    addressField = Field(addressName, address, group);
    portField = Field(portName, std::to_string(port), group);
    grid->addWidget(box, row, 0);
    grid->addWidget(addressField, row, 1);
    grid->addWidget(portField, row, 2);
    addressField->setEnabled(box->isChecked());
    portField->setEnabled(box->isChecked());
    connect(box, &QCheckBox::toggled, addressField, &QWidget::setEnabled);
    connect(box, &QCheckBox::toggled, portField, &QWidget::setEnabled);
  };
  proxyRow(1, "CBProxy", "HTTP", settings.webProxyOn, "EdProxyAdd", settings.webProxyAddress,
           "EdProxyPort", settings.webProxyPort, cbProxy_, edProxyAdd_, edProxyPort_);
  proxyRow(2, "CBFProxy", "FTP", settings.ftpProxyOn, "EdFProxyAdd", settings.ftpProxyAddress,
           "EdFProxyPort", settings.ftpProxyPort, cbFProxy_, edFProxyAdd_, edFProxyPort_);
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);
  layout->addStretch();
  return page;
}

QWidget* PreferencesDialog::ConnectionsPage(const Settings& settings) {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  upDownCnx_ = new UpDown("UpDownCnx", "EdCnx", kMinConnections, kMaxConnections, 1,
                          settings.maxConnections, page);
  upDownTime_ = new UpDown("UpDownTime", "EdTimeOut", kMinTimeout, kMaxTimeout, kTimeoutStep,
                           settings.timeoutSeconds, page);
  grid->addWidget(new QLabel("Max Concurrent Connections:", page), 0, 0);
  grid->addWidget(upDownCnx_, 0, 1);
  grid->addWidget(new QLabel("Timeout by engine (seconds):", page), 1, 0);
  grid->addWidget(upDownTime_, 1, 1);

  auto* trust = new QGroupBox(Text(shell_texts::kTrustGroup), page);
  auto* trustLayout = new QVBoxLayout(trust);
  trustLayout->addWidget(new QLabel(Text(shell_texts::kCaFileLabel), trust));
  auto* caRow = new QHBoxLayout;
  edCaFile_ = Field("EdCaFile", settings.caFile, trust);
  auto* browse = Button("BCaFile", ">>", trust);
  caRow->addWidget(edCaFile_, 1);
  caRow->addWidget(browse);
  trustLayout->addLayout(caRow);
  grid->addWidget(trust, 2, 0, 1, 2);
  grid->setRowStretch(3, 1);
  connect(browse, &QPushButton::clicked, this, [this] { ChooseCaFile(); });
  return page;
}

QWidget* PreferencesDialog::ResultsPage(const Settings& settings) {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  edMaxResAll_ = Field("EdMaxResAll", std::to_string(settings.maxResultsTotal), page);
  edMaxRes_ = Field("EdMaxRes", std::to_string(settings.maxResultsPerEngine), page);
  cbAutoVerify_ = new QCheckBox("Verify results after searching", page);
  cbAutoVerify_->setObjectName("CBAutoVerify");
  cbAutoVerify_->setChecked(settings.verifyAfterSearch != 0);
  cbAutoRemoveInvalid_ = new QCheckBox("Remove Invalid results after verify", page);
  cbAutoRemoveInvalid_->setObjectName("CBAutoRemoveInvalid");
  cbAutoRemoveInvalid_->setChecked(settings.removeInvalidAfterVerify != 0);
  grid->addWidget(new QLabel("Max Results (total):", page), 0, 0);
  grid->addWidget(edMaxResAll_, 0, 1);
  grid->addWidget(new QLabel("Max Results by engine:", page), 1, 0);
  grid->addWidget(edMaxRes_, 1, 1);
  grid->addWidget(cbAutoVerify_, 2, 0, 1, 2);
  grid->addWidget(cbAutoRemoveInvalid_, 3, 0, 1, 2);
  grid->setRowStretch(4, 1);
  return page;
}

void PreferencesDialog::ChooseProgram(QLineEdit* field) {
  QFileDialog dialog(this, Text(shell_texts::kChooseProgramTitle));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(Text(shell_texts::kAllFilesFilter));
  if (!field->text().isEmpty()) dialog.selectFile(field->text());
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (!files.isEmpty()) field->setText(files.first());
}

void PreferencesDialog::ChooseCaFile() {
  QFileDialog dialog(this, Text(shell_texts::kChooseCaFileTitle));
  dialog.setObjectName("CaFileDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(Text(shell_texts::kCaFileFilter));
  if (!edCaFile_->text().isEmpty()) dialog.selectFile(edCaFile_->text());
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (!files.isEmpty()) edCaFile_->setText(files.first());
}

void PreferencesDialog::Detect(QLineEdit* field) {
  std::string browser;
  if (DetectBrowser(browser) && !browser.empty()) field->setText(DisplayText(browser));
}

void PreferencesDialog::ChooseDownloadDirectory() {
  std::string directory = FieldBytes(edDirDown_, original_.downloadDirectory, kMaxDownloadDirectory);
  if (ChooseDirectory(this, directory)) edDirDown_->setText(DisplayText(directory));
}

void PreferencesDialog::ShowEngineIcon(int row) {
  QListWidgetItem* item = lvEngines_->item(row);
  const EngineDefinition* engine = engines_.Get(row);
  if (item == nullptr || engine == nullptr) return;
  const int icon = engine->enabled != 0 ? 1 : 0;
  item->setIcon(icon == 1 ? enabledIcon_ : disabledIcon_);
  item->setData(kEngineIconRole, icon);
}

void PreferencesDialog::FlipEngine(int row) {
  EngineDefinition* engine = engines_.Get(row);
  if (engine == nullptr) return;
  engine->enabled = engine->enabled != 0 ? 0 : 1;
  ShowEngineIcon(row);
}

void PreferencesDialog::SetAllEngines(bool enabled) {
  SetAllEnabled(engines_, enabled);
  for (int i = 0; i < lvEngines_->count(); ++i) ShowEngineIcon(i);
}

void PreferencesDialog::VisitEngine() {
  const EngineDefinition* engine = engines_.Get(lvEngines_->currentRow());
  if (engine == nullptr || engine->homeUrl.empty()) return;
  LaunchUrl(engine->homeUrl);
}

void PreferencesDialog::ShowKeyButton() {
  const EngineDefinition* engine = engines_.Get(lvEngines_->currentRow());
  bEngineKey_->setEnabled(engine != nullptr && UsesUserKey(*engine));
}

// The key goes to the settings file only; it is shown in this field and nowhere else.
void PreferencesDialog::EnterEngineKey() {
  const EngineDefinition* engine = engines_.Get(lvEngines_->currentRow());
  if (engine == nullptr || !UsesUserKey(*engine)) return;
  const auto entered = enteredKeys_.find(engine->name);
  const std::string current =
      entered != enteredKeys_.end() ? entered->second : EngineKey(original_, engine->name);
  QInputDialog dialog(this);
  dialog.setObjectName("EngineKeyDialog");
  dialog.setWindowTitle(Text(shell_texts::kEngineKeyCaption));
  dialog.setLabelText(Text(shell_texts::kEngineKeyPrompt).arg(DisplayText(engine->name)));
  dialog.setTextValue(DisplayText(current));
  if (dialog.exec() != QDialog::Accepted) return;
  enteredKeys_[engine->name] = KeyText(dialog.textValue());
}

bool PreferencesDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvEngines_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    FlipEngine(lvEngines_->currentRow());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void PreferencesDialog::Store(Settings& settings) const {
  settings.browserPath = FieldBytes(edWebBrowser_, original_.browserPath, kMaxProgramPath);
  settings.ftpClientPath = FieldBytes(edDManager_, original_.ftpClientPath, kMaxProgramPath);
  settings.downloadDirectory =
      FieldBytes(edDirDown_, original_.downloadDirectory, kMaxDownloadDirectory);
  settings.showAbout = cbAbout_->isChecked() ? 1 : 0;
  SetShowSearchHistory(settings, cbSearchHist_->isChecked());
  settings.timeoutSeconds = NumberOf(upDownTime_->Field());
  settings.maxResultsPerEngine = NumberOf(edMaxRes_);
  settings.maxResultsTotal = NumberOf(edMaxResAll_);
  settings.webProxyOn = cbProxy_->isChecked() ? 1 : 0;
  settings.webProxyAddress = FieldBytes(edProxyAdd_, original_.webProxyAddress, kWebProxyField - 1);
  settings.webProxyPort = NumberOf(edProxyPort_);
  settings.ftpProxyOn = cbFProxy_->isChecked() ? 1 : 0;
  settings.ftpProxyAddress =
      FieldBytes(edFProxyAdd_, original_.ftpProxyAddress, kMaxFtpProxyAddress);
  settings.ftpProxyPort = NumberOf(edFProxyPort_);
  RebuildEnabledNames(engines_, settings.enabledEngines);
  for (const auto& [name, key] : enteredKeys_) SetEngineKey(settings, name, key);
  settings.caFile = FieldBytes(edCaFile_, original_.caFile, kMaxProgramPath);
  settings.maxConnections = NumberOf(upDownCnx_->Field());
  settings.verifyAfterSearch = cbAutoVerify_->isChecked() ? 1 : 0;
  settings.removeInvalidAfterVerify = cbAutoRemoveInvalid_->isChecked() ? 1 : 0;
}

}  // namespace

bool ShowPreferences(QWidget* parent, Settings& settings, EngineList& engines) {
  ApplyEnabledNames(engines, settings.enabledEngines);
  PreferencesDialog dialog(parent, settings, engines);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.Store(settings);
  return true;
}

}  // namespace sondrel
