// sondrel-cli search and update: a whole search as the desktop application runs it (update
// check, every enabled engine at once on the search thread, rows handed to this main thread),
// saved as a project; and the Update Engines command.

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engines/engine_database.h"
#include "engines/engine_home.h"
#include "engines/engine_update.h"
#include "engines/search_driver.h"
#include "engines/search_texts.h"
#include "net/socket_io.h"
#include "results/export.h"
#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/paths.h"
#include "support/string_list.h"
#include "support/text.h"
#include "tasks/gui_dispatch.h"
#include "tasks/search_thread.h"
#include "tasks/worker_thread.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kSearchUsage =
    "search QUERY [--db PATH] [--engines NAME,NAME] [--max-connections N] [--timeout SECONDS] "
    "[--max-results N] [--max-results-per-engine N] [--duplicates keep|remove] "
    "[--filter none|name|url] [--merge] [--project PATH] [--no-save] [--verify|--no-verify] "
    "[--export PATH] [--capture|--replay] [--quiet]";
constexpr std::string_view kUpdateUsage = "update";

// The search that Ctrl-C stops; set only while one runs.
std::atomic<SearchSession*> interruptible{nullptr};

extern "C" void StopOnInterrupt(int) {
  SearchSession* session = interruptible.load();
  // Both are lock-free atomic stores, safe in a signal handler.
  SetStopFlag(true);
  if (session) {
    session->cancel.Cancel();
    session->job.running = 0;
  }
}

std::optional<int> ParseCount(const std::string& text, int low, int high) {
  int value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t comma = text.find(',', from);
    if (comma == std::string::npos) comma = text.size();
    if (comma > from) names.push_back(text.substr(from, comma - from));
    from = comma + 1;
  }
  return names;
}

std::optional<ExportFormat> FormatOfPath(const std::string& path) {
  auto endsWith = [&](std::string_view ext) {
    if (path.size() < ext.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
      char c = path[path.size() - ext.size() + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != ext[i]) return false;
    }
    return true;
  };
  if (endsWith(".htm") || endsWith(".html")) return ExportFormat::kHtml;
  if (endsWith(".txt")) return ExportFormat::kText;
  if (endsWith(".cdf")) return ExportFormat::kCdf;
  return std::nullopt;
}

bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

void PrintRow(const ResultEntry& entry) {
  const EntryRow row = MakeEntryRow(entry);
  std::cout << row.name << '\t' << row.url << '\t' << row.size << '\t' << row.status << '\t'
            << row.pos << '\t' << row.engine << '\n';
}

// The progress line on stderr: rewritten in place on a terminal, one line per engine event
// otherwise.
class ProgressLine {
 public:
  explicit ProgressLine(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1) {}

  void Engines(const SearchProgress& progress) {
    counts_ = progress;
    Show(true);
  }
  void Result() {
    ++counts_.results;
    if (terminal_) Show(false);
  }
  void Done() {
    if (!quiet_ && terminal_ && shown_) std::cerr << '\n';
  }

 private:
  void Show(bool event) {
    if (quiet_ || (!terminal_ && !event)) return;
    std::cerr << (terminal_ ? "\r" : "") << "SEARCH: " << counts_.enginesFinished << " of "
              << counts_.enginesStarted << " engines finished, " << counts_.results << " results"
              << (terminal_ ? "" : "\n") << std::flush;
    shown_ = true;
  }

  bool quiet_;
  bool terminal_;
  bool shown_ = false;
  SearchProgress counts_;
};

struct LoadedEngines {
  std::string path;
  EngineList list;
  LoadedDatabase info;
};

// The engine database of the run; the failure has been reported when it returns false.
std::optional<int> LoadEngines(const Context& context, const std::optional<std::string>& db,
                               LoadedEngines& engines) {
  if (db) {
    engines.path = *db;
  } else {
    engines.path = DatabasePathInHome(context.home);
    (void)SeedDatabase(context.home);
  }
  if (!LoadDatabase(engines.path, engines.list, engines.info)) {
    return Fail(engines.path + ": " + engines.info.problem);
  }
  return std::nullopt;
}

