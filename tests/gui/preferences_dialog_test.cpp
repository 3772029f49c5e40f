#include "shell/preferences_dialog.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "shell/launching.h"
#include "support/modal.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using guitest::AcceptModal;
using guitest::ClickButton;
using guitest::WhenModalOpens;
using guitest::WhenModalOpensOver;

template <typename T = QLineEdit>
T* Child(QWidget* dialog, const char* name) {
  T* child = dialog->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

std::vector<int> Icons(QWidget* dialog) {
  std::vector<int> icons;
  auto* list = Child<QListWidget>(dialog, "LVEngines");
  for (int row = 0; row < list->count(); ++row) icons.push_back(list->item(row)->data(Qt::UserRole).toInt());
  return icons;
}

std::vector<std::string> Names(const StringList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(*list.Get(i));
  return names;
}

void Press(QWidget* widget, Qt::Key key, int times) {
  for (int i = 0; i < times; ++i) QTest::keyClick(widget, key);
}

class PreferencesDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
      auto engine = std::make_unique<EngineDefinition>();
      engine->name = name;
      engine->homeUrl = std::string("http://") + name + ".example/";
      engine->enabled = 1;
      engines.Append(std::move(engine));
    }
    settings.enabledEngines.Add("Alpha");
    settings.enabledEngines.Add("Gamma");
    settings.maxConnections = 19;
    settings.timeoutSeconds = 495;
    settings.browserPath = "/usr/bin/browser";
    settings.ftpClientPath = "/opt/caf\xe9/ftp";  // Latin-1, not UTF-8
    settings.downloadDirectory = "/srv/down";
    settings.ftpProxyOn = 1;
    settings.ftpProxyAddress = "ftpproxy";
    settings.ftpProxyPort = 3128;
    AddSearchHistory(settings, "first");
    AddSearchHistory(settings, "second");
  }

  std::vector<int> Flags() const {
    std::vector<int> flags;
    for (int i = 0; i < engines.Count(); ++i) flags.push_back(engines.Get(i)->enabled);
    return flags;
  }

  Settings settings;
  EngineList engines;
};

