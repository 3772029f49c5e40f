#include "shell/application.h"

#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "engines/engine_database.h"
#include "shell/display_text.h"
#include "shell/main_window.h"
#include "shell/shell_texts.h"
#include "shell/startup_switches.h"
#include "shell/termination_signals.h"
#include "support/memory.h"
#include "support/paths.h"

namespace sondrel {

int RunApplication(int argc, char** argv) {
  InstallAllocationFailureHandler();
  std::unique_ptr<QApplication> own;
  if (!QApplication::instance()) own = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(DisplayText(shell_texts::kProgramName));
  QApplication::setApplicationDisplayName(DisplayText(shell_texts::kProgramName));

  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const StartupSwitches switches = ParseStartupSwitches(args);
  if (switches.compile) {
    // The compile's outcome is seen in the replay that follows; the program goes on either way.
    (void)CompileDefinitions(switches.definitionText, switches.databasePath, switches.number);
  }

  int code = 0;
  {
    MainWindow window(ProgramHome(), switches.searchMode);
    if (window.Fatal()) return 0;
    window.show();
    (void)QuitOnTerminationSignals();
    code = QApplication::exec();
  }
  return code;
}

}  // namespace sondrel
