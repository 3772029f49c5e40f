#include "shell/dialogs.h"

#include <functional>

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "net/ftp_url.h"
#include "net/url.h"
#include "shell/display_text.h"
#include "shell/message_box.h"
#include "shell/program_logo.h"
#include "shell/shell_texts.h"
#include "support/text.h"

namespace sondrel {

namespace {

// The addresses the program can verify and download: http, https and ftp, naming a server.
bool IsEntryAddress(std::string_view url) {
  if (IsFtpUrl(url)) return true;
  UrlParts parts;
  SplitUrl(url, parts);
  return (EqualsNoCase(parts.scheme, "http") || EqualsNoCase(parts.scheme, "https")) &&
         !parts.netloc.empty();
}

// The topics the Help key opens for each dialog.
constexpr int kFindHelpContext = 1201;
constexpr int kEntryHelpContext = 10;
constexpr int kViewHelpContext = 100;

constexpr int kAboutTextWidth = 165;
constexpr int kAboutTextHeight = 157;
constexpr int kAboutImageSize = 32;
constexpr int kFieldWidth = 320;

QString Q(std::string_view text) { return DisplayText(text); }

void PrepareDialog(QDialog& dialog, std::string_view caption, int helpContext) {
  dialog.setWindowTitle(Q(caption));
  dialog.setProperty("helpContext", helpContext);
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

// Fixed size, centred on the screen of the parent (or the primary screen).
void FixAndCentre(QDialog& dialog, QWidget* parent) {
  dialog.adjustSize();
  dialog.setFixedSize(dialog.size());
  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = dialog.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  dialog.move(frame.topLeft());
}

QPushButton* AddButton(QHBoxLayout* row, QDialog& dialog, std::string_view text,
                       const char* objectName, bool isDefault) {
  auto* button = new QPushButton(Q(text), &dialog);
  button->setObjectName(QLatin1String(objectName));
  button->setDefault(isDefault);
  button->setAutoDefault(isDefault);
  row->addWidget(button);
  return button;
}

QHBoxLayout* ButtonRow(QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  layout->addLayout(row);
  return row;
}

QLineEdit* AddField(QGridLayout* grid, QDialog& dialog, std::string_view label,
                    const char* objectName, const QString& value, bool readOnly) {
  const int line = grid->rowCount();
  auto* edit = new QLineEdit(value, &dialog);
  edit->setObjectName(QLatin1String(objectName));
  edit->setReadOnly(readOnly);
  edit->setMinimumWidth(kFieldWidth);
  edit->setCursorPosition(0);
  auto* caption = new QLabel(Q(label), &dialog);
  caption->setBuddy(edit);
  grid->addWidget(caption, line, 0);
  grid->addWidget(edit, line, 1);
  return edit;
}

void RunViewDialog(QWidget* parent, std::string_view caption,
                   const std::function<void(QGridLayout*, QDialog&)>& fill,
                   std::string_view note) {
  QDialog dialog(parent);
  PrepareDialog(dialog, caption, kViewHelpContext);
  auto* layout = new QVBoxLayout(&dialog);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  fill(grid, dialog);
  if (!note.empty()) {
    auto* label = new QLabel(Q(note), &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  QPushButton* close = AddButton(ButtonRow(layout), dialog, shell_texts::kDialogClose, "BClose", true);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  FixAndCentre(dialog, parent);
  dialog.exec();
}

}  // namespace

bool AskFind(QWidget* parent, std::string& text, std::size_t size, bool& selectMatching) {
  QDialog dialog(parent);
  PrepareDialog(dialog, shell_texts::kFindDialogCaption, kFindHelpContext);
  auto* layout = new QVBoxLayout(&dialog);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  const std::size_t limit = size > 0 ? size - 1 : 0;
  QLineEdit* edit = AddField(grid, dialog, shell_texts::kFindDialogLabel, "EdFind",
                             DisplayText(text), false);
  edit->setMaxLength(static_cast<int>(limit));
  edit->selectAll();
  auto* select = new QCheckBox(Q(shell_texts::kFindDialogSelect), &dialog);
  select->setObjectName(QStringLiteral("CBSelect"));
  select->setChecked(selectMatching);
  layout->addWidget(select);
  QHBoxLayout* row = ButtonRow(layout);
  QPushButton* ok = AddButton(row, dialog, shell_texts::kDialogOk, "BOK", true);
  QPushButton* cancel = AddButton(row, dialog, shell_texts::kDialogCancel, "BCancel", false);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  FixAndCentre(dialog, parent);
  edit->setFocus();
  if (dialog.exec() != QDialog::Accepted) return false;
  text = CutUtf8(StoredText(edit->text()), limit);
  selectMatching = select->isChecked();
  return true;
}

bool AskEntry(QWidget* parent, std::string& url, std::string& name, std::string_view caption) {
  QDialog dialog(parent);
  PrepareDialog(dialog, caption, kEntryHelpContext);
  auto* layout = new QVBoxLayout(&dialog);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  QLineEdit* edUrl =
      AddField(grid, dialog, shell_texts::kEntryDialogUrl, "EdUrl", DisplayText(url), false);
  QLineEdit* edName =
      AddField(grid, dialog, shell_texts::kEntryDialogName, "EdName", DisplayText(name), false);
  edUrl->setMaxLength(static_cast<int>(kMaxEntryUrl));
  edName->setMaxLength(static_cast<int>(kMaxEntryName));
  QHBoxLayout* row = ButtonRow(layout);
  QPushButton* ok = AddButton(row, dialog, shell_texts::kDialogOk, "BOK", true);
  QPushButton* cancel = AddButton(row, dialog, shell_texts::kDialogCancel, "BCancel", false);
  // Surrounding blanks come with pasted addresses and are never part of one.
  auto typedUrl = [edUrl] { return CutUtf8(StoredText(edUrl->text().trimmed()), kMaxEntryUrl); };
  QObject::connect(ok, &QPushButton::clicked, &dialog, [&dialog, edUrl, typedUrl] {
    const std::string candidate = typedUrl();
    if (!IsEntryAddress(candidate)) {
      (void)MessageBoxFormat(&dialog, kMbWarning, shell_texts::kProgramName,
                             shell_texts::kEntryDialogUrlWarning);
      edUrl->setFocus();
      return;
    }
    dialog.accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  FixAndCentre(dialog, parent);
  edUrl->setFocus();
  if (dialog.exec() != QDialog::Accepted) return false;
  url = typedUrl();
  name = CutUtf8(StoredText(edName->text()), kMaxEntryName);
  return !url.empty();
}

void ShowHttpEntry(QWidget* parent, std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  RunViewDialog(
      parent, shell_texts::kHttpEntryCaption,
      [&](QGridLayout* grid, QDialog& dialog) {
        AddField(grid, dialog, shell_texts::kEntryViewUrl, "EdUrl", DisplayText(url), true);
        AddField(grid, dialog, shell_texts::kEntryViewServer, "EdServer", DisplayText(parts.netloc),
                 true);
        AddField(grid, dialog, shell_texts::kEntryViewPath, "EdPath", DisplayText(parts.path), true);
      },
      {});
}

void ShowFtpEntry(QWidget* parent, std::string_view url) {
  FtpAddress address;
  (void)FtpUrlParts(url, address);
  RunViewDialog(
      parent, shell_texts::kFtpEntryCaption,
      [&](QGridLayout* grid, QDialog& dialog) {
        AddField(grid, dialog, shell_texts::kEntryViewUrl, "EdUrl", DisplayText(url), true);
        AddField(grid, dialog, shell_texts::kEntryViewServer, "EdServer",
                 DisplayText(address.host), true);
        AddField(grid, dialog, shell_texts::kEntryViewPort, "EdPort",
                 QString::number(address.port), true);
        AddField(grid, dialog, shell_texts::kEntryViewUser, "EdUser", DisplayText(address.user),
                 true);
        AddField(grid, dialog, shell_texts::kEntryViewPassword, "EdPass",
                 DisplayText(address.password), true);
        AddField(grid, dialog, shell_texts::kEntryViewDirectory, "EdDir", DisplayText(address.dir),
                 true);
        AddField(grid, dialog, shell_texts::kEntryViewFile, "EdFile", DisplayText(address.file),
                 true);
      },
      shell_texts::kFtpEntryNote);
}

void ShowAbout(QWidget* parent, std::string_view caption, std::string_view text) {
  QDialog dialog(parent);
  PrepareDialog(dialog, caption, kViewHelpContext);
  auto* layout = new QVBoxLayout(&dialog);
  auto* body = new QHBoxLayout;
  layout->addLayout(body);
  auto* image = new QLabel(&dialog);
  image->setObjectName(QStringLiteral("Image1"));
  image->setPixmap(ProgramLogo(kAboutImageSize));
  image->setFixedSize(kAboutImageSize, kAboutImageSize);
  body->addWidget(image, 0, Qt::AlignTop);
  auto* label = new QLabel(DisplayText(CutUtf8(text, kMaxMessageText)), &dialog);
  label->setObjectName(QStringLiteral("Id1"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFixedSize(kAboutTextWidth, kAboutTextHeight);
  body->addWidget(label);
  QPushButton* ok = AddButton(ButtonRow(layout), dialog, shell_texts::kDialogOk, "BOK", true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  FixAndCentre(dialog, parent);
  dialog.exec();
}

}  // namespace sondrel
