#include "shell/download_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMessageBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "net/net_failure.h"
#include "shell/display_text.h"
#include "shell/launching.h"
#include "shell/message_box.h"
#include "shell/qt_dispatcher.h"
#include "shell/shell_texts.h"
#include "support/paths.h"
#include "tasks/download.h"
#include "tasks/download_texts.h"
#include "tasks/gui_dispatch.h"
#include "tasks/part_file.h"

namespace sondrel {
namespace {

// How long shut-down waits for cancelled downloads to unwind.
constexpr int kShutdownWaitMs = 5000;
// Without the Qt dispatcher to wake it, shut-down looks again this often.
constexpr auto kShutdownRecheck = std::chrono::milliseconds(20);
// Room for the source and destination lines, so the window does not jump as they change.
constexpr int kLineChars = 45;

template <typename... Args>
std::string Format(const char* format, const Args&... args) {
  const int n = std::snprintf(nullptr, 0, format, args.c_str()...);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args.c_str()...);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// A failed download's message names why, as the job's failure tells it.
std::string DownloadEndText(const DownloadJob& job) {
  std::string text = DownloadResultText(job.result, job.url, job.localFile);
  // These outcomes are their own reason.
  const bool named =
      job.result == kDownloadDone || job.result == kDownloadInUse || job.result == kDownloadExists;
  if (!named && job.failure) {
    text.append("\n")
        .append(shell_texts::kDownloadFailureReason)
        .append(DescribeFailure(job.failure));
  }
  return text;
}

class DownloadWindow;

// The end of a download that arrived whole: the file can be opened, or its folder shown, by
// the desktop's opener.
void OfferFinishedFile(QWidget* parent, const std::string& text, const std::string& path) {
  QMessageBox box(QMessageBox::Information, DisplayText(shell_texts::kProgramName),
                  DisplayText(text), QMessageBox::NoButton, parent);
  box.setObjectName("DownloadDone");
  QPushButton* open =
      box.addButton(DisplayText(shell_texts::kDownloadOpen), QMessageBox::AcceptRole);
  QPushButton* folder =
      box.addButton(DisplayText(shell_texts::kDownloadShowFolder), QMessageBox::ActionRole);
  QPushButton* close =
      box.addButton(DisplayText(shell_texts::kDialogClose), QMessageBox::RejectRole);
  box.setDefaultButton(close);
  box.setEscapeButton(close);
  (void)box.exec();
  std::string target;
  if (box.clickedButton() == open) target = path;
  if (box.clickedButton() == folder) target = PathDirectory(path);
  if (target.empty() || LaunchUrl(target)) return;
  (void)MessageBoxFormat(parent, kMbInformation, shell_texts::kProgramName,
                         std::string(shell_texts::kAddressFailed) + target);
}

// Every download of this run. A job lives here until its thread has finished, even when its
// window went first, so a late worker never touches freed memory.
struct Download {
  std::unique_ptr<DownloadJob> job;
  QPointer<DownloadWindow> window;
  bool windowGone = false;
};

std::vector<std::unique_ptr<Download>>& Downloads() {
  static std::vector<std::unique_ptr<Download>> downloads;
  return downloads;
}

void ReapDownloads();

// TFDown.
class DownloadWindow : public QDialog {
 public:
  DownloadWindow(QWidget* parent, Download& download)
      : QDialog(parent), download_(download), job_(*download.job) {
    setObjectName("TFDown");
    setWindowTitle(QString::fromUtf8(download_texts::kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowContextHelpButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QLabel** label : {&label1_, &label2_, &label3_, &label4_}) {
      *label = new QLabel(this);
      (*label)->setTextFormat(Qt::PlainText);
      (*label)->setMinimumWidth(fontMetrics().averageCharWidth() * kLineChars);
      layout->addWidget(*label);
    }
    label1_->setObjectName("Label1");
    label2_->setObjectName("Label2");
    label3_->setObjectName("Label3");
    label4_->setObjectName("Label4");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("PBPro");
    bar_->setTextVisible(false);
    bar_->setRange(0, static_cast<int>(kDownloadBarStart));
    bar_->setValue(0);
    layout->addWidget(bar_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName("BBCancel");
    cancel_->setAutoDefault(false);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClicked(); });
  }

