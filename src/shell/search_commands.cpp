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
#include "shell/application.h"
#include "shell/banner.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/move_image_animation.h"
#include "shell/progress_dialog.h"
#include "shell/result_list.h"
#include "shell/search_report_view.h"
#include "shell/shell_texts.h"
#include "shell/window_status.h"
#include "support/text.h"
#include "tasks/search_thread.h"

namespace sondrel {

void MainWindow::StartSearchCommand() {
  if (busy_ || fatal_) return;
  const QString text = queryBox_->currentText();
  if (Trimmed(StoredText(text)).empty()) {
    MessageBoxFormat(this, kMbError, shell_texts::kProgramName, kEmptyQueryText);
    return;
  }
  ControlsToDocument();
  AddSearchHistory(program_.CurrentSettings(), program_.Document().query);
  RebuildQueryList();
  program_.Document().modified = true;
  if (!program_.Document().merge) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    program_.Document().entries.Clear();
    resultList_->RefillResultList();
    QApplication::restoreOverrideCursor();
    UpdateCountLabel();
  }
  program_.SetCurrentProjectPath(ProjectPathFromQuery(StoredText(text), program_.Home()));
  UpdateWindowCaption();
  UpdateCommands();
  SetBusy(true);
  animation_->Start();
  resultList_->ClearSortIndicator();
  searchEngines_ = program_.EnabledEngineCount();
  SetStatusText(SearchingStatus(0, searchEngines_, program_.Document().entries.Count()));
  banner_->ShowNotice(shell_texts::kTipSearching);

  switch (program_.StartSearchRun()) {
    case kSearchStarted:
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
  const SearchReport& report = program_.LastReport();
  reportView_->SetReport(report);
  SetStatusText(SearchDoneStatus(report, program_.Document().entries.Count()));
  banner_->ResumeTips();
  FitColumnsToResults();
}

void MainWindow::ShowSearchProgress(const SearchProgress& progress) {
  UpdateCountLabel();
  SetStatusText(SearchingStatus(progress.enginesFinished, searchEngines_,
                                program_.Document().entries.Count()));
}

void MainWindow::StopCommand() {
  StopSearch(program_.Session());
  program_.StopVerifyRuns();
}

void MainWindow::NewSearch() {
  if (busy_) return;
  queryBox_->setEnabled(true);
  queryBox_->setEditText(QString());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  program_.Document().entries.Clear();
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
  VerifyCallbacks callbacks;
  callbacks.rowUpdated = [this](int entry) { resultList_->Model().RowChanged(entry); };
  callbacks.finished = [this](int removed) { VerificationEnded(removed); };
  const VerifyConfig config = VerifyConfigFrom(program_.CurrentSettings());
  const int started = program_.StartVerifyRun([&](VerifyRun& run) {
    // The run waits while its report is shown, so its counts hold still meanwhile.
    callbacks.progress = [this, &run](const std::string& text) {
      SetVerifyText(DisplayText(text));
      verifyDone_ = run.done;
      SetStatusText(verifyPrefix_ + VerifyingStatus(run.done, run.total));
    };
    const int result =
        all ? VerifyAll(run, program_.Document(), config, std::move(callbacks), resultList_)
            : VerifySelected(run, program_.Document(), *resultList_, config, std::move(callbacks));
    verifyTotal_ = run.total;
    return result;
  });
  if (started != kVerifyStarted) return;
  verifyDone_ = 0;
  // A verification that follows a search keeps what the search said about its engines.
  verifyPrefix_ = all && program_.LastReport().FailedCount() > 0
                      ? SearchDoneStatus(program_.LastReport(), 0) + ". "
                      : std::string();
  SetStatusText(verifyPrefix_ + VerifyingStatus(0, verifyTotal_));
  banner_->ShowNotice(shell_texts::kTipVerifying);
  SetBusy(true);
  animation_->Start();
  if (!all) {
    QFont font = resultList_->font();
    font.setItalic(true);
    resultList_->setFont(font);
  }
}

void MainWindow::VerificationEnded(int removed) {
  animation_->Stop();
  SetBusy(false);
  SetStatusText(verifyPrefix_ + VerifyDoneStatus(verifyDone_, removed));
  banner_->ResumeTips();
  QFont font = resultList_->font();
  font.setItalic(false);
  resultList_->setFont(font);
  SetVerifyText(QString());
  UpdateCommands();
  UpdateCountLabel();
}

void MainWindow::UpdateEnginesCommand() {
  if (busy_ || fatal_) return;
  updatingEngines_ = true;
  UpdateCommands();
  int result = kUpdateFailed;
  EngineUpdateTarget target{program_.Engines(), program_.CurrentSettings(), program_.DatabasePath(),
                            program_.Database()};
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
  updatingEngines_ = false;
  UpdateCommands();
}

}  // namespace sondrel
