#include "shell/progress_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <climits>

#include "net/net_progress.h"
#include "shell/display_text.h"
#include "shell/shell_texts.h"

namespace sondrel {

namespace {

constexpr int kWindowWidth = 360;
constexpr int kInitialBarMaximum = 100;
// A maximum beyond the bar's int range is shown in this many steps.
constexpr int kScaledBarSteps = 10000;

// Set on the thread that runs RunWithProgress's work (the interface thread) while it runs; the
// idle hook looks at nothing else, so waits on other threads pass through it untouched.
thread_local bool t_pumpEvents = false;
thread_local bool t_insideHook = false;

bool g_windowOpen = false;  // interface thread only

void PumpEvents() {
  if (!t_pumpEvents || t_insideHook) return;
  t_insideHook = true;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  t_insideHook = false;
}

class ProgressDialog final : public QDialog, public ProgressWindow {
 public:
  ProgressDialog(QWidget* parent, const std::function<bool()>& confirmCancel)
      : QDialog(parent), confirmCancel_(confirmCancel) {
    setWindowTitle(DisplayText(shell_texts::kProgressCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    // The work processes events while it runs: other windows must not start commands meanwhile.
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 3; ++i) {
      auto* label = new QLabel(this);
      label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
      label->setAlignment(Qt::AlignCenter);
      label->setTextFormat(Qt::PlainText);
      layout->addWidget(label);
      labels_[i] = label;
    }
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("PBar"));
    bar_->setRange(0, kInitialBarMaximum);
    bar_->setValue(0);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* cancel = new QPushButton(DisplayText(shell_texts::kDialogCancel), this);
    cancel->setObjectName(QStringLiteral("BCancel"));
    row->addWidget(cancel);
    row->addStretch(1);
    layout->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, [this] { CancelClicked(); });
    setFixedWidth(kWindowWidth);
    adjustSize();
    setFixedHeight(height());
  }

  void SetCaption(std::string_view text) override { setWindowTitle(DisplayText(text)); }
  void SetLine(std::string_view text) override { labels_[1]->setText(DisplayText(text)); }
  void SetBar(std::int64_t position, std::int64_t maximum) override {
    if (maximum <= 0) {
      bar_->setRange(0, kInitialBarMaximum);
      bar_->setValue(0);
      return;
    }
    if (position < 0) position = 0;
    if (position > maximum) position = maximum;
    if (maximum <= INT_MAX) {
      bar_->setRange(0, static_cast<int>(maximum));
      bar_->setValue(static_cast<int>(position));
      return;
    }
    bar_->setRange(0, kScaledBarSteps);
    bar_->setValue(static_cast<int>(static_cast<double>(position) / static_cast<double>(maximum) *
                                    kScaledBarSteps));
  }
  bool Running() const override { return running_; }
  QWidget* Handle() override { return this; }

 protected:
  // Escape and the window's close button. Without a question the window stays until the work
  // has seen the flag; with one it closes once the answer is yes.
  void reject() override {
    if (!confirmCancel_) {
      running_ = false;
      return;
    }
    if (Confirmed()) {
      running_ = false;
      QDialog::reject();
    }
  }

 private:
  void CancelClicked() {
    if (!confirmCancel_ || Confirmed()) running_ = false;
  }

  // The question may open a message box, whose loop could deliver a second click.
  bool Confirmed() {
    if (asking_) return false;
    asking_ = true;
    const bool yes = confirmCancel_();
    asking_ = false;
    return yes;
  }

  std::function<bool()> confirmCancel_;
  QLabel* labels_[3] = {};
  QProgressBar* bar_ = nullptr;
  bool running_ = true;
  bool asking_ = false;
};

// Marks the window open and installs the hook; undoes both however the work ends.
class ProgressScope {
 public:
  ProgressScope() : previousHook_(CurrentIdleHook()), previousPump_(t_pumpEvents) {
    g_windowOpen = true;
    t_pumpEvents = true;
    SetIdleHook(&PumpEvents);
  }
  ~ProgressScope() {
    SetIdleHook(previousHook_);
    t_pumpEvents = previousPump_;
    g_windowOpen = false;
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  IdleHook previousHook_;
  bool previousPump_;
};

}  // namespace

bool RunWithProgress(QWidget* parent, const std::function<void(ProgressWindow&)>& work,
                     const std::function<bool()>& confirmCancel) {
  // Windows live on the interface thread only; anywhere else there is nothing to show.
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() != app->thread()) return true;
  if (g_windowOpen) return true;
  ProgressScope scope;
  ProgressDialog window(parent, confirmCancel);
  window.show();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (work) work(window);
  return !window.Running();
}

}  // namespace sondrel
