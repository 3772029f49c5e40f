#include "shell/directory_dialog.h"

#include <filesystem>
#include <string>

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "support/modal.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using guitest::AnswerNextMessage;
using guitest::ClickButton;
using guitest::WhenModalOpens;

QListWidget* List(QWidget* dialog) { return dialog->findChild<QListWidget*>("DirList"); }
QString PathShown(QWidget* dialog) { return dialog->findChild<QLabel*>("LPath")->text(); }
QAction* Action(QWidget* dialog, const char* name) { return dialog->findChild<QAction*>(name); }

// Selects the list entry showing name; false when there is none.
bool Select(QWidget* dialog, const QString& name) {
  QListWidget* list = List(dialog);
  for (int row = 0; row < list->count(); ++row) {
    if (list->item(row)->text().trimmed() == name) {
      list->setCurrentRow(row);
      return true;
    }
  }
  return false;
}

void Open(QWidget* dialog, const QString& name) {
  ASSERT_TRUE(Select(dialog, name)) << name.toStdString();
  QTest::keyClick(List(dialog), Qt::Key_Return);
}

// Answers the input box with name; the message box that may follow is answered with OK and its
// text kept in *message.
void MakeDirectory(QWidget* dialog, const QString& name, QString* message) {
  WhenModalOpens([name, message](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    if (input == nullptr) {
      ADD_FAILURE() << "no input box";
      guitest::RejectModal(modal);
      return;
    }
    EXPECT_EQ(input->windowTitle(), "Make directory");
    EXPECT_EQ(input->labelText(), "Enter the directory name:");
    if (message != nullptr) AnswerNextMessage("OK", message);
    input->setTextValue(name);
    input->accept();
  });
  Action(dialog, "MakeDir")->trigger();
}

TEST(DirectoryDialogTest, MakesAndRemovesDirectoriesInsideTheCurrentOne) {
  testkit::TempDir temp;
  const std::string base = temp.path() + "/base";
  fs::create_directories(base + "/full");
  temp.Write("base/full/file", "x");
  std::string directory = base;

  WhenModalOpens([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Change Directory");
    EXPECT_EQ(PathShown(dialog).toStdString(), base);

    MakeDirectory(dialog, "new", nullptr);
    EXPECT_TRUE(fs::is_directory(base + "/new"));
    EXPECT_TRUE(Select(dialog, "new"));

    // A typed name never reaches outside the current directory.
    for (const QString name : {"", "..", "/", "../escape", "sub/dir"}) {
      SCOPED_TRACE(name.toStdString());
      QString message;
      MakeDirectory(dialog, name, &message);
      EXPECT_EQ(message, "It is not possible to create the directory");
    }
    EXPECT_FALSE(fs::exists(temp.path() + "/escape"));
    EXPECT_FALSE(fs::exists(base + "/sub"));

    // The drive's root cannot be removed.
    List(dialog)->setCurrentRow(0);
    EXPECT_FALSE(Action(dialog, "RemoveDir")->isEnabled());

    ASSERT_TRUE(Select(dialog, "new"));
    QString question;
    AnswerNextMessage("Yes", &question);
    Action(dialog, "RemoveDir")->trigger();
    EXPECT_TRUE(question.startsWith(" Are you sure ?")) << question.toStdString();
    EXPECT_TRUE(question.endsWith(QString::fromStdString(base + "/new")));
    EXPECT_FALSE(fs::exists(base + "/new"));
    EXPECT_FALSE(Select(dialog, "new"));

    // A directory with files in it stays, whatever the answer.
    ASSERT_TRUE(Select(dialog, "full"));
    QString failure;
    WhenModalOpens([&failure](QWidget* confirm) {
      AnswerNextMessage("OK", &failure);
      ClickButton(confirm, "Yes");
    });
    Action(dialog, "RemoveDir")->trigger();
    EXPECT_EQ(failure, "It is not possible to remove the directory");
    EXPECT_TRUE(fs::exists(base + "/full/file"));

    Open(dialog, "full");
    EXPECT_EQ(PathShown(dialog).toStdString(), base + "/full");
    // Removing the directory the list is in moves the list to its parent first.
    fs::remove(base + "/full/file");
    AnswerNextMessage("Yes");
    Action(dialog, "RemoveDir")->trigger();
    EXPECT_FALSE(fs::exists(base + "/full"));
    EXPECT_EQ(PathShown(dialog).toStdString(), base);

    MakeDirectory(dialog, "chosen", nullptr);
    Open(dialog, "chosen");
    ClickButton(dialog, "OK");
  });
  EXPECT_TRUE(ChooseDirectory(nullptr, directory));
  EXPECT_EQ(directory, base + "/chosen");
}

// The drive box's second drive is the home directory.
class HomeFor {
 public:
  explicit HomeFor(const std::string& home) : saved_(qgetenv("HOME")) { qputenv("HOME", home.c_str()); }
  ~HomeFor() { qputenv("HOME", saved_); }

 private:
  QByteArray saved_;
};

TEST(DirectoryDialogTest, CancelLeavesTheDirectory) {
  testkit::TempDir temp;
  const std::string home = temp.path() + "/home";
  fs::create_directories(home + "/b");
  HomeFor homeFor(home);
  // A directory that no longer exists opens at its nearest existing parent.
  std::string directory = home + "/missing/deeper";
  const std::string given = directory;
  WhenModalOpens([&](QWidget* dialog) {
    auto* drives = dialog->findChild<QComboBox*>("DriveBox");
    ASSERT_EQ(drives->count(), 2);
    EXPECT_EQ(drives->itemText(0), "/");
    EXPECT_EQ(drives->currentIndex(), 1);
    EXPECT_EQ(PathShown(dialog).toStdString(), home);
    EXPECT_EQ(List(dialog)->item(0)->text().toStdString(), home);
    Open(dialog, "b");
    EXPECT_EQ(PathShown(dialog).toStdString(), home + "/b");
    drives->setCurrentIndex(0);
    EXPECT_EQ(PathShown(dialog), "/");
    ClickButton(dialog, "Cancel");
  });
  EXPECT_FALSE(ChooseDirectory(nullptr, directory));
  EXPECT_EQ(directory, given);
}

TEST(DirectoryDialogTest, RefusesADirectoryTooLongToKeep) {
  testkit::TempDir temp;
  const std::string deep = temp.path() + "/" + std::string(100, 'a') + "/" + std::string(100, 'b') +
                           "/" + std::string(60, 'c');
  ASSERT_GT(deep.size(), 255u);
  fs::create_directories(deep);
  std::string directory = deep;
  WhenModalOpens([](QWidget* dialog) {
    QString warning;
    AnswerNextMessage("OK", &warning);
    ClickButton(dialog, "OK");
    EXPECT_TRUE(warning.contains("255")) << warning.toStdString();
    EXPECT_TRUE(dialog->isVisible());
    ClickButton(dialog, "Cancel");
  });
  EXPECT_FALSE(ChooseDirectory(nullptr, directory));
  EXPECT_EQ(directory, deep);
}

}  // namespace
}  // namespace sondrel
