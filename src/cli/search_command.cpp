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
#include "cli/json_writer.h"
#include "cli/net_errors.h"
#include "cli/network_options.h"
#include "cli/result_output.h"
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

constexpr std::string_view kSearchUsage = "search QUERY [OPTIONS]";
constexpr std::string_view kUpdateUsage = "update [OPTIONS]";

// The search that Ctrl-C stops; set only while one runs.
std::atomic<SearchSession*> interruptible{nullptr};

// Whether Ctrl-C stopped the search.
std::atomic<bool> searchInterrupted{false};

extern "C" void StopOnInterrupt(int) {
  SearchSession* session = interruptible.load();
  // Lock-free atomic stores only, safe in a signal handler.
  searchInterrupted.store(true);
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

std::span<const OptionHelp> SearchOptions() {
  static const OptionHelp kOptions[] = {
      {"--db PATH", "the engine database (default: the one in the program home)"},
      {"--engines NAME,NAME", "only these engines, for this run (default: the enabled ones)"},
      {"--max-connections N", "connections at a time (default: from the settings)"},
      {"--timeout SECONDS", "give up on a silent server after this (default: from the settings)"},
      {"--max-results N", "stop at N results in all, up to 65535 (default: from the settings)"},
      {"--max-results-per-engine N", "at most N results from each engine, up to 65535 (default: "
                                     "from the settings)"},
      {"--duplicates keep|remove", "keep or remove entries with the same URL (default: project's)"},
      {"--filter none|name|url", "what the patterns are matched against (default: project's)"},
      {"--merge", "add the results to the project's entries (default: replace them)"},
      {"--project PATH", "open PATH first when it exists, save to it (default: QUERY.sdp in the "
                         "program home)"},
      {"--no-save", "do not save the search as a project (default: saved)"},
      {"--verify", "verify the results after the search (default: from the settings)"},
      {"--no-verify", "do not verify the results (default: from the settings)"},
      {"--export PATH", "also export the results; .htm, .txt or .cdf (default: no export)"},
      {"--capture", "also keep every page the engines send in HOME/search (default: off)"},
      {"--replay", "read the engines' pages back from HOME/search, no network (default: off)"},
      {"--json", "print one JSON document instead of the result lines (default: text)"},
      kCaCertHelp,
  };
  return kOptions;
}

std::span<const OptionHelp> UpdateOptions() {
  static const OptionHelp kOptions[] = {kCaCertHelp};
  return kOptions;
}

namespace {

// What the command line asked of one search.
struct SearchRequest {
  std::string query;
  std::optional<std::string> db;
  std::optional<std::string> engineNames;
  std::optional<std::string> project;
  std::optional<std::string> exportPath;
  std::optional<ExportFormat> exportFormat;
  std::optional<std::uint8_t> duplicateRule;
  std::optional<std::uint8_t> filterRule;
  bool merge = false;
  bool noSave = false;
  bool verify = false;
  bool noVerify = false;
  bool capture = false;
  bool replay = false;
  bool json = false;
  NetworkOptions network;
};

// Number options straight into the run's settings; kExitOk or the usage error's status.
int TakeNumberOptions(Arguments& args, Settings& run) {
  struct NumberOption {
    const char* name;
    int low;
    int high;
    int& field;
  };
  const NumberOption numbers[] = {
      {"max-connections", 1, kSearchSlots, run.maxConnections},
      {"timeout", 1, 3600, run.timeoutSeconds},
      {"max-results", 0, 0xffff, run.maxResultsTotal},
      {"max-results-per-engine", 0, 0xffff, run.maxResultsPerEngine},
  };
  for (const NumberOption& option : numbers) {
    const std::optional<std::string> text = args.TakeOption(option.name);
    if (!text) continue;
    const std::optional<int> value = ParseCount(*text, option.low, option.high);
    if (!value) {
      return UsageError("--" + std::string(option.name) + " takes a number from " +
                            std::to_string(option.low) + " to " + std::to_string(option.high),
                        kSearchUsage);
    }
    option.field = *value;
  }
  return kExitOk;
}

// The word options; kExitOk or the usage error's status.
int ParseChoices(Arguments& args, SearchRequest& request) {
  if (const std::optional<std::string> duplicates = args.TakeOption("duplicates")) {
    if (*duplicates == "keep")
      request.duplicateRule = kKeepDuplicates;
    else if (*duplicates == "remove")
      request.duplicateRule = kRemoveDuplicateUrls;
    else
      return UsageError("--duplicates takes keep or remove", kSearchUsage);
  }
  if (const std::optional<std::string> filter = args.TakeOption("filter")) {
    if (*filter == "none")
      request.filterRule = kFilterNone;
    else if (*filter == "name")
      request.filterRule = kFilterName;
    else if (*filter == "url")
      request.filterRule = kFilterUrl;
    else
      return UsageError("--filter takes none, name or url", kSearchUsage);
  }
  request.exportPath = args.TakeOption("export");
  if (request.exportPath) {
    request.exportFormat = FormatOfPath(*request.exportPath);
    if (!request.exportFormat) {
      return UsageError("--export takes a path ending in .htm, .txt or .cdf", kSearchUsage);
    }
  }
  return kExitOk;
}

int ParseSearchRequest(Arguments& args, SearchRequest& request, Settings& run) {
  request.db = args.TakeOption("db");
  request.engineNames = args.TakeOption("engines");
  request.merge = args.TakeFlag("merge");
  request.project = args.TakeOption("project");
  request.noSave = args.TakeFlag("no-save");
  request.verify = args.TakeFlag("verify");
  request.noVerify = args.TakeFlag("no-verify");
  request.capture = args.TakeFlag("capture");
  request.replay = args.TakeFlag("replay");
  request.json = args.TakeFlag("json");
  request.network = TakeNetworkOptions(args, false);
  if (int status = TakeNumberOptions(args, run); status != kExitOk) return status;
  if (int status = ParseChoices(args, request); status != kExitOk) return status;
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kSearchUsage);
  if (words.size() != 1) return UsageError("search takes exactly one QUERY", kSearchUsage);
  if (request.verify && request.noVerify)
    return UsageError("--verify and --no-verify exclude each other", kSearchUsage);
  if (request.capture && request.replay)
    return UsageError("--capture and --replay exclude each other", kSearchUsage);
  if (request.project && request.noSave)
    return UsageError("--project and --no-save exclude each other", kSearchUsage);
  request.query = words.front();
  if (Trimmed(request.query).empty()) return UsageError(std::string(kEmptyQueryText), kSearchUsage);
  return kExitOk;
}

// Only the named engines take part in this run; the name that is not in the list, if any.
std::optional<std::string> EnableOnly(EngineList& list, const std::string& names) {
  SetAllEnabled(list, false);
  for (const std::string& name : SplitNames(names)) {
    bool found = false;
    for (const auto& engine : list) {
      if (engine->name == name) {
        engine->enabled = 1;
        found = true;
      }
    }
    if (!found) return name;
  }
  return std::nullopt;
}

// Runs the search thread to its end, serving its hand-offs here. Ctrl-C stops it.
int RunSearchToEnd(SearchSession& session, MainThreadQueue& queue, bool quiet) {
  ProgressLine line(quiet);
  session.callbacks.resultAdded = [&line](const ResultEntry&, int) { line.Result(); };
  session.callbacks.progress = [&line](const SearchProgress& progress) { line.Engines(progress); };
  WorkerThread thread;
  searchInterrupted = false;
  interruptible = &session;
  struct sigaction action {};
  action.sa_handler = StopOnInterrupt;
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);
  const int started = StartSearch(session, thread);
  if (started == kSearchStarted) {
    queue.RunUntil([&thread] { return IsFinished(thread); });
  }
  ::sigaction(SIGINT, &previous, nullptr);
  interruptible = nullptr;
  line.Done();
  return started;
}

