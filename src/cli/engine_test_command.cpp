// sondrel-cli engines --test and --check.

#include "cli/engine_test_command.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_engines.h"
#include "cli/json_writer.h"
#include "cli/network_options.h"
#include "cli/result_output.h"
#include "engines/engine_home.h"
#include "engines/fixture_check.h"
#include "engines/live_check.h"
#include "engines/search_report.h"
#include "net/net_failure.h"
#include "net/socket_io.h"
#include "results/settings.h"
#include "support/text.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kTestUsage = "engines --test [NAME] [--fixtures DIR] [--db PATH]";
constexpr std::string_view kCheckUsage =
    "engines --check [NAME] QUERY [--fixtures DIR] [--db PATH] [--timeout SECONDS] [--json]";
// The fixtures folder: the one given, else the first installed one that exists.
std::optional<std::string> FixturesDir(const std::optional<std::string>& given) {
  if (given) return given;
  std::error_code error;
  for (const std::string& candidate : FixtureDirCandidates(ExecutableDirectory())) {
    if (std::filesystem::is_directory(candidate, error)) return candidate;
  }
  return std::nullopt;
}

// The indices of the engines named name, or of every engine when there is no name.
std::vector<int> ChosenEngines(const EngineList& list, const std::optional<std::string>& name) {
  std::vector<int> chosen;
  for (int i = 0; i < list.Count(); ++i) {
    if (!name || list.Get(i)->name == *name) chosen.push_back(i);
  }
  return chosen;
}

void PrintCheck(const FixtureCheck& check) {
  std::cout << check.engine << '\t' << FixtureVerdictWord(check.verdict);
  if (check.verdict == FixtureVerdict::kPassed) {
    std::cout << '\t' << check.results.size()
              << (check.results.size() == 1 ? " result" : " results");
  } else if (check.verdict == FixtureVerdict::kUnreadable) {
    std::cout << '\t' << check.folder << ": " << check.problem;
  }
  std::cout << '\n';
  for (const std::string& line : check.differences) std::cout << "  " << line << '\n';
  if (check.verdict != FixtureVerdict::kFailed) return;
  // What the replay itself says, for the author who has to find out why.
  const EngineReport& report = check.report;
  std::cout << "  replay: " << OutcomeWord(report.outcome);
  if (report.failure.kind != FailureKind::kNone)
    std::cout << " (" << DescribeFailure(report.failure) << ')';
  std::cout << ", " << report.pages << " pages, " << report.matched << " matched, "
            << report.refusedByRules << " refused by rules, " << report.followUpsFailed
            << " follow-ups failed\n";
}

std::vector<int> EnginesWithFixtures(const EngineList& list, const std::string& dir) {
  std::vector<int> chosen;
  std::error_code error;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string folder = FixtureFolderOf(dir, *list.Get(i));
    if (!folder.empty() && std::filesystem::is_directory(folder, error)) chosen.push_back(i);
  }
  return chosen;
}

// The report as a search prints it, on standard output since it is what was asked for.
void PrintReport(const std::string& query, const SearchReport& report, bool json) {
  if (!json) {
    std::cout << ReportText(report);
    return;
  }
  JsonWriter writer;
  writer.BeginObject();
  writer.Key("query").String(query);
  WriteReportJson(writer, report);
  writer.Key("everyEngineDelivered").Bool(EveryEngineDelivered(report));
  writer.EndObject();
  std::cout << writer.Document();
}

// The engines a live check searches: NAME, or every engine that has a fixture (the shipped
// ones, and any an author gave one). kExitOk, or the failure after naming it.
int CheckedEngines(const EngineList& list, const std::string& path,
                   const std::optional<std::string>& name,
                   const std::optional<std::string>& fixtures, std::vector<int>& chosen) {
  if (name) {
    chosen = ChosenEngines(list, name);
    return chosen.empty() ? Fail("no engine named " + *name + " in " + path) : kExitOk;
  }
  const std::optional<std::string> dir = FixturesDir(fixtures);
  if (!dir) return Fail("no engine fixtures installed to tell the shipped engines; name one");
  chosen = EnginesWithFixtures(list, *dir);
  return chosen.empty() ? Fail("no engine of " + path + " has a fixture in " + *dir) : kExitOk;
}

