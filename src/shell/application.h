#pragma once
// The desktop program apart from its windows: the program home, the settings, the open search
// document, the engine list and its database, the search session and the worker runs. The main
// window is given one and shows it; whatever outlives a window (the settings written at exit,
// the workers that must end first) is ended here.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_definition.h"
#include "engines/search_driver.h"
#include "engines/search_report.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "tasks/verification.h"
#include "tasks/worker_thread.h"

namespace sondrel {

class QtDispatcher;

// The text the user searched for last and whether Find selects every match.
struct FindState {
  std::string text;
  bool selectMatching = false;
};

class Application {
 public:
  // home is the program home (database, settings, query-made projects); searchMode one of
  // SearchMode, set by the engine-tool switches. Reads the settings and the engine database;
  // needs a Qt application object for the dispatcher that workers report through.
  explicit Application(std::string home, int searchMode = kSearchNormal);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  const std::string& Home() const { return home_; }
  Settings& CurrentSettings() { return settings_; }
  SearchDocument& Document() { return document_; }
  EngineList& Engines() { return engines_; }
  LoadedDatabase& Database() { return database_; }
  const std::string& DatabasePath() const { return databasePath_; }
  SearchSession& Session() { return *session_; }
  FindState& Find() { return find_; }
  // What each engine did in the last search; empty before the first.
  const SearchReport& LastReport() const { return session_->report; }
  // Why the engine database did not load ("damaged engine database", ...); empty when it did.
  const std::string& DatabaseProblem() const { return database_.problem; }
  // The engines a search asks now.
  int EnabledEngineCount() const;

  // The engine database could not be read: the window says so and the program ends.
  bool DatabaseFailed() const { return databaseFailed_; }

  // The project file the document belongs to; empty for an unnamed one.
  const std::string& CurrentProjectPath() const { return currentProjectPath_; }
  void SetCurrentProjectPath(std::string path) { currentProjectPath_ = std::move(path); }

  // Starts the prepared search on a thread of its own (a StartSearchResult).
  int StartSearchRun();
  // Makes a verification run and lets start begin it (a VerifyStartResult); the run is kept
  // while its thread may use it.
  int StartVerifyRun(const std::function<int(VerifyRun&)>& start);
  // Stop of the window: every verification run that is going on ends; a download does not.
  void StopVerifyRuns();

  // Creates the home when needed and writes the settings file; false when it failed.
  bool SaveSettings();
  // Makes the settings' trust anchors those of every fetch that names none of its own.
  void ApplyTrustSettings() const;

  // A settings file that did not read at start-up (damaged, foreign, of a newer version) is kept
  // aside at once, so nothing of it is lost when the settings are written: for the window to
  // tell the user. kRead or kMissing when there was nothing to tell.
  SettingsFileState SettingsState() const { return settingsState_; }
  // Where the file was kept; empty when it could not be kept (then it was left as it was).
  const std::string& SettingsKeptAs() const { return settingsKeptAs_; }

  // Shut-down: stops the search, lets the workers unwind, cancels the downloads, writes the
  // settings and closes the network layer. Runs once; the destructor calls it when nobody did.
  void Shutdown();

 private:
  void LoadSettings();
  void LoadEngines();
  bool WorkersFinished() const;

  std::string home_;
  Settings settings_;
  SearchDocument document_;
  EngineList engines_;
  LoadedDatabase database_;
  std::string databasePath_;
  std::string currentProjectPath_;
  FindState find_;
  bool settingsRead_ = false;
  SettingsFileState settingsState_ = SettingsFileState::kMissing;
  std::string settingsKeptAs_;
  bool databaseFailed_ = false;
  bool shutDown_ = false;

  std::shared_ptr<QtDispatcher> dispatcher_;
  std::unique_ptr<SearchSession> session_;
  // Each search and each verification gets a thread object of its own; an ended one is kept
  // until its thread has let go of it.
  std::vector<std::unique_ptr<WorkerThread>> searchThreads_;
  std::vector<std::unique_ptr<VerifyRun>> verifyRuns_;
};

// Runs the program; the process's exit code. Uses the Qt application object when one exists
// already, else makes its own.
int RunApplication(int argc, char** argv);

}  // namespace sondrel