// A settings file that did not read was kept aside before it was replaced: say where.
void TellKeptSettings(const SettingsChange& change) {
  if (!change.keptAs.empty()) {
    std::cerr << "sondrel-cli: " << texts::kSettingsKeptAside << change.keptAs << '\n';
  }
}

void CopyNames(const StringList& from, StringList& to) {
  to.Clear();
  for (const auto& name : from) to.Add(*name);
}

// As at start-up: the enabled names of the settings file, or every engine when there is none.
void ApplyEngineChoice(bool settingsRead, Settings& settings, EngineList& list) {
  if (settingsRead && EngineChoiceMade(settings)) {
    ApplyEnabledNames(list, settings.enabledEngines);
  } else {
    SetAllEnabled(list, true);
    RebuildEnabledNames(list, settings.enabledEngines);
  }
}

}  // namespace

int RunSearch(Arguments& args, const Context& context) {
  const std::optional<std::string> db = args.TakeOption("db");
  const std::optional<std::string> engineNames = args.TakeOption("engines");
  const std::optional<std::string> maxConnections = args.TakeOption("max-connections");
  const std::optional<std::string> timeout = args.TakeOption("timeout");
  const std::optional<std::string> maxResults = args.TakeOption("max-results");
  const std::optional<std::string> maxPerEngine = args.TakeOption("max-results-per-engine");
  const std::optional<std::string> duplicates = args.TakeOption("duplicates");
  const std::optional<std::string> filter = args.TakeOption("filter");
  const bool merge = args.TakeFlag("merge");
  const std::optional<std::string> project = args.TakeOption("project");
  const bool noSave = args.TakeFlag("no-save");
  const bool verify = args.TakeFlag("verify");
  const bool noVerify = args.TakeFlag("no-verify");
  const std::optional<std::string> exportPath = args.TakeOption("export");
  const bool capture = args.TakeFlag("capture");
  const bool replay = args.TakeFlag("replay");
  const bool quiet = args.TakeFlag("quiet") || context.quiet;
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kSearchUsage);
  if (words.size() != 1) return UsageError("search takes exactly one QUERY", kSearchUsage);
  if (verify && noVerify)
    return UsageError("--verify and --no-verify exclude each other", kSearchUsage);
  if (capture && replay)
    return UsageError("--capture and --replay exclude each other", kSearchUsage);
  if (project && noSave)
    return UsageError("--project and --no-save exclude each other", kSearchUsage);
  const std::string& query = words.front();
  if (Trimmed(query).empty()) return UsageError(std::string(kEmptyQueryText), kSearchUsage);

  // Options change this run only: the settings file keeps what it had, but for the search
  // history and what the engine update changes.
  Settings settings;
  SettingsDefaults(settings, context.home);
  const std::string settingsPath = SettingsPath(context.home);
  const bool settingsRead = ReadSettings(settingsPath, settings);
  Settings run;
  SettingsDefaults(run, context.home);
  (void)ReadSettings(settingsPath, run);

  struct NumberOption {
    const std::optional<std::string>& text;
    const char* name;
    int low;
    int high;
    int& field;
  };
  const NumberOption numbers[] = {
      {maxConnections, "--max-connections", 1, kSearchSlots, run.maxConnections},
      {timeout, "--timeout", 1, 3600, run.timeoutSeconds},
      {maxResults, "--max-results", 0, 0xffff, run.maxResultsTotal},
      {maxPerEngine, "--max-results-per-engine", 0, 0xffff, run.maxResultsPerEngine},
  };
  for (const NumberOption& option : numbers) {
    if (!option.text) continue;
    std::optional<int> value = ParseCount(*option.text, option.low, option.high);
    if (!value) {
      return UsageError(std::string(option.name) + " takes a number from " +
                            std::to_string(option.low) + " to " + std::to_string(option.high),
                        kSearchUsage);
    }
    option.field = *value;
  }
  std::optional<std::uint8_t> duplicateRule;
  if (duplicates) {
    if (*duplicates == "keep")
      duplicateRule = kKeepDuplicates;
    else if (*duplicates == "remove")
      duplicateRule = kRemoveDuplicateUrls;
    else
      return UsageError("--duplicates takes keep or remove", kSearchUsage);
  }
  std::optional<std::uint8_t> filterRule;
  if (filter) {
    if (*filter == "none")
      filterRule = kFilterNone;
    else if (*filter == "name")
      filterRule = kFilterName;
    else if (*filter == "url")
      filterRule = kFilterUrl;
    else
      return UsageError("--filter takes none, name or url", kSearchUsage);
  }
  std::optional<ExportFormat> exportFormat;
  if (exportPath) {
    exportFormat = FormatOfPath(*exportPath);
    if (!exportFormat) {
      return UsageError("--export takes a path ending in .htm, .txt or .cdf", kSearchUsage);
    }
  }

  LoadedEngines engines;
  if (std::optional<int> failed = LoadEngines(context, db, engines)) return *failed;
  ApplyEngineChoice(settingsRead, run, engines.list);
  // A first run writes the settings file with every engine enabled, as the GUI does at exit.
  bool enginesRenewed = !settingsRead;
  if (enginesRenewed) CopyNames(run.enabledEngines, settings.enabledEngines);

  SearchDocument document;
  const std::string projectPath =
      project ? *project : (noSave ? std::string() : ProjectPathFromQuery(query, context.home));
  if (project && FileExists(*project)) {
    const int loaded = LoadDocument(*project, document);
    if (loaded == kLoadDamaged) return Fail("project file ends early or is damaged: " + *project);
    if (loaded != kLoadOk) return Fail("not a project file: " + *project);
  }
  SetSearchChoices(document, query, duplicateRule.value_or(document.duplicates),
                   filterRule.value_or(document.filter), merge);
  AddSearchHistory(settings, query);

  NetStartup();
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);

  SearchSession session(document, engines.list, run, engines.info);
  session.home = context.home;
  session.databasePath = engines.path;
  session.mode = capture ? kSearchCapture : replay ? kSearchReplay : kSearchNormal;
  // The update check runs here, before the search thread, so that --engines applies to the
  // list it may bring; a test run uses the engines it was given.
  session.updateCheck = false;
  if (session.mode == kSearchNormal && !db) {
    EngineUpdateTarget target{engines.list, run, engines.path, engines.info};
    const int updated = AutomaticUpdateCheck(target, StopFlagCancel);
    if (updated == kUpdateReceived) {
      CopyNames(run.enabledEngines, settings.enabledEngines);
      enginesRenewed = true;
    }
    // The search goes on with the engines it has; the user hears why they were not renewed.
    if (updated == kUpdateFailed && !quiet) {
      std::cerr << "sondrel-cli: " << UpdateFailureText(target.failure) << '\n';
    }
    settings.lastEngineUpdate = run.lastEngineUpdate;
  }
  if (engineNames) {
    const std::vector<std::string> names = SplitNames(*engineNames);
    SetAllEnabled(engines.list, false);
    for (const std::string& name : names) {
      bool found = false;
      for (const auto& engine : engines.list) {
        if (engine->name == name) {
          engine->enabled = 1;
          found = true;
        }
      }
      if (!found) {
        RemoveDispatcher();
        NetShutdown();
        return Fail("no engine named " + name + " in " + engines.path);
      }
    }
  }

  ProgressLine line(quiet);
  session.callbacks.resultAdded = [&line](const ResultEntry&, int) { line.Result(); };
  session.callbacks.progress = [&line](const SearchProgress& progress) { line.Engines(progress); };
  const bool verifyAfter = verify || (!noVerify && run.verifyAfterSearch);

  WorkerThread thread;
  interruptible = &session;
  struct sigaction action {};
  action.sa_handler = StopOnInterrupt;
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);
  const int started = StartSearch(session, thread);
  if (started == kSearchStarted) {
    queue->RunUntil([&thread] { return IsFinished(thread); });
  }
  ::sigaction(SIGINT, &previous, nullptr);
  interruptible = nullptr;
  line.Done();
  RemoveDispatcher();
  queue->Close();
  if (started == kSearchNotStarted) {
    NetShutdown();
    return Fail("cannot start the search thread");
  }
  if (started == kSearchEmptyQuery) {
    NetShutdown();
    return UsageError(std::string(kEmptyQueryText), kSearchUsage);
  }
  // Verification serves its own interface-thread queue, so it runs once the search's is gone.
  const int verified =
      verifyAfter ? VerifyDocument(document, run, run.removeInvalidAfterVerify != 0, quiet)
                  : kExitOk;
  NetShutdown();
  if (verified != kExitOk) return verified;

  if (!projectPath.empty()) {
    if (!WriteDocument(projectPath, document)) {
      return Fail("cannot write project file " + projectPath);
    }
  }
  // Only what this run changed goes into the file as it is now, so a config change made
  // meanwhile is kept. The GUI writes its settings at exit without reporting a failure; so does
  // this.
  const SettingsChange saved =
      ChangeSettingsFile(settingsPath, context.home, [&](Settings& current) {
        AddSearchHistory(current, query);
        if (!projectPath.empty()) RememberProject(current, projectPath);
        current.lastEngineUpdate = settings.lastEngineUpdate;
        if (enginesRenewed) CopyNames(settings.enabledEngines, current.enabledEngines);
        return std::optional<std::string>();
      });
  TellKeptSettings(saved);
  if (exportFormat && !ExportDocument(*exportPath, document, *exportFormat)) {
    return Fail(ExportFailedText(*exportPath));
  }
  for (const auto& entry : document.entries) PrintRow(*entry);
  return FlushOutput();
}

