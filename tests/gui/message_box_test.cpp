#include "shell/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/modal.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using guitest::WhenModalOpens;

constexpr const char* kEscape = "<Escape>";

struct SeenBox {
  QString caption;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

// Answers the next box with the button of that text (or the Escape key) and records what it showed.
void AnswerAndRecord(const QString& press, SeenBox& seen) {
  WhenModalOpens([press, &seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.format = box->textFormat();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen.buttons.push_back(box->standardButton(button));
    seen.defaultButton = box->standardButton(box->defaultButton());
    seen.escapeButton = box->standardButton(box->escapeButton());
    if (press == QLatin1String(kEscape)) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      guitest::ClickButton(box, press);
    }
  });
}

std::vector<QMessageBox::StandardButton> Sorted(std::vector<QMessageBox::StandardButton> buttons) {
  std::sort(buttons.begin(), buttons.end());
  return buttons;
}

TEST(MessageBoxFormatTest, FlagsChooseButtonsIconDefaultAndEscape) {
  using B = QMessageBox::StandardButton;
  struct Case {
    int flags;
    std::vector<B> buttons;
    QMessageBox::Icon icon;
    B defaultButton;
    B escapeButton;
    const char* press;
    int result;
  };
  const Case cases[] = {
      {kMbError, {B::Ok}, QMessageBox::Critical, B::Ok, B::Ok, "OK", kIdOk},
      {kMbWarning, {B::Ok}, QMessageBox::Warning, B::Ok, B::Ok, kEscape, kIdOk},
      {kMbInformation, {B::Ok}, QMessageBox::Information, B::Ok, B::Ok, "OK", kIdOk},
      {kMbSaveQuestion, {B::Yes, B::No, B::Cancel}, QMessageBox::Question, B::Yes, B::Cancel, "No",
       kIdNo},
      {kMbSaveQuestion, {B::Yes, B::No, B::Cancel}, QMessageBox::Question, B::Yes, B::Cancel,
       kEscape, kIdCancel},
      {kMbYesNo | kMbIconQuestion | kMbDefaultButton2, {B::Yes, B::No}, QMessageBox::Question, B::No,
       B::No, "Yes", kIdYes},
      {kMbYesNo | kMbIconExclamation, {B::Yes, B::No}, QMessageBox::Warning, B::Yes, B::No, kEscape,
       kIdNo},
      {kMbOkCancel | kMbDefaultButton2, {B::Ok, B::Cancel}, QMessageBox::NoIcon, B::Cancel,
       B::Cancel, "Cancel", kIdCancel},
      // A default past the last button falls back to the first.
      {kMbOk | kMbIconInformation | kMbDefaultButton3, {B::Ok}, QMessageBox::Information, B::Ok,
       B::Ok, "OK", kIdOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags << " press " << c.press);
    SeenBox seen;
    AnswerAndRecord(QString::fromLatin1(c.press), seen);
    EXPECT_EQ(MessageBoxFormat(nullptr, c.flags, "Caption", "Text"), c.result);
    EXPECT_EQ(seen.caption, QStringLiteral("Caption"));
    EXPECT_EQ(seen.text, QStringLiteral("Text"));
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(Sorted(seen.buttons), Sorted(c.buttons));
    EXPECT_EQ(seen.defaultButton, c.defaultButton);
    EXPECT_EQ(seen.escapeButton, c.escapeButton);
  }
}

TEST(MessageBoxFormatTest, TextIsCutAtTheLimitAndShownAsPlainText) {
  struct Case {
    std::string text;
    QString shown;
  };
  const Case cases[] = {
      {std::string(kMaxMessageText + 500, 'a'), QString(kMaxMessageText, QLatin1Char('a'))},
      {std::string(kMaxMessageText, 'b'), QString(kMaxMessageText, QLatin1Char('b'))},
      // The cut never splits a character: the two-byte letter at the limit goes whole.
      {std::string(kMaxMessageText - 1, 'c') + "\xC3\xA9",
       QString(kMaxMessageText - 1, QLatin1Char('c'))},
      // Names from pages may look like markup; they are shown as they are.
      {"<b>song</b> could not be saved", QStringLiteral("<b>song</b> could not be saved")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    SeenBox seen;
    AnswerAndRecord(QStringLiteral("OK"), seen);
    EXPECT_EQ(MessageBoxFormat(nullptr, kMbError, "Caption", c.text), kIdOk);
    EXPECT_EQ(seen.text, c.shown);
    EXPECT_EQ(seen.format, Qt::PlainText);
  }
}

TEST(ConfirmOverwriteTest, MissingFileNeedsNoQuestion) {
  testkit::TempDir dir;
  // Any box that opens is counted and dismissed, so a fault shows as a count, not a hang.
  int boxes = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&boxes] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      ++boxes;
      guitest::RejectModal(modal);
    }
  });
  watch.start(10);
  EXPECT_EQ(ConfirmOverwrite(nullptr, dir.File("absent.mp3"), "Overwrite?", "Caption"), 1);
  QTest::qWait(30);
  EXPECT_EQ(boxes, 0);
}

TEST(ConfirmOverwriteTest, ExistingFileAsksYesNoCancel) {
  testkit::TempDir dir;
  dir.Write("song.mp3", "data");
  struct Case {
    const char* press;
    int result;
  };
  const Case cases[] = {{"Yes", 1}, {"No", 0}, {"Cancel", 2}, {kEscape, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.press);
    SeenBox seen;
    AnswerAndRecord(QString::fromLatin1(c.press), seen);
    EXPECT_EQ(ConfirmOverwrite(nullptr, dir.File("song.mp3"), "Overwrite song.mp3?", "Save"),
              c.result);
    EXPECT_EQ(seen.text, QStringLiteral("Overwrite song.mp3?"));
    EXPECT_EQ(seen.caption, QStringLiteral("Save"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
  }
  EXPECT_EQ(dir.Read("song.mp3"), "data");
}

}  // namespace
}  // namespace sondrel
