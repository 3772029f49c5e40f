// Start Search, Stop, New Search, the verification commands and Update Engines: the work that
// puts the window into its busy state and takes it out again.

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "engines/engine_update.h"
#include "engines/search_texts.h"
#include "engines/update_texts.h"
#include "net/net_progress.h"
#include "results/project_file.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/move_image_animation.h"
#include "shell/progress_dialog.h"
#include "shell/result_list.h"
#include "shell/shell_texts.h"
#include "support/text.h"
#include "tasks/search_thread.h"

namespace sondrel {
namespace {

template <typename T, typename Done>
void DropEnded(std::vector<std::unique_ptr<T>>& items, Done done) {
  std::erase_if(items, [&](const std::unique_ptr<T>& item) { return done(*item); });
}

}  // namespace

void MainWindow::StartSearchCommand() {
  if (busy_ || fatal_) return;
  SetStopFlag(false);
  const QString text = cbQuery_->currentText();
  if (Trimmed(StoredText(text)).empty()) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, kEmptyQueryText);
    return;
  }
  ControlsToDocument();
  AddSearchHistory(settings_, document_.query);
  RebuildQueryList();
  document_.modified = true;
  if (!document_.merge) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    document_.entries.Clear();
    resultList_->RefillResultList();
    QApplication::restoreOverrideCursor();
    UpdateCountLabel();
  }
  currentProjectPath_ = ProjectPathFromQuery(StoredText(text), home_);
  UpdateWindowCaption();
  UpdateCommands();
  SetBusy(true);
  animation_->Start();

  DropEnded(searchThreads_, [](const WorkerThread& thread) { return IsFinished(thread); });
  auto thread = std::make_unique<WorkerThread>();
  switch (StartSearch(*session_, *thread)) {
    case kSearchStarted:
      searchThreads_.push_back(std::move(thread));
      break;
    case kSearchRanHere:
      break;  // a test run: its completion has run already
    default:
      // No thread could be started: nothing will end the busy state but us.
      SearchEnded();
      break;
  }
}

void MainWindow::SearchEnded() {
  animation_->Stop();
  SetBusy(false);
  UpdateCommands();
  UpdateCountLabel();
}

void MainWindow::StopCommand() {
  StopSearch(*session_);
  for (const auto& run : verifyRuns_) StopVerification(*run);
}

void MainWindow::NewSearch() {
  if (busy_) return;
  cbQuery_->setEnabled(true);
  cbQuery_->setEditText(QString());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  document_.entries.Clear();
  resultList_->RefillResultList();
  QApplication::restoreOverrideCursor();
  UpdateCountLabel();
  UpdateCommands();
}

void MainWindow::VerifyCommand() {
  if (busy_) return;
  StartVerification(false);
}

void MainWindow::StartVerification(bool all) {
  DropEnded(verifyRuns_,
            [](const VerifyRun& run) { return !run.started || IsFinished(run.thread); });
  auto run = std::make_unique<VerifyRun>();
  VerifyCallbacks callbacks;
  callbacks.rowUpdated = [this](int entry) { resultList_->Model().RowChanged(entry); };
  callbacks.progress = [this](const std::string& text) { SetVerifyText(DisplayText(text)); };
  callbacks.finished = [this](int removed) { VerificationEnded(removed); };
  const VerifyConfig config = VerifyConfigFrom(settings_);
  const int started =
      all ? VerifyAll(*run, document_, config, std::move(callbacks), resultList_)
          : VerifySelected(*run, document_, *resultList_, config, std::move(callbacks));
  if (started != kVerifyStarted) return;
  verifyRuns_.push_back(std::move(run));
  SetBusy(true);
  animation_->Start();
  if (!all) {
    QFont font = resultList_->font();
    font.setItalic(true);
    resultList_->setFont(font);
  }
}

void MainWindow::VerificationEnded(int) {
  animation_->Stop();
  SetBusy(false);
  QFont font = resultList_->font();
  font.setItalic(false);
  resultList_->setFont(font);
  SetVerifyText(QString());
  UpdateCommands();
  UpdateCountLabel();
}

void MainWindow::UpdateEnginesCommand() {
  if (busy_ || fatal_) return;
  QAction* process = actions_["Process1"];
  process->setEnabled(false);
  bStart_->setEnabled(false);
  int result = kUpdateFailed;
  EngineUpdateTarget target{engines_, settings_, databasePath_, database_};
  CancelFlag cancel;
  const bool cancelled = RunWithProgress(
      this,
      [&](ProgressWindow& window) {
        window.SetCaption(kUpdateProgressCaption);
        UpdateCommandView view;
        view.cancel = &cancel;
        view.status = [&window](std::string_view text) { window.SetLine(text); };
        view.bar = [&window](std::int64_t position, std::int64_t total) {
          window.SetBar(position, total);
        };
        result = RunUpdateEngines(target, view);
      },
      [&cancel] {
        // Cancel reaches the fetch through the update's own flag, which its waits test.
        cancel.Cancel();
        return true;
      });
  if (cancelled) result = kUpdateFailed;
  MessageBoxFormat(this, result == kUpdateFailed ? kMbError : kMbInformation, kUpdateMessageCaption,
                   result == kUpdateFailed && !cancelled ? UpdateFailureText(target.failure)
                                                         : std::string(UpdateOutcomeText(result)));
  process->setEnabled(!busy_);
  bStart_->setEnabled(!busy_);
}

}  // namespace sondrel
