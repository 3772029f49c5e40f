#include "shell/directory_dialog.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStyle>
#include <QVBoxLayout>

#include "results/settings.h"
#include "shell/display_text.h"
#include "shell/message_box.h"
#include "shell/shell_texts.h"
#include "support/text.h"

namespace sondrel {

namespace {

namespace fs = std::filesystem;

QString Text(std::string_view fixed) { return QString::fromUtf8(fixed.data(), static_cast<qsizetype>(fixed.size())); }

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// Absolute, without "." and ".." and without a trailing slash; the nearest directory that exists.
std::string ExistingDirectory(std::string_view given, const std::string& fallback) {
  if (given.empty()) return fallback;
  std::error_code error;
  fs::path path = fs::absolute(fs::path(std::string(given)), error);
  if (error) return fallback;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  while (!IsDirectory(text)) {
    if (text == "/") return fallback;
    text = ParentOf(text);
  }
  return text;
}

bool IsInside(const std::string& path, const std::string& root) {
  if (root == "/") return true;
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

// A name typed for a new directory must name one entry of the current directory.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

class DirectoryDialog : public QDialog {
 public:
  DirectoryDialog(QWidget* parent, std::string_view directory);
  const std::string& Directory() const { return directory_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void accept() override;

 private:
  void SetDirectory(const std::string& directory);
  void Refill();
  void DriveChosen(int index);
  void EntryActivated(QListWidgetItem* item);
  void MakeDirectory();
  void RemoveDirectory();

  std::vector<std::string> drives_;
  std::string root_;       // the chosen drive
  std::string directory_;  // the list's directory
  std::vector<std::string> paths_;  // one per list entry
  QComboBox* driveBox_;
  QLabel* pathLabel_;
  QListWidget* list_;
  QMenu* popup_;
  QAction* removeAction_;
};

DirectoryDialog::DirectoryDialog(QWidget* parent, std::string_view directory) : QDialog(parent) {
  setObjectName("TTChDir");
  setWindowTitle(Text(shell_texts::kDirectoryCaption));
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(Text(shell_texts::kDirectoryHeading), this);
  layout->addWidget(heading);

  std::string home(QFile::encodeName(QDir::homePath()).constData());
  drives_.push_back("/");
  if (home.size() > 1 && home.front() == '/' && IsDirectory(home)) {
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home != "/") drives_.push_back(home);
  }
  driveBox_ = new QComboBox(this);
  driveBox_->setObjectName("DriveBox");
  for (const std::string& drive : drives_) driveBox_->addItem(DisplayText(drive));
  layout->addWidget(driveBox_);

  pathLabel_ = new QLabel(this);
  pathLabel_->setObjectName("LPath");
  layout->addWidget(pathLabel_);

  list_ = new QListWidget(this);
  list_->setObjectName("DirList");
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(list_);

  popup_ = new QMenu(this);
  popup_->setObjectName("PopupDir");
  QAction* makeAction = popup_->addAction(Text(shell_texts::kMakeDirectoryItem));
  makeAction->setObjectName("MakeDir");
  removeAction_ = popup_->addAction(Text(shell_texts::kRemoveDirectoryItem));
  removeAction_->setObjectName("RemoveDir");
  removeAction_->setEnabled(false);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(makeAction, &QAction::triggered, this, [this] { MakeDirectory(); });
  connect(removeAction_, &QAction::triggered, this, [this] { RemoveDirectory(); });
  connect(list_, &QListWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popup_->popup(list_->viewport()->mapToGlobal(pos)); });
  connect(list_, &QListWidget::currentRowChanged, this,
          [this](int row) { removeAction_->setEnabled(row > 0); });
  connect(list_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { EntryActivated(item); });
  list_->installEventFilter(this);

  const std::string start = ExistingDirectory(directory, drives_.back());
  int drive = 0;
  for (int i = static_cast<int>(drives_.size()) - 1; i > 0; --i) {
    if (IsInside(start, drives_[static_cast<std::size_t>(i)])) {
      drive = i;
      break;
    }
  }
  root_ = drives_[static_cast<std::size_t>(drive)];
  driveBox_->setCurrentIndex(drive);
  connect(driveBox_, &QComboBox::currentIndexChanged, this, [this](int index) { DriveChosen(index); });
  SetDirectory(start);
  resize(320, 360);
}

void DirectoryDialog::DriveChosen(int index) {
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  root_ = drives_[static_cast<std::size_t>(index)];
  SetDirectory(root_);
}

void DirectoryDialog::SetDirectory(const std::string& directory) {
  directory_ = IsInside(directory, root_) && IsDirectory(directory) ? directory : root_;
  Refill();
}

// Entry 0 is the drive's root, then each directory down to the current one, then the current
// directory's subdirectories; the current directory is the selected entry.
void DirectoryDialog::Refill() {
  paths_.clear();
  std::vector<std::string> chain;
  for (std::string path = directory_;; path = ParentOf(path)) {
    chain.push_back(path);
    if (path == root_ || path == "/") break;
  }
  std::reverse(chain.begin(), chain.end());

  std::vector<std::string> children;
  std::error_code error;
  for (fs::directory_iterator it(directory_, error), end; !error && it != end; it.increment(error)) {
    std::error_code statusError;
    if (!it->is_directory(statusError)) continue;
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;  // hidden directories stay out of the way
    children.push_back(name);
  }
  std::sort(children.begin(), children.end(), [](const std::string& a, const std::string& b) {
    return StrCompareNoCase(a, b) < 0;
  });

  const QSignalBlocker blocker(list_);
  list_->clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (std::size_t level = 0; level < chain.size(); ++level) {
    const std::string& path = chain[level];
    const std::string name = level == 0 ? path : path.substr(path.find_last_of('/') + 1);
    list_->addItem(new QListWidgetItem(openIcon, QString(static_cast<qsizetype>(level * 2), ' ') + DisplayText(name)));
    paths_.push_back(path);
  }
  const QString indent(static_cast<qsizetype>(chain.size() * 2), ' ');
  for (const std::string& name : children) {
    list_->addItem(new QListWidgetItem(closedIcon, indent + DisplayText(name)));
    paths_.push_back(directory_ == "/" ? "/" + name : directory_ + "/" + name);
  }
  const int current = static_cast<int>(chain.size()) - 1;
  list_->setCurrentRow(current);
  removeAction_->setEnabled(current > 0);
  pathLabel_->setText(DisplayText(directory_));
}

void DirectoryDialog::EntryActivated(QListWidgetItem* item) {
  const int row = list_->row(item);
  if (row < 0 || row >= static_cast<int>(paths_.size())) return;
  SetDirectory(paths_[static_cast<std::size_t>(row)]);
}

// Enter opens the selected directory; it must not reach the dialog, where it would press OK.
bool DirectoryDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (QListWidgetItem* item = list_->currentItem()) EntryActivated(item);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// A longer path cannot be kept: cut, it would name some other directory.
void DirectoryDialog::accept() {
  if (directory_.size() > kMaxDownloadDirectory) {
    std::string text(shell_texts::kDirectoryTooLong);
    const std::size_t mark = text.find("%d");
    if (mark != std::string::npos) text.replace(mark, 2, std::to_string(kMaxDownloadDirectory));
    MessageBoxFormat(this, kMbWarning, shell_texts::kProgramName, text);
    return;
  }
  QDialog::accept();
}

void DirectoryDialog::MakeDirectory() {
  QInputDialog input(this);
  input.setWindowTitle(Text(shell_texts::kMakeDirectoryCaption));
  input.setLabelText(Text(shell_texts::kMakeDirectoryPrompt));
  input.setInputMode(QInputDialog::TextInput);
  if (input.exec() != QDialog::Accepted) return;
  const std::string name = StoredText(input.textValue());
  bool made = false;
  if (IsPlainName(name)) {
    std::error_code error;
    made = fs::create_directory(fs::path(directory_) / name, error) && !error;
  }
  if (!made) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, shell_texts::kMakeDirectoryFailed);
  }
  Refill();
}

void DirectoryDialog::RemoveDirectory() {
  const int row = list_->currentRow();
  if (row <= 0 || row >= static_cast<int>(paths_.size())) return;
  const std::string path = paths_[static_cast<std::size_t>(row)];
  std::string question(shell_texts::kRemoveDirectoryQuestion);
  question += '\n';
  question += path;
  if (MessageBoxFormat(this, kMbYesNo | kMbIconQuestion, shell_texts::kProgramName, question) != kIdYes) {
    return;
  }
  SetDirectory(ParentOf(path));
  // Only a real, empty directory goes: a link is not followed and nothing inside is deleted.
  std::error_code error;
  const bool removed = fs::is_directory(fs::symlink_status(path, error)) && !error &&
                       fs::remove(path, error) && !error;
  if (!removed) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, shell_texts::kRemoveDirectoryFailed);
  }
  Refill();
}

}  // namespace

bool ChooseDirectory(QWidget* parent, std::string& directory) {
  DirectoryDialog dialog(parent, directory);
  if (dialog.exec() != QDialog::Accepted) return false;
  directory = dialog.Directory();
  return true;
}

}  // namespace sondrel
