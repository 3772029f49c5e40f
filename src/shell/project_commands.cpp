// Projects: New, Open, Reopen, Save and Save As, the save question, and the Find and Filters
// choices going into the document and back out of it.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>

#include "results/project_file.h"
#include "results/results_texts.h"
#include "shell/application.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"
#include "support/paths.h"

namespace sondrel {
namespace {

// The box items in the order of the duplicate and filter rules they stand for.
constexpr std::uint8_t kFilterOfItem[] = {kFilterNone, kFilterName, kFilterUrl};

int FilterItemOf(std::uint8_t filter) {
  for (int i = 0; i < 3; ++i) {
    if (kFilterOfItem[i] == filter) return i;
  }
  return -1;
}

// "Sondrel projects (*.sdp)|*.sdp" -> "Sondrel projects (*.sdp)"
QString ProjectNameFilter() {
  std::string_view filter = texts::kProjectFilter;
  return DisplayText(filter.substr(0, filter.find('|')));
}

}  // namespace

void MainWindow::ControlsToDocument() {
  const std::string query = CutUtf8(StoredText(queryBox_->currentText()), kMaxQuery);
  std::uint8_t duplicates = program_.Document().duplicates;
  if (duplicatesBox_->currentIndex() == 0) duplicates = kKeepDuplicates;
  if (duplicatesBox_->currentIndex() == 1) duplicates = kRemoveDuplicateUrls;
  const int filterItem = filterBox_->currentIndex();
  std::uint8_t filter = kFilterNone;
  if (filterItem >= 0 && filterItem < 3) filter = kFilterOfItem[filterItem];
  SetSearchChoices(program_.Document(), query, duplicates, filter, mergeCheck_->isChecked());
}

void MainWindow::DocumentToControls() {
  queryBox_->setEditText(DisplayText(program_.Document().query));
  mergeCheck_->setChecked(program_.Document().merge != 0);
  if (program_.Document().duplicates == kKeepDuplicates) duplicatesBox_->setCurrentIndex(0);
  if (program_.Document().duplicates == kRemoveDuplicateUrls) duplicatesBox_->setCurrentIndex(1);
  // A code no box item stands for keeps the box as it was.
  const int filterItem = FilterItemOf(program_.Document().filter);
  if (filterItem >= 0) filterBox_->setCurrentIndex(filterItem);
}

void MainWindow::LoadDocumentIntoWindow(const std::string& path) {
  SetStatusText(texts::kStatusOpening);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int loaded = LoadDocument(path, program_.Document());
  resultList_->RefillResultList();
  QApplication::restoreOverrideCursor();
  SetStatusText(texts::kStatusIdle);
  const bool read = loaded != kLoadNotProject;
  if (read) RememberProject(program_.CurrentSettings(), path);
  RebuildReopenMenu();
  if (read) {
    AddSearchHistory(program_.CurrentSettings(), program_.Document().query);
    RebuildQueryList();
  }
  UpdateCommands();
  UpdateCountLabel();
  DocumentToControls();
}

bool MainWindow::SaveDocumentTo(const std::string& path) {
  SetStatusText(texts::kStatusSaving);
  ControlsToDocument();
  const bool written = WriteDocument(path, program_.Document());
  if (written) {
    RememberProject(program_.CurrentSettings(), path);
    RebuildReopenMenu();
  }
  SetStatusText(texts::kStatusIdle);
  return written;
}

bool MainWindow::SaveQuery() {
  if (!program_.Document().modified || program_.Document().entries.Count() == 0) return true;
  switch (
      MessageBoxFormat(this, kMbSaveQuestion, shell_texts::kProgramName, texts::kSaveQuestion)) {
    case kIdYes:
      return SaveProject();
    case kIdNo:
      return true;
    default:
      return false;
  }
}

std::string MainWindow::AskProjectPath(bool save) {
  QFileDialog dialog(this, DisplayText(save ? texts::kSaveDialogTitle : texts::kOpenDialogTitle));
  dialog.setObjectName(save ? "SaveDialog" : "OpenDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // Save As asks about an existing file itself, with the program's own question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(DisplayText(texts::kProjectExtension));
  dialog.setNameFilter(ProjectNameFilter());
  if (program_.CurrentProjectPath().empty()) {
    dialog.setDirectory(DisplayText(program_.Home()));
  } else {
    dialog.selectFile(DisplayText(program_.CurrentProjectPath()));
  }
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : StoredText(chosen.front());
}

void MainWindow::NewProject() {
  if (busy_ || !SaveQuery()) return;
  program_.SetCurrentProjectPath({});
  LoadDocumentIntoWindow(std::string());
  UpdateWindowCaption();
}

void MainWindow::OpenProject() {
  if (busy_) return;
  const std::string path = AskProjectPath(false);
  if (path.empty() || !SaveQuery()) return;
  program_.SetCurrentProjectPath(path);
  LoadDocumentIntoWindow(path);
  UpdateWindowCaption();
}

void MainWindow::ReopenProject(const std::string& path) {
  if (busy_) return;
  program_.SetCurrentProjectPath(path);
  LoadDocumentIntoWindow(path);
  UpdateWindowCaption();
}

void MainWindow::OpenProjectFile(const std::string& path) {
  if (busy_) return;
  if (FileLengthOf(path) < 0) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName,
                     std::string(shell_texts::kProjectMissing) + path);
    return;
  }
  ReopenProject(path);
}

bool MainWindow::SaveProject() {
  const bool saved = program_.CurrentProjectPath().empty()
                         ? SaveProjectAs()
                         : SaveDocumentTo(program_.CurrentProjectPath());
  UpdateWindowCaption();
  return saved;
}

bool MainWindow::SaveProjectAs() {
  const std::string path = AskProjectPath(true);
  if (path.empty()) return false;
  // The path becomes the project's only when the file is written: after a "No" to replacing
  // a file, a later Save must not replace it silently.
  if (ConfirmOverwrite(this, path, texts::kOverwriteQuestion, shell_texts::kProgramName) != 1) {
    return false;
  }
  program_.SetCurrentProjectPath(path);
  const bool saved = SaveDocumentTo(path);
  UpdateWindowCaption();
  return saved;
}

void MainWindow::RebuildReopenMenu() {
  reopenMenu_->clear();
  const std::vector<ReopenItem> items =
      BuildReopenMenu(program_.CurrentSettings(), program_.CurrentProjectPath());
  for (const ReopenItem& item : items) {
    QAction* action = reopenMenu_->addAction(DisplayText(item.caption));
    const std::string path = item.path;
    connect(action, &QAction::triggered, this, [this, path] { ReopenProject(path); });
  }
  commands_.reopenProject->setVisible(!items.empty());
}

}  // namespace sondrel
