#include "shell/application.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QFileInfo>

#include "engines/engine_home.h"
#include "net/net_progress.h"
#include "net/socket_io.h"
#include "net/tls_options.h"
#include "shell/display_text.h"
#include "shell/download_window.h"
#include "shell/launching.h"
#include "shell/main_window.h"
#include "shell/qt_dispatcher.h"
#include "shell/shell_texts.h"
#include "shell/startup_switches.h"
#include "shell/termination_signals.h"
#include "support/memory.h"
#include "support/paths.h"
#include "tasks/search_thread.h"

namespace sondrel {
namespace {

// Shut-down waits this long for the search and verification threads to unwind; every network
// wait tests the stop flag, so they end within moments.
constexpr int kShutdownWaitMs = 30000;

template <typename T, typename Done>
void DropEnded(std::vector<std::unique_ptr<T>>& items, Done done) {
  std::erase_if(items, [&](const std::unique_ptr<T>& item) { return done(*item); });
}

}  // namespace

Application::Application(std::string home, int searchMode) : home_(std::move(home)) {
  NetStartup();
  dispatcher_ = std::make_shared<QtDispatcher>();
  InstallDispatcher(dispatcher_);

  session_ = std::make_unique<SearchSession>(document_, engines_, settings_, database_);
  session_->home = home_;
  session_->mode = searchMode;
  LoadSettings();
  LoadEngines();
}

Application::~Application() {
  Shutdown();
}

void Application::LoadSettings() {
  std::string browser;
  if (!DetectBrowser(browser)) browser.clear();
  SettingsDefaults(settings_, home_, browser);
  const std::string path = SettingsPath(home_);
  settingsState_ = LoadSettingsFile(path, settings_);
  settingsRead_ =
      settingsState_ == SettingsFileState::kRead || settingsState_ == SettingsFileState::kDamaged;
  if (!settingsRead_) SettingsDefaults(settings_, home_, browser);
  if (!settings_.lastProject.empty()) settings_.recentProjects.Add(settings_.lastProject);
  if (settingsState_ != SettingsFileState::kRead && settingsState_ != SettingsFileState::kMissing) {
    settingsKeptAs_ = SaveSettingsFile(path, settings_).keptAs;
  }
  ApplyTrustSettings();
}

void Application::ApplyTrustSettings() const {
  // Checking is never turned off from the window: only a CA file is added.
  SetDefaultTlsOptions(TlsOptions{settings_.caFile, false});
}

void Application::LoadEngines() {
  databasePath_ = DatabasePathInHome(home_);
  (void)SeedDatabase(home_);
  session_->databasePath = databasePath_;
  databaseFailed_ = !LoadDatabase(databasePath_, engines_, database_);
  if (settingsRead_ && EngineChoiceMade(settings_)) {
    ApplyEnabledNames(engines_, settings_.enabledEngines);
  } else {
    SetAllEnabled(engines_, true);
    RebuildEnabledNames(engines_, settings_.enabledEngines);
    settings_.enginesChosen = 1;
  }
}

int Application::StartSearchRun() {
  DropEnded(searchThreads_, [](const WorkerThread& thread) { return IsFinished(thread); });
  auto thread = std::make_unique<WorkerThread>();
  const int started = StartSearch(*session_, *thread);
  if (started == kSearchStarted) searchThreads_.push_back(std::move(thread));
  return started;
}

int Application::StartVerifyRun(const std::function<int(VerifyRun&)>& start) {
  DropEnded(verifyRuns_,
            [](const VerifyRun& run) { return !run.started || IsFinished(run.thread); });
  auto run = std::make_unique<VerifyRun>();
  const int started = start(*run);
  if (started == kVerifyStarted) verifyRuns_.push_back(std::move(run));
  return started;
}

void Application::StopVerifyRuns() {
  for (const auto& run : verifyRuns_) StopVerification(*run);
}

int Application::EnabledEngineCount() const {
  int count = 0;
  for (const auto& engine : engines_) count += engine->enabled ? 1 : 0;
  return count;
}

bool Application::SaveSettings() {
  (void)MakeDirectories(home_);
  return WriteSettings(SettingsPath(home_), settings_);
}

bool Application::WorkersFinished() const {
  for (const auto& thread : searchThreads_) {
    if (!IsFinished(*thread)) return false;
  }
  for (const auto& run : verifyRuns_) {
    if (run->started && !IsFinished(run->thread)) return false;
  }
  return true;
}

void Application::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  StopSearch(*session_);
  StopVerifyRuns();
  // No worker may wait for the interface thread any more: a refused hand-off lets it unwind.
  dispatcher_->Close();
  (void)dispatcher_->WaitUntil([this] { return WorkersFinished(); }, kShutdownWaitMs);
  CancelAllDownloads();
  (void)SaveSettings();
  if (CurrentDispatcher() == dispatcher_) RemoveDispatcher();
  NetShutdown();
}

namespace {

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace

int RunApplication(int argc, char** argv) {
  InstallAllocationFailureHandler();
  // Help and version need no display: they are answered before Qt looks for one.
  const StartupSwitches early = ParseStartupSwitches(ArgumentsOf(argc, argv));
  if (early.help || early.version) {
    const std::string text = early.help ? StartupUsageText() : StartupVersionText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  std::unique_ptr<QApplication> own;
  if (!QApplication::instance()) own = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(DisplayText(shell_texts::kProgramName));
  QApplication::setApplicationDisplayName(DisplayText(shell_texts::kProgramName));

  // Qt has taken its own options (-platform, -style, ...) out of argv by now.
  const StartupSwitches switches = ParseStartupSwitches(ArgumentsOf(argc, argv));
  if (!switches.unknownOption.empty()) {
    const std::string message = std::string(shell_texts::kUnknownOption) +
                                switches.unknownOption + "\n" +
                                std::string(shell_texts::kUsageHint) + "\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
    return 2;
  }
  if (switches.compile) {
    // The compile's outcome is seen in the replay that follows; the program goes on either way.
    (void)CompileDefinitions(switches.definitionText, switches.databasePath, switches.number);
  }

  int code = 0;
  {
    Application program(ProgramHome(), switches.searchMode);
    MainWindow window(program);
    if (window.Fatal()) return 0;
    if (!switches.projectPath.empty()) {
      window.SetStartProject(
          StoredText(QFileInfo(DisplayText(switches.projectPath)).absoluteFilePath()));
    }
    window.show();
    (void)QuitOnTerminationSignals();
    code = QApplication::exec();
  }
  return code;
}

}  // namespace sondrel
