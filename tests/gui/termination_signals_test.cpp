#include "shell/termination_signals.h"

#include <signal.h>

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace sondrel {
namespace {

// Each signal ends the event loop the way a quit does, instead of killing the process.
TEST(TerminationSignalsTest, SignalsQuitTheEventLoop) {
  ASSERT_TRUE(QuitOnTerminationSignals());
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    bool timedOut = false;
    QTimer::singleShot(0, [signal] { raise(signal); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      timedOut = true;
      QApplication::exit(1);
    });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
  }
}

}  // namespace
}  // namespace sondrel
