// sondrel-cli engines --test and --check.

#include "cli/engine_test_command.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_engines.h"
#include "engines/engine_home.h"
#include "engines/fixture_check.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kTestUsage = "engines --test [NAME] [--fixtures DIR] [--db PATH]";

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
    std::cout << '\t' << check.results.size() << (check.results.size() == 1 ? " result" : " results");
  } else if (check.verdict == FixtureVerdict::kUnreadable) {
    std::cout << '\t' << check.folder << ": " << check.problem;
  }
  std::cout << '\n';
  for (const std::string& line : check.differences) std::cout << "  " << line << '\n';
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

}  // namespace sondrel::cli