  void SetLines(const std::string& source, const std::string& destination) {
    label1_->setText(DisplayText(source));
    label2_->setText(DisplayText(destination));
  }
  void SetState(const std::string& text) { label3_->setText(DisplayText(text)); }
  void SetRemaining(const std::string& text) { label4_->setText(DisplayText(text)); }
  void SetBar(std::int64_t position, std::int64_t maximum) {
    // QProgressBar counts in int: large files are scaled down.
    while (maximum > INT_MAX) {
      maximum /= 2;
      position /= 2;
    }
    bar_->setRange(0, static_cast<int>(std::max<std::int64_t>(maximum, 0)));
    bar_->setValue(static_cast<int>(std::clamp<std::int64_t>(position, 0, maximum)));
  }

  // The download has ended: the outcome, then the window goes. Waits while the Cancel
  // question is open, so the answer never lands on a finished job.
  void Finish() {
    if (asking_) {
      finishPending_ = true;
      return;
    }
    if (finished_) return;
    finished_ = true;
    hide();
    const QPointer<DownloadWindow> self(this);
    const std::string text = DownloadEndText(job_);
    if (job_.result == kDownloadDone) {
      OfferFinishedFile(parentWidget(), text, job_.localFile);
    } else {
      (void)MessageBoxFormat(parentWidget(), kMbError, shell_texts::kProgramName, text);
    }
    if (self) deleteLater();
  }

  ~DownloadWindow() override {
    download_.windowGone = true;
    QMetaObject::invokeMethod(qApp, [] { ReapDownloads(); }, Qt::QueuedConnection);
  }

 protected:
  // Closing only hides the window; the download goes on and still reports its end.
  void closeEvent(QCloseEvent* event) override {
    hide();
    event->accept();
  }
  void reject() override { hide(); }

 private:
  void CancelClicked() {
    if (finished_ || asking_) return;
    asking_ = true;
    const QPointer<DownloadWindow> self(this);
    const int answer = MessageBoxFormat(this, kMbOkCancel | kMbIconQuestion,
                                        shell_texts::kProgramName, download_texts::kCancelQuestion);
    if (!self) return;
    asking_ = false;
    if (answer == kIdOk) job_.cancelRequested.store(1);
    if (finishPending_) Finish();
  }

  Download& download_;
  DownloadJob& job_;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
  QLabel* label4_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool asking_ = false;
  bool finishPending_ = false;
  bool finished_ = false;
};

// Frees the downloads whose thread has finished and whose window has gone.
void ReapDownloads() {
  auto& downloads = Downloads();
  std::erase_if(downloads, [](const std::unique_ptr<Download>& download) {
    return download->windowGone && IsFinished(download->job->thread);
  });
}

// A finished worker pokes the dispatcher: a job whose window went first can be freed then.
void WatchDispatcher() {
  static QPointer<QtDispatcher> watched;
  auto dispatcher = std::dynamic_pointer_cast<QtDispatcher>(CurrentDispatcher());
  if (!dispatcher || watched == dispatcher.get()) return;
  watched = dispatcher.get();
  QObject::connect(dispatcher.get(), &QtDispatcher::workerFinished, dispatcher.get(),
                   [] { ReapDownloads(); });
}

bool MayBeTheStart(const ExistingFile& existing) {
  return existing.length >= 0 && (existing.knownSize < 0 || existing.length < existing.knownSize);
}

const char* ExistingQuestion(const ExistingFile& existing) {
  if (existing.length < 0) return shell_texts::kExistingNotAFile;
  if (existing.knownSize < 0) return shell_texts::kExistingUnknownSize;
  if (existing.length < existing.knownSize) return shell_texts::kExistingSmaller;
  if (existing.length == existing.knownSize) return download_texts::kOverwriteQuestion;
  return shell_texts::kExistingLarger;
}

// The question about a file in the way. Resume is offered where the file may be the start of
// this one; Cancel is the default wherever the file may already be whole.
ExistingFileAnswer AskAboutExisting(QWidget* parent, const ExistingFile& existing,
                                    const std::string& url) {
  const bool regular = existing.length >= 0;
  const bool smaller = regular && existing.knownSize >= 0 && existing.length < existing.knownSize;
  QMessageBox box(smaller ? QMessageBox::Question : QMessageBox::Warning,
                  DisplayText(shell_texts::kProgramName),
                  DisplayText(Format(ExistingQuestion(existing), existing.path)),
                  QMessageBox::NoButton, parent);
  box.setObjectName("DownloadExisting");
  QPushButton* resume = nullptr;
  QPushButton* replace = nullptr;
  QPushButton* keepBoth = nullptr;
  if (MayBeTheStart(existing)) {
    resume = box.addButton(DisplayText(shell_texts::kExistingResume), QMessageBox::AcceptRole);
  }
  // A link or a directory is never replaced: the download takes another name.
  if (regular) {
    replace =
        box.addButton(DisplayText(shell_texts::kExistingReplace), QMessageBox::DestructiveRole);
  }
  const std::string freeName = FreeDownloadName(existing.path, url);
  if (!freeName.empty()) {
    keepBoth = box.addButton(DisplayText(shell_texts::kExistingKeepBoth), QMessageBox::ActionRole);
    box.setInformativeText(
        DisplayText(Format(shell_texts::kExistingKeepBothName, PathFileName(freeName))));
  }
  QPushButton* cancel =
      box.addButton(DisplayText(shell_texts::kDialogCancel), QMessageBox::RejectRole);
  box.setDefaultButton(smaller ? resume : cancel);
  box.setEscapeButton(cancel);
  (void)box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr || clicked == cancel) return ExistingFileAnswer::kCancel;
  if (clicked == resume) return ExistingFileAnswer::kResume;
  if (clicked == replace) return ExistingFileAnswer::kReplace;
  return clicked == keepBoth ? ExistingFileAnswer::kNewName : ExistingFileAnswer::kCancel;
}

}  // namespace

