#include "shell/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace sondrel {

namespace {

// The handler may only do async-signal-safe work: it writes one byte to a pipe whose other
// end the event loop watches.
int wakeFds[2] = {-1, -1};

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!write(wakeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool QuitOnTerminationSignals() {
  static bool installed = false;
  if (installed) return true;
  if (QCoreApplication::instance() == nullptr) return false;
  if (pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  auto* notifier =
      new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char bytes[16];
    while (read(wakeFds[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    if (sigaction(signal, &action, nullptr) != 0) return false;
  }
  installed = true;
  return true;
}

}  // namespace sondrel
