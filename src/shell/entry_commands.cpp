// The commands on the entries of the list: Find, selection, Cut, Copy, Delete, Add Entry,
// Delete Invalid Entries, sorting, Download File, Open Entry, Server and Directory, View Entry;
// and the commands that open the maker's pages, the manual, the preferences and the about box.

#include <QApplication>
#include <QComboBox>

#include "net/url.h"
#include "results/row_commands.h"
#include "results/settings.h"
#include "shell/application.h"
#include "shell/dialogs.h"
#include "shell/display_text.h"
#include "shell/download_window.h"
#include "shell/launching.h"
#include "shell/main_window.h"
#include "shell/manual.h"
#include "shell/message_box.h"
#include "shell/preferences_dialog.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {

void MainWindow::FindCommand() {
  if (!AskFind(this, program_.Find().text, kMaxFindText, program_.Find().selectMatching) ||
      program_.Find().text.empty())
    return;
  if (program_.Find().selectMatching) {
    SelectMatching(program_.Document(), *resultList_, program_.Find().text);
  } else {
    FindNext(program_.Document(), *resultList_, program_.Find().text, false);
  }
}

void MainWindow::FindAgainCommand() {
  FindNext(program_.Document(), *resultList_, program_.Find().text, true);
}

void MainWindow::SelectAllCommand() {
  SelectAll(program_.Document(), *resultList_);
}

void MainWindow::InvertSelectionCommand() {
  InvertSelection(program_.Document(), *resultList_);
}

void MainWindow::CutCommand() {
  if (busy_) return;
  CutEntries(program_.Document(), *resultList_);
}

void MainWindow::CopyCommand() {
  CopyEntries(program_.Document(), *resultList_);
}

void MainWindow::DeleteCommand() {
  if (busy_) return;
  DeleteEntries(program_.Document(), *resultList_);
}

void MainWindow::AddEntryCommand() {
  if (busy_) return;
  AddEntry(program_.Document(), *resultList_);
}

void MainWindow::DeleteInvalidCommand() {
  if (busy_) return;
  (void)DeleteInvalidEntries(program_.Document(), resultList_);
}

void MainWindow::SortCommand(int key) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (SortRows(program_.Document(), *resultList_, static_cast<SortKey>(key), busy_)) {
    resultList_->ShowSortIndicator(static_cast<SortKey>(key));
  }
  QApplication::restoreOverrideCursor();
}

void MainWindow::DownloadCommand() {
  if (busy_) return;
  const int row = resultList_->FirstSelectedRow();
  const ResultEntry* entry = program_.Document().entries.Get(row);
  if (!entry) return;
  if (DownloadSelected(this, *entry, program_.CurrentSettings(), program_.Home()))
    resultList_->Model().SetRowIcon(row, 1);
}

void MainWindow::OpenEntryCommand(int what) {
  const int row = FocusedEntry();
  if (row < 0) return;
  const std::string& url = program_.Document().entries.Get(row)->url;
  const std::string& program =
      what == 0 ? program_.CurrentSettings().ftpClientPath : program_.CurrentSettings().browserPath;
  const std::string argument = what == 0 ? url : what == 1 ? RootUrl(url) : DirectoryUrl(url);
  if (RunWithArgument(program, argument)) {
    resultList_->Model().SetRowIcon(row, 1);
  } else {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName,
                     std::string(shell_texts::kProgramFailed) + program);
  }
}

void MainWindow::ViewEntryCommand() {
  const int row = FocusedEntry();
  if (row < 0) return;
  const std::string url = program_.Document().entries.Get(row)->url;
  UrlParts parts;
  (void)SplitUrl(url, parts);
  if (EqualsNoCase(parts.scheme, "ftp")) {
    ShowFtpEntry(this, url);
  } else {
    ShowHttpEntry(this, url);
  }
}

void MainWindow::PreferencesCommand() {
  if (ShowPreferences(this, program_.CurrentSettings(), program_.Engines())) {
    (void)MakeDirectories(program_.Home());
    (void)WriteSettings(SettingsPath(program_.Home()), program_.CurrentSettings());
    program_.ApplyTrustSettings();
  }
  RebuildQueryList();
}

void MainWindow::AboutCommand() {
  std::string text(shell_texts::kAboutText1);
  text.append("\n\n").append(shell_texts::kAboutText2);
  ShowAbout(this, shell_texts::kAboutCaption, CutUtf8(text, shell_texts::kMaxAboutText));
}

void MainWindow::HelpIndexCommand() {
  const std::string manual = ManualIndexPath();
  if (manual.empty()) {
    MessageBoxFormat(this, kMbInformation, shell_texts::kProgramName,
                     shell_texts::kHelpManualMissing);
    return;
  }
  OpenAddress(manual, false);
}

void MainWindow::OpenAddress(std::string_view address, bool withBrowser) {
  const bool opened = withBrowser ? OpenWithBrowser(address) : LaunchUrl(address);
  if (!opened) {
    MessageBoxFormat(this, kMbInformation, shell_texts::kProgramName,
                     std::string(shell_texts::kAddressFailed) + std::string(address));
  }
}

}  // namespace sondrel