bool DownloadSelected(QWidget* parent, const ResultEntry& entry, Settings& settings,
                      const std::string& home) {
  const DownloadConfig config = DownloadConfigFrom(settings, home);
  if (settings.downloadDirectory.empty()) {
    settings.downloadDirectory = config.directory.substr(0, kMaxDownloadDirectory);
  }
  bool cancelled = false;
  DownloadChoices choices;
  choices.askExisting = [parent, &entry, &cancelled](const ExistingFile& existing) {
    const ExistingFileAnswer answer = AskAboutExisting(parent, existing, entry.url);
    cancelled = answer == ExistingFileAnswer::kCancel;
    return answer;
  };
  DownloadTarget target;
  if (PlanDownload(target, entry.url, config.directory, entry.size, choices) != 1) {
    if (cancelled) return false;
    (void)MessageBoxFormat(parent, kMbError, shell_texts::kProgramName,
                           Format(shell_texts::kDownloadNoFileName, entry.url, config.directory));
    return false;
  }

  auto download = std::make_unique<Download>();
  download->job = std::make_unique<DownloadJob>();
  DownloadJob& job = *download->job;
  job.url = entry.url;
  job.localFile = target.localFile;
  job.resume = target.resume;
  job.restart = target.restart;
  job.overwrite = target.overwrite;
  job.config = config;
  auto* window = new DownloadWindow(parent, *download);
  const QPointer<DownloadWindow> view(window);
  download->window = view;
  // Every hook runs on the interface thread; the window may have gone meanwhile.
  job.callbacks.lines = [view](const std::string& source, const std::string& destination) {
    if (view) view->SetLines(source, destination);
  };
  job.callbacks.stateLine = [view](const std::string& text) {
    if (view) view->SetState(text);
  };
  job.callbacks.remainingLine = [view](const std::string& text) {
    if (view) view->SetRemaining(text);
  };
  job.callbacks.bar = [view](std::int64_t position, std::int64_t maximum) {
    if (view) view->SetBar(position, maximum);
  };
  // The worker waits in this hand-off: the outcome is shown once it has let go of the job.
  job.callbacks.done = [view](int) {
    if (view) QMetaObject::invokeMethod(view, [view] { view->Finish(); }, Qt::QueuedConnection);
  };
  window->show();
  WatchDispatcher();
  Downloads().push_back(std::move(download));
  if (StartDownload(job) != 1) {
    delete window;
    Downloads().pop_back();  // its thread never ran
    (void)MessageBoxFormat(parent, kMbError, shell_texts::kProgramName,
                           Format(shell_texts::kDownloadNotStarted, entry.url));
    return false;
  }
  return true;
}

void CancelAllDownloads() {
  auto& downloads = Downloads();
  for (auto& download : downloads) download->job->cancelRequested.store(1);
  const auto allFinished = [&downloads] {
    for (const auto& download : downloads) {
      if (!IsFinished(download->job->thread)) return false;
    }
    return true;
  };
  if (auto dispatcher = std::dynamic_pointer_cast<QtDispatcher>(CurrentDispatcher())) {
    (void)dispatcher->WaitUntil(allFinished, kShutdownWaitMs);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShutdownWaitMs);
    while (!allFinished() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kShutdownRecheck);
    }
  }
  for (auto& download : downloads) {
    delete download->window.data();
    // A worker that did not unwind in time still owns its job: leave it to the process exit.
    if (!IsFinished(download->job->thread)) (void)download->job.release();
  }
  downloads.clear();
}

}  // namespace sondrel
