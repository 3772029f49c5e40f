#include "shell/progress_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "net/net_progress.h"
#include "net/socket_io.h"
#include "shell/display_text.h"
#include "shell/shell_texts.h"
#include "support/modal.h"

namespace sondrel {
namespace {

using guitest::WhenModalOpens;

// A connected socket pair: the work waits on one end like a network fetch waiting for data,
// with the window's running flag as its cancel test; the test ends the wait by writing.
class SilentPeer {
 public:
  SilentPeer() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds_), 0); }
  ~SilentPeer() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  void Speak() { EXPECT_EQ(::send(fds_[1], "x", 1, MSG_NOSIGNAL), 1); }
  // One receive through the socket layer's wait: 1 when the byte came, -1 when cancelled.
  long Wait(ProgressWindow& window) {
    NetProgress progress;
    progress.userData = &window;
    progress.timeoutOn = true;  // a fault shows as a failed test, not a hang
    progress.timeoutSeconds = 10;
    progress.shouldCancel = [](NetProgress& p) {
      return !static_cast<ProgressWindow*>(p.userData)->Running();
    };
    char byte = 0;
    return RecvWait(fds_[0], &byte, 1, 0, &progress);
  }

 private:
  int fds_[2] = {-1, -1};
};

enum class Action { kCancelButton, kCloseWindow };
enum class Answer { kNoQuestion, kYes, kNo };

TEST(RunWithProgressTest, CancelAndCloseFollowTheConfirmation) {
  struct Case {
    Action action;
    Answer answer;
    bool cancelled;
    bool visibleAfter;
  };
  const Case cases[] = {
      {Action::kCancelButton, Answer::kNoQuestion, true, true},
      {Action::kCancelButton, Answer::kYes, true, true},
      {Action::kCancelButton, Answer::kNo, false, true},
      // Closing without a question only asks the work to stop; the window waits for it.
      {Action::kCloseWindow, Answer::kNoQuestion, true, true},
      {Action::kCloseWindow, Answer::kYes, true, false},
      {Action::kCloseWindow, Answer::kNo, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "action " << static_cast<int>(c.action) << " answer "
                                    << static_cast<int>(c.answer));
    SilentPeer peer;
    int asked = 0;
    std::function<bool()> confirm;
    if (c.answer != Answer::kNoQuestion) {
      confirm = [&] {
        ++asked;
        return c.answer == Answer::kYes;
      };
    }
    long waited = 0;
    bool running = true;
    bool visible = false;
    const bool result = RunWithProgress(
        nullptr,
        [&](ProgressWindow& window) {
          // Answered from inside the wait: only the idle hook lets the click through.
          WhenModalOpens([&](QWidget* shown) {
            if (c.action == Action::kCancelButton) {
              guitest::ClickButton(shown, QStringLiteral("&Cancel"));
            } else {
              shown->close();
            }
            peer.Speak();  // a work that was not stopped finishes on its own
          });
          waited = peer.Wait(window);
          running = window.Running();
          visible = window.Handle()->isVisible();
        },
        confirm);
    EXPECT_EQ(result, c.cancelled);
    EXPECT_EQ(waited < 0, c.cancelled);  // stopped at the wait's next look at the flag
    EXPECT_EQ(running, !c.cancelled);
    EXPECT_EQ(visible, c.visibleAfter);
    EXPECT_EQ(asked, c.answer == Answer::kNoQuestion ? 0 : 1);
  }
}

TEST(RunWithProgressTest, OneWindowAtATimeAndTheHookIsRestored) {
  static int outerCalls = 0;
  const IdleHook outer = [] { ++outerCalls; };
  SetIdleHook(outer);
  bool innerRan = false;
  bool nested = false;
  IdleHook during = nullptr;
  EXPECT_FALSE(RunWithProgress(nullptr, [&](ProgressWindow&) {
    during = CurrentIdleHook();
    nested = RunWithProgress(nullptr, [&](ProgressWindow&) { innerRan = true; });
  }));
  EXPECT_TRUE(nested);
  EXPECT_FALSE(innerRan);
  EXPECT_NE(during, outer);
  EXPECT_NE(during, nullptr);
  EXPECT_EQ(CurrentIdleHook(), outer);
  EXPECT_EQ(outerCalls, 0);
  // The next call gets its window again.
  EXPECT_FALSE(RunWithProgress(nullptr, [&](ProgressWindow&) { innerRan = true; }));
  EXPECT_TRUE(innerRan);
  SetIdleHook(nullptr);
}

TEST(RunWithProgressTest, WindowShowsCaptionLineAndBar) {
  RunWithProgress(nullptr, [](ProgressWindow& window) {
    QWidget* handle = window.Handle();
    EXPECT_EQ(handle->windowTitle(), DisplayText(shell_texts::kProgressCaption));
    EXPECT_TRUE(handle->windowFlags() & Qt::WindowStaysOnTopHint);
    auto* bar = handle->findChild<QProgressBar*>(QStringLiteral("PBar"));
    auto* line = handle->findChild<QLabel*>(QStringLiteral("Label2"));
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(bar->maximum(), 100);
    window.SetCaption("Update database");
    window.SetLine("12 / 300 (4 %)");
    EXPECT_EQ(handle->windowTitle(), QStringLiteral("Update database"));
    EXPECT_EQ(line->text(), QStringLiteral("12 / 300 (4 %)"));
    struct Case {
      std::int64_t position;
      std::int64_t maximum;
      double fraction;
    };
    const std::int64_t big = std::int64_t{6} << 30;  // past the bar's int range
    const Case cases[] = {{12, 300, 0.04}, {big / 4, big, 0.25}, {400, 300, 1.0}, {-5, 300, 0.0},
                          {7, 0, 0.0}};
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.position << "/" << c.maximum);
      window.SetBar(c.position, c.maximum);
      EXPECT_EQ(bar->minimum(), 0);
      EXPECT_GT(bar->maximum(), 0);
      EXPECT_NEAR(static_cast<double>(bar->value()) / bar->maximum(), c.fraction, 0.001);
    }
  });
}

}  // namespace
}  // namespace sondrel
