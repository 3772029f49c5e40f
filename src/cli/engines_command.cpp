// sondrel-cli compile and engines: the compile mode, and the engines of a database.

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "cli/cli_engines.h"
#include "cli/commands.h"
#include "engines/definition_text.h"
#include "engines/engine_database.h"
#include "results/settings.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kCompileUsage = "compile DEFINITIONS DATABASE NUMBER";
constexpr std::string_view kEnginesUsage = "engines [--db PATH] [--keys]";

// A decimal number that fits the 4-byte field, signed or unsigned.
std::optional<std::uint32_t> ParseFieldNumber(const std::string& word) {
  long long value = 0;
  const char* first = word.data();
  const char* last = word.data() + word.size();
  if (first != last && *first == '+') ++first;
  auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last) return std::nullopt;
  if (value < INT32_MIN || value > static_cast<long long>(UINT32_MAX)) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

int RunCompile(Arguments& args, const Context& context) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kCompileUsage);
  if (words.size() != 3) return UsageError("compile takes exactly three arguments", kCompileUsage);
  std::optional<std::uint32_t> number = ParseFieldNumber(words[2]);
  if (!number) return UsageError("NUMBER is not a 32-bit decimal number: " + words[2], kCompileUsage);

  DefinitionProblems problems;
  const int compiled = CompileDefinitions(words[0], words[1], *number, &problems);
  for (const std::string& warning : problems.warnings) {
    std::cerr << words[0] << ':' << warning << " (warning)\n";
  }
  for (const std::string& problem : problems.errors) {
    std::cerr << words[0] << ':' << problem << '\n';
  }
  switch (compiled) {
    case CompileOk:
      break;
    case CompileTextUnreadable:
      return Fail("cannot read definition text " + words[0]);
    case CompileTextInvalid:
      return Fail(words[0] + ": " + std::to_string(problems.errors.size()) +
                  " errors, nothing compiled");
    case CompileNoEngine:
      return Fail(words[0] + ": no engine section ([name]) in the text, nothing compiled");
    default:
      return Fail("cannot write engine database " + words[1]);
  }
  if (!context.quiet) {
    EngineList list;
    LoadedDatabase info;
    if (LoadDatabase(words[1], list, info)) {
      std::cout << "compiled " << list.Count() << " engines into " << words[1] << '\n';
    }
  }
  return kExitOk;
}

int RunEngines(Arguments& args, const Context& context) {
  for (const char* change : {"enable", "disable", "enable-all", "disable-all"}) {
    if (args.HasFlag(change)) return RunEngineChoice(args, context);
  }
  std::optional<std::string> db = args.TakeOption("db");
  bool keys = args.TakeFlag("keys");
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kEnginesUsage);
  if (!words.empty()) return UsageError("unexpected argument " + words.front(), kEnginesUsage);

  std::string path;
  EngineList list;
  if (int status = LoadEnginesForCommand(context, db, list, path); status != kExitOk) return status;
  ApplyEngineChoice(list, ReadEngineChoice(context.home));

  bool first = true;
  for (const auto& engine : list) {
    if (keys) {
      if (!first) std::cout << '\n';
      std::cout << DefinitionSectionOf(*engine);
    } else {
      std::cout << engine->name << '\t' << (engine->enabled ? "enabled" : "disabled") << '\n';
    }
    first = false;
  }
  return FlushOutput();
}

}  // namespace sondrel::cli