TEST_F(PreferencesDialogTest, OkStoresEveryPage) {
  WhenModalOpens([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Preferences");
    // Flags come from the enabled names, not from the engines' current state.
    EXPECT_EQ(Icons(dialog), (std::vector<int>{1, 0, 1}));
    auto* list = Child<QListWidget>(dialog, "LVEngines");
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(Icons(dialog), (std::vector<int>{1, 1, 1}));

    Child(dialog, "EdWebBrowser")->setText(QString(300, 'b'));
    Child(dialog, "EdDirDown")->setText("/home/me/music");
    Child<QCheckBox>(dialog, "CBAbout")->setChecked(true);
    Child<QCheckBox>(dialog, "CBSearchHist")->setChecked(false);

    // Up-down fields take no typing, stop at their ends and the timeout moves by 5.
    QLineEdit* cnx = Child(dialog, "EdCnx");
    QLineEdit* timeout = Child(dialog, "EdTimeOut");
    EXPECT_EQ(cnx->text(), "19");
    EXPECT_EQ(timeout->text(), "495");
    QTest::keyClicks(cnx, "5");
    EXPECT_EQ(cnx->text(), "19");
    auto* upDownCnx = Child<QSpinBox>(dialog, "UpDownCnx");
    EXPECT_EQ(timeout->parentWidget(), Child<QSpinBox>(dialog, "UpDownTime"));
    Press(upDownCnx, Qt::Key_Up, 3);
    EXPECT_EQ(cnx->text(), "20");
    Press(upDownCnx, Qt::Key_Down, 25);
    EXPECT_EQ(cnx->text(), "1");
    Press(upDownCnx, Qt::Key_Up, 2);
    Press(timeout, Qt::Key_Up, 3);
    EXPECT_EQ(timeout->text(), "500");
    Press(timeout, Qt::Key_Down, 120);
    EXPECT_EQ(timeout->text(), "5");
    Press(timeout, Qt::Key_Up, 2);
    EXPECT_EQ(timeout->text(), "15");

    // Proxy fields follow their boxes.
    QLineEdit* proxy = Child(dialog, "EdProxyAdd");
    QLineEdit* ftpProxy = Child(dialog, "EdFProxyAdd");
    EXPECT_FALSE(proxy->isEnabled());
    EXPECT_FALSE(Child(dialog, "EdProxyPort")->isEnabled());
    EXPECT_TRUE(ftpProxy->isEnabled());
    Child<QCheckBox>(dialog, "CBProxy")->click();
    EXPECT_TRUE(proxy->isEnabled());
    EXPECT_TRUE(Child(dialog, "EdProxyPort")->isEnabled());
    proxy->setText("proxy.example");
    Child(dialog, "EdProxyPort")->setText("8080");
    Child<QCheckBox>(dialog, "CBFProxy")->click();
    EXPECT_FALSE(ftpProxy->isEnabled());
    EXPECT_FALSE(Child(dialog, "EdFProxyPort")->isEnabled());

    Child(dialog, "EdMaxResAll")->setText("many");
    Child(dialog, "EdMaxRes")->setText("250");
    Child<QCheckBox>(dialog, "CBAutoVerify")->setChecked(false);
    ClickButton(dialog, "&OK");
  });
  ASSERT_TRUE(ShowPreferences(nullptr, settings, engines));

  EXPECT_EQ(Names(settings.enabledEngines), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(settings.browserPath, std::string(kMaxProgramPath, 'b'));
  EXPECT_EQ(settings.ftpClientPath, "/opt/caf\xe9/ftp");
  EXPECT_EQ(settings.downloadDirectory, "/home/me/music");
  EXPECT_EQ(settings.showAbout, 1);
  EXPECT_EQ(settings.showSearchHistory, 0);
  EXPECT_EQ(settings.searchHistory.Count(), 0);
  EXPECT_EQ(settings.maxConnections, 3);
  EXPECT_EQ(settings.timeoutSeconds, 15);
  EXPECT_EQ(settings.webProxyOn, 1);
  EXPECT_EQ(settings.webProxyAddress, "proxy.example");
  EXPECT_EQ(settings.webProxyPort, 8080);
  EXPECT_EQ(settings.ftpProxyOn, 0);
  EXPECT_EQ(settings.ftpProxyAddress, "ftpproxy");
  EXPECT_EQ(settings.ftpProxyPort, 3128);
  EXPECT_EQ(settings.maxResultsTotal, 0);
  EXPECT_EQ(settings.maxResultsPerEngine, 250);
  EXPECT_EQ(settings.verifyAfterSearch, 0);
  EXPECT_EQ(settings.removeInvalidAfterVerify, 1);
}

TEST_F(PreferencesDialogTest, CancelKeepsSettingsButNotTheEngineFlags) {
  WhenModalOpens([](QWidget* dialog) {
    Child<QAction>(dialog, "UnselectAll")->trigger();
    EXPECT_EQ(Icons(dialog), (std::vector<int>{0, 0, 0}));
    Child<QTabWidget>(dialog, "Pages")->setCurrentIndex(1);
    auto* list = Child<QListWidget>(dialog, "LVEngines");
    // A double click is a press and release followed by the double-click press.
    const QPoint third = list->visualItemRect(list->item(2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(Icons(dialog), (std::vector<int>{0, 0, 1}));
    Child<QCheckBox>(dialog, "CBSearchHist")->setChecked(false);
    Child(dialog, "EdMaxRes")->setText("1");
    ClickButton(dialog, "&Cancel");
  });
  EXPECT_FALSE(ShowPreferences(nullptr, settings, engines));
  EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(Names(settings.enabledEngines), (std::vector<std::string>{"Alpha", "Gamma"}));
  EXPECT_EQ(settings.searchHistory.Count(), 2);
  EXPECT_EQ(settings.showSearchHistory, 1);
  EXPECT_EQ(settings.maxResultsPerEngine, 100);

  // The next opening starts again from the stored choice.
  WhenModalOpens([](QWidget* dialog) {
    EXPECT_EQ(Icons(dialog), (std::vector<int>{1, 0, 1}));
    Child<QAction>(dialog, "SelectAll")->trigger();
    // The file keeps 16-bit numbers: typed values are held to that range.
    Child(dialog, "EdMaxResAll")->setText("70000");
    Child(dialog, "EdMaxRes")->setText("-5");
    ClickButton(dialog, "&OK");
  });
  EXPECT_TRUE(ShowPreferences(nullptr, settings, engines));
  EXPECT_EQ(Names(settings.enabledEngines), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(settings.searchHistory.Count(), 2);
  EXPECT_EQ(settings.maxResultsTotal, 65535);
  EXPECT_EQ(settings.maxResultsPerEngine, 0);
}

TEST_F(PreferencesDialogTest, ButtonsBesideThePathsFillTheirFields) {
  testkit::TempDir temp;
  temp.Write("ftp-client", "");
  std::filesystem::create_directory(temp.File("downloads"));
  settings.downloadDirectory = temp.File("downloads");
  std::string detected;
  const bool found = DetectBrowser(detected);

  WhenModalOpens([&](QWidget* dialog) {
    QLineEdit* browser = Child(dialog, "EdWebBrowser");
    Child<QPushButton>(dialog, "BDetect")->click();
    EXPECT_EQ(browser->text().toStdString(), found ? detected : "/usr/bin/browser");

    WhenModalOpensOver(dialog, [&](QWidget* files) {
      auto* fileDialog = qobject_cast<QFileDialog*>(files);
      ASSERT_NE(fileDialog, nullptr);
      // Typed into the name field: selectFile() selects only what the folder model has read
      // so far, and accept() then asks about a file it has not seen.
      auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(temp.File("ftp-client")));
      AcceptModal(fileDialog);
    });
    Child<QPushButton>(dialog, "BGetDManager")->click();
    EXPECT_EQ(Child(dialog, "EdDManager")->text().toStdString(), temp.File("ftp-client"));

    // The directory dialog opens at the field's directory; OK puts its choice back.
    Child(dialog, "EdDirDown")->setText(QString::fromStdString(temp.path()));
    WhenModalOpensOver(dialog, [](QWidget* directories) { ClickButton(directories, "OK"); });
    Child<QPushButton>(dialog, "BDownDir")->click();
    EXPECT_EQ(Child(dialog, "EdDirDown")->text().toStdString(), temp.path());
    ClickButton(dialog, "&Cancel");
  });
  EXPECT_FALSE(ShowPreferences(nullptr, settings, engines));
  EXPECT_EQ(settings.downloadDirectory, temp.File("downloads"));
}

TEST_F(PreferencesDialogTest, KeysAreEnteredForTheEnginesThatNeedOneAndStoredOnOkOnly) {
  engines.Get(1)->action = "http://beta.example/find?q=__QUERY__&client_id=__KEY__";
  engines.Get(2)->headers.push_back("Authorization: Bearer __KEY__");
  SetEngineKey(settings, "Gamma", "old-gamma");
  // Typed into the key dialog of the current engine: surrounding spaces go.
  const auto enterKey = [](QWidget* dialog, int row, const QString& current, const QString& typed) {
    Child<QListWidget>(dialog, "LVEngines")->setCurrentRow(row);
    auto* key = Child<QPushButton>(dialog, "BEngineKey");
    ASSERT_TRUE(key->isEnabled());
    WhenModalOpensOver(dialog, [&](QWidget* modal) {
      auto* input = qobject_cast<QInputDialog*>(modal);
      ASSERT_NE(input, nullptr);
      EXPECT_EQ(input->textValue(), current);
      input->setTextValue(typed);
      AcceptModal(input);
    });
    key->click();
  };

  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    WhenModalOpens([&](QWidget* dialog) {
      auto* list = Child<QListWidget>(dialog, "LVEngines");
      list->setCurrentRow(0);
      EXPECT_FALSE(Child<QPushButton>(dialog, "BEngineKey")->isEnabled());
      EXPECT_TRUE(list->item(0)->toolTip().isEmpty());
      EXPECT_FALSE(list->item(1)->toolTip().isEmpty());
      enterKey(dialog, 1, "", "  beta-id\t ");
      enterKey(dialog, 1, "beta-id", "beta-2");  // the dialog remembers what was typed
      enterKey(dialog, 2, "old-gamma", "");      // empty removes the key
      ClickButton(dialog, ok ? "&OK" : "&Cancel");
    });
    EXPECT_EQ(ShowPreferences(nullptr, settings, engines), ok);
    EXPECT_EQ(EngineKey(settings, "Beta"), ok ? "beta-2" : "");
    EXPECT_EQ(EngineKey(settings, "Gamma"), ok ? "" : "old-gamma");
    EXPECT_EQ(EngineKey(settings, "Alpha"), "");
  }
}

TEST_F(PreferencesDialogTest, TheCaFileIsChosenOrTypedOnTheConnectionsPage) {
  testkit::TempDir temp;
  temp.Write("private-ca.pem", "");
  settings.caFile = "/etc/ssl/old-ca.pem";
  WhenModalOpens([&](QWidget* dialog) {
    QLineEdit* field = Child(dialog, "EdCaFile");
    EXPECT_EQ(field->text(), "/etc/ssl/old-ca.pem");
    // On the Connections page.
    auto* pages = Child<QTabWidget>(dialog, "Pages");
    EXPECT_TRUE(pages->widget(3)->isAncestorOf(field));
    WhenModalOpensOver(dialog, [&](QWidget* files) {
      auto* fileDialog = qobject_cast<QFileDialog*>(files);
      ASSERT_NE(fileDialog, nullptr);
      auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(temp.File("private-ca.pem")));
      AcceptModal(fileDialog);
    });
    Child<QPushButton>(dialog, "BCaFile")->click();
    EXPECT_EQ(field->text().toStdString(), temp.File("private-ca.pem"));
    ClickButton(dialog, "&OK");
  });
  ASSERT_TRUE(ShowPreferences(nullptr, settings, engines));
  EXPECT_EQ(settings.caFile, temp.File("private-ca.pem"));

  // Emptied: the system's trust store alone.
  WhenModalOpens([](QWidget* dialog) {
    Child(dialog, "EdCaFile")->clear();
    ClickButton(dialog, "&OK");
  });
  ASSERT_TRUE(ShowPreferences(nullptr, settings, engines));
  EXPECT_EQ(settings.caFile, "");
}

TEST_F(PreferencesDialogTest, EveryTabIsInSightAtTheDefaultSize) {
  WhenModalOpens([](QWidget* dialog) {
    auto* pages = Child<QTabWidget>(dialog, "Pages");
    QTabBar* bar = pages->tabBar();
    ASSERT_EQ(bar->count(), 5);
    for (int tab = 0; tab < bar->count(); ++tab) {
      SCOPED_TRACE(tab);
      EXPECT_LE(bar->tabRect(tab).right(), bar->width());
    }
    // No page is wider than the dialog either.
    for (int page = 0; page < pages->count(); ++page) {
      EXPECT_LE(pages->widget(page)->minimumSizeHint().width(), pages->width());
    }
    bool secondsLabel = false;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      secondsLabel = secondsLabel || label->text() == "Timeout by engine (seconds):";
    }
    EXPECT_TRUE(secondsLabel);
    ClickButton(dialog, "&Cancel");
  });
  EXPECT_FALSE(ShowPreferences(nullptr, settings, engines));
}

}  // namespace
}  // namespace sondrel