// The search's JSON document: the query, where it was saved, the entries and the outcome.
std::string SearchJson(const SearchRequest& request, const std::string& projectPath,
                       const SearchSession& session, const VerifyOutcome* verified) {
  const SearchDocument& document = session.document;
  JsonWriter json;
  json.BeginObject();
  json.Key("query").String(request.query);
  json.Key("project");
  if (projectPath.empty()) {
    json.Null();
  } else {
    json.String(projectPath);
  }
  json.Key("interrupted").Bool(searchInterrupted.load());
  json.Key("removedInvalid");
  if (verified) {
    json.Number(verified->removed);
  } else {
    json.Null();
  }
  WriteEntriesJson(json, document);
  WriteReportJson(json, session.report);
  json.EndObject();
  return json.Document();
}

}  // namespace

int RunSearch(Arguments& args, const Context& context) {
  // Options change this run only: the settings file keeps what it had, but for the search
  // history and what the engine update changes.
  Settings settings;
  SettingsDefaults(settings, context.home);
  const std::string settingsPath = SettingsPath(context.home);
  const bool settingsRead = ReadSettings(settingsPath, settings);
  Settings run;
  SettingsDefaults(run, context.home);
  (void)ReadSettings(settingsPath, run);
  SearchRequest request;
  if (int status = ParseSearchRequest(args, request, run); status != kExitOk) return status;
  if (int status = ApplyNetworkOptions(request.network, context); status != kExitOk) return status;
  const bool quiet = context.quiet;

  LoadedEngines engines;
  if (std::optional<int> failed = LoadEngines(context, request.db, engines)) return *failed;
  ApplyEngineChoice(settingsRead, run, engines.list);
  // A first run writes the settings file with every engine enabled, as the GUI does at exit.
  bool enginesRenewed = !settingsRead;
  if (enginesRenewed) CopyNames(run.enabledEngines, settings.enabledEngines);

  SearchDocument document;
  const std::string projectPath =
      request.project ? *request.project
                      : (request.noSave ? std::string()
                                        : ProjectPathFromQuery(request.query, context.home));
  if (request.project && FileExists(*request.project)) {
    const int loaded = LoadDocument(*request.project, document);
    if (loaded == kLoadDamaged)
      return Fail("project file ends early or is damaged: " + *request.project);
    if (loaded != kLoadOk) return Fail("not a project file: " + *request.project);
  }
  SetSearchChoices(document, request.query, request.duplicateRule.value_or(document.duplicates),
                   request.filterRule.value_or(document.filter), request.merge);
  AddSearchHistory(settings, request.query);

  NetStartup();
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);

  SearchSession session(document, engines.list, run, engines.info);
  session.home = context.home;
  session.databasePath = engines.path;
  session.mode = request.capture ? kSearchCapture : request.replay ? kSearchReplay : kSearchNormal;
  // The update check runs here, before the search thread, so that --engines applies to the
  // list it may bring; a test run uses the engines it was given.
  session.updateCheck = false;
  if (session.mode == kSearchNormal && !request.db) {
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
  if (request.engineNames) {
    if (std::optional<std::string> unknown = EnableOnly(engines.list, *request.engineNames)) {
      RemoveDispatcher();
      NetShutdown();
      return Fail("no engine named " + *unknown + " in " + engines.path);
    }
  }

  const int started = RunSearchToEnd(session, *queue, quiet);
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
  if (!quiet) std::cerr << ReportText(session.report) << std::flush;
  // Verification serves its own interface-thread queue, so it runs once the search's is gone.
  // Ctrl-C during the search stops the whole run: no verification follows it.
  const bool verifyAfter =
      !searchInterrupted && (request.verify || (!request.noVerify && run.verifyAfterSearch));
  VerifyOutcome verified;
  if (verifyAfter) {
    VerifyChoices choices;
    choices.removeInvalid = run.removeInvalidAfterVerify != 0;
    choices.quiet = quiet;
    verified = VerifyDocument(document, run, choices);
  }
  NetShutdown();
  if (verified.status == kExitFailure) return verified.status;

  // When no engine answered (the network is down, say) the empty list must not replace a
  // project or an export that held results.
  const bool nothingAnswered = session.report.NothingAnswered();
  const std::string savedPath = nothingAnswered ? std::string() : projectPath;
  if (!savedPath.empty()) {
    if (!WriteDocument(savedPath, document)) {
      return Fail("cannot write project file " + savedPath);
    }
    if (!quiet) std::cerr << "sondrel-cli: saved the search as " << savedPath << '\n';
  }
  // Only what this run changed goes into the file as it is now, so a config change made
  // meanwhile is kept. The GUI writes its settings at exit without reporting a failure; so does
  // this.
  const SettingsChange saved =
      ChangeSettingsFile(settingsPath, context.home, [&](Settings& current) {
        AddSearchHistory(current, request.query);
        if (!savedPath.empty()) RememberProject(current, savedPath);
        current.lastEngineUpdate = settings.lastEngineUpdate;
        if (enginesRenewed) CopyNames(settings.enabledEngines, current.enabledEngines);
        return std::optional<std::string>();
      });
  TellKeptSettings(saved);
  if (verifyAfter) (void)ReportRemoved(verified, quiet);
  if (request.exportFormat && !nothingAnswered &&
      !ExportDocument(*request.exportPath, document, *request.exportFormat)) {
    return Fail(ExportFailedText(*request.exportPath));
  }
  if (request.json) {
    std::cout << SearchJson(request, savedPath, session, verifyAfter ? &verified : nullptr);
  } else {
    PrintResultList(document);
  }
  if (int flushed = FlushOutput(); flushed != kExitOk) return flushed;
  if (searchInterrupted || verified.status == kExitInterrupted) return kExitInterrupted;
  if (nothingAnswered) {
    return FailWith(kExitNothingAnswered, "no engine answered the search; nothing was saved");
  }
  return kExitOk;
}

int RunUpdate(Arguments& args, const Context& context) {
  const NetworkOptions network = TakeNetworkOptions(args, false);
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kUpdateUsage);
  if (!words.empty()) return UsageError("update takes no arguments", kUpdateUsage);
  if (int status = ApplyNetworkOptions(network, context); status != kExitOk) return status;

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
  if (result == kUpdateFailed) {
    // No answer, an error reply and anything else the server got wrong exit apart, as fetch does.
    const int status = target.failure ? ExitStatusFor(target.failure) : kExitFailure;
    return FailWith(status, UpdateFailureText(target.failure));
  }
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
