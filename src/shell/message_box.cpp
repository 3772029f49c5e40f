#include "shell/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "shell/display_text.h"
#include "support/paths.h"

namespace sondrel {

namespace {

QMessageBox::Icon IconOf(int flags) {
  switch (flags & 0xF0) {
    case kMbIconStop: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

struct ButtonSet {
  QMessageBox::StandardButton buttons[3];
  int count;
};

ButtonSet ButtonsOf(int flags) {
  switch (flags & 0x0F) {
    case kMbOkCancel: return {{QMessageBox::Ok, QMessageBox::Cancel}, 2};
    case kMbYesNoCancel: return {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, 3};
    case kMbYesNo: return {{QMessageBox::Yes, QMessageBox::No}, 2};
    default: return {{QMessageBox::Ok}, 1};
  }
}

int IdOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    case QMessageBox::Cancel: return kIdCancel;
    default: return kIdOk;
  }
}

}  // namespace

int MessageBoxFormat(QWidget* parent, int flags, std::string_view caption, std::string_view text) {
  QMessageBox box(IconOf(flags), DisplayText(caption), DisplayText(CutUtf8(text, kMaxMessageText)),
                  QMessageBox::NoButton, parent);
  // Messages quote names and addresses from pages; markup in them must not be rendered.
  box.setTextFormat(Qt::PlainText);
  const ButtonSet set = ButtonsOf(flags);
  for (int i = 0; i < set.count; ++i) box.addButton(set.buttons[i]);
  int defaultIndex = (flags & kMbDefaultButton3) ? 2 : (flags & kMbDefaultButton2) ? 1 : 0;
  if (defaultIndex >= set.count) defaultIndex = 0;
  box.setDefaultButton(set.buttons[defaultIndex]);
  // Escape and the close button give the last button: Cancel, No, or the only one.
  box.setEscapeButton(set.buttons[set.count - 1]);
  box.exec();
  auto* clicked = box.clickedButton();
  if (clicked == nullptr) return IdOf(set.buttons[set.count - 1]);
  return IdOf(box.standardButton(clicked));
}

int ConfirmOverwrite(QWidget* parent, const std::string& path, std::string_view question,
                     std::string_view caption) {
  if (FileLengthOf(path) < 0) return 1;
  switch (MessageBoxFormat(parent, kMbIconQuestion | kMbYesNoCancel, caption, question)) {
    case kIdYes: return 1;
    case kIdNo: return 0;
    default: return 2;
  }
}

}  // namespace sondrel