int RunUpdate(Arguments& args, const Context& context) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kUpdateUsage);
  if (!words.empty()) return UsageError("update takes no arguments", kUpdateUsage);

  Settings settings;
  SettingsDefaults(settings, context.home);
  const std::string settingsPath = SettingsPath(context.home);
  const bool settingsRead = ReadSettings(settingsPath, settings);
  LoadedEngines engines;
  if (std::optional<int> failed = LoadEngines(context, std::nullopt, engines)) return *failed;
  ApplyEngineChoice(settingsRead, settings, engines.list);

  NetStartup();
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  bool shown = false;
  UpdateCommandView view;
  if (!context.quiet) {
    view.status = [&](std::string_view text) {
      std::cerr << (terminal ? "\r\033[K" : "") << "UPDATE: " << text << (terminal ? "" : "\n")
                << std::flush;
      shown = true;
    };
  }
  EngineUpdateTarget target{engines.list, settings, engines.path, engines.info};
  const int result = RunUpdateEngines(target, view);
  NetShutdown();
  if (shown && terminal) std::cerr << '\n';
  if (result == kUpdateFailed) return Fail(UpdateFailureText(target.failure));
  // Only what the update changed goes into the file as it is now.
  const SettingsChange saved =
      ChangeSettingsFile(settingsPath, context.home, [&](Settings& current) {
        current.lastEngineUpdate = settings.lastEngineUpdate;
        if (result == kUpdateReceived) CopyNames(settings.enabledEngines, current.enabledEngines);
        return std::optional<std::string>();
      });
  TellKeptSettings(saved);
  std::cout << UpdateOutcomeText(result) << '\n';
  return FlushOutput();
}

}  // namespace sondrel::cli