std::optional<int> Seconds(const std::string& text) {
  int seconds = 0;
  const char* last = text.data() + text.size();
  const auto [end, failed] = std::from_chars(text.data(), last, seconds);
  if (failed != std::errc() || end != last || seconds < 1 || seconds > 3600) return std::nullopt;
  return seconds;
}

}  // namespace

int RunEngineTest(Arguments& args, const Context& context) {
  (void)args.TakeFlag("test");
  const std::optional<std::string> db = args.TakeOption("db");
  const std::optional<std::string> fixtures = args.TakeOption("fixtures");
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kTestUsage);
  if (words.size() > 1) return UsageError("engines --test takes at most one NAME", kTestUsage);
  const std::optional<std::string> name =
      words.empty() ? std::nullopt : std::optional<std::string>(words.front());

  std::string path;
  EngineList list;
  if (int status = LoadEnginesForCommand(context, db, list, path); status != kExitOk) return status;
  const std::vector<int> chosen = ChosenEngines(list, name);
  if (chosen.empty()) return Fail("no engine named " + *name + " in " + path);
  const std::optional<std::string> dir = FixturesDir(fixtures);
  if (!dir) return Fail("no engine fixtures installed; name a folder with --fixtures DIR");

  int tested = 0;
  int passed = 0;
  for (int index : chosen) {
    const FixtureCheck check = CheckEngineFixture(list, index, {*dir});
    PrintCheck(check);
    if (check.verdict == FixtureVerdict::kNoFixture) continue;
    ++tested;
    if (check.verdict == FixtureVerdict::kPassed) ++passed;
  }
  if (int status = FlushOutput(); status != kExitOk) return status;
  if (tested == 0) return Fail("no fixture for " + (name ? *name : path) + " in " + *dir);
  if (!context.quiet) {
    std::cerr << passed << " of " << tested << " engine fixtures passed (" << *dir << ")\n";
  }
  return passed == tested ? kExitOk : kExitFailure;
}

int RunEngineCheck(Arguments& args, const Context& context) {
  (void)args.TakeFlag("check");
  const std::optional<std::string> db = args.TakeOption("db");
  const std::optional<std::string> fixtures = args.TakeOption("fixtures");
  const std::optional<std::string> timeout = args.TakeOption("timeout");
  const bool json = args.TakeFlag("json");
  const NetworkOptions network = TakeNetworkOptions(args, false);
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kCheckUsage);
  if (words.empty() || words.size() > 2) {
    return UsageError("engines --check takes a QUERY, after an engine NAME or alone", kCheckUsage);
  }
  const std::string query = words.back();
  if (Trimmed(query).empty()) return UsageError("the QUERY is empty", kCheckUsage);

  std::string path;
  EngineList list;
  if (int status = LoadEnginesForCommand(context, db, list, path); status != kExitOk) return status;
  std::vector<int> chosen;
  const std::optional<std::string> name =
      words.size() == 2 ? std::optional<std::string>(words.front()) : std::nullopt;
  if (int status = CheckedEngines(list, path, name, fixtures, chosen); status != kExitOk) {
    return status;
  }

  Settings settings;
  SettingsDefaults(settings, context.home);
  (void)ReadSettings(SettingsPath(context.home), settings);
  if (timeout) {
    const std::optional<int> seconds = Seconds(*timeout);
    if (!seconds) return UsageError("--timeout takes a number from 1 to 3600", kCheckUsage);
    settings.timeoutSeconds = *seconds;
  }
  if (int status = ApplyNetworkOptions(network, context); status != kExitOk) return status;
  NetStartup();
  const LiveCheckOutcome outcome =
      RunLiveCheck({list, settings, context.home, query, std::move(chosen)});
  NetShutdown();
  PrintReport(query, outcome.report, json);
  if (int status = FlushOutput(); status != kExitOk) return status;
  if (outcome.report.NothingAnswered()) return kExitNothingAnswered;
  return EveryEngineDelivered(outcome.report) ? kExitOk : kExitFailure;
}

}  // namespace sondrel::cli
