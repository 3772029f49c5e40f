// sondrel-cli query and urlrule: the request each engine would be sent, and an engine's URL
// rules applied to addresses given on the command line.

#include <iostream>
#include <optional>
#include <string>

#include "cli/cli_engines.h"
#include "cli/commands.h"
#include "cli/result_output.h"
#include "engines/engine_database.h"
#include "engines/query.h"
#include "engines/url_directives.h"
#include "results/settings.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kQueryUsage = "query QUERY [OPTIONS]";
constexpr std::string_view kUrlRuleUsage = "urlrule DIRECTIVES URL...";
// The key is never printed: the request is built with a stand-in that encodes to itself, which
// is then shown as the placeholder the definition uses.
constexpr std::string_view kKeyStandIn = "Zq7KeyStandIn9vX";
constexpr std::string_view kKeyPlaceholder = "__KEY__";

std::string ShownKey(std::string text) {
  for (std::size_t at = text.find(kKeyStandIn); at != std::string::npos;
       at = text.find(kKeyStandIn, at + kKeyPlaceholder.size())) {
    text.replace(at, kKeyStandIn.size(), kKeyPlaceholder);
  }
  return text;
}

}  // namespace

std::span<const OptionHelp> QueryOptions() {
  static const OptionHelp kOptions[] = {
      {"--db PATH", "the engine database (default: the one in the program home)"},
      {"--engine NAME", "only this engine, enabled or not (default: every enabled engine)"},
  };
  return kOptions;
}

int RunQuery(Arguments& args, const Context& context) {
  std::optional<std::string> db = args.TakeOption("db");
  std::optional<std::string> only = args.TakeOption("engine");
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kQueryUsage);
  if (words.size() != 1) return UsageError("query takes exactly one QUERY", kQueryUsage);

  std::string path;
  EngineList list;
  if (int status = LoadEnginesForCommand(context, db, list, path); status != kExitOk) return status;
  ApplyEngineChoice(list, ReadEngineChoice(context.home));

  Settings settings;
  SettingsDefaults(settings, context.home);
  (void)ReadSettings(SettingsPath(context.home), settings);
  QueryFields fields;
  fields.query = words.front();
  bool printed = false;
  for (const auto& engine : list) {
    if (only ? engine->name != *only : !engine->enabled) continue;
    fields.userKey = UsesUserKey(*engine) ? std::string(kKeyStandIn) : std::string();
    if (UsesUserKey(*engine) && EngineKey(settings, engine->name).empty()) {
      Warn(engine->name + " needs a key and a search skips it until one is set: config engineKey." +
           engine->name + " KEY");
    }
    EngineRequest request;
    BuildRequest(request, fields, *engine);
    if (request.method == MethodPost) {
      std::cout << EscapeTsvField(engine->name) << "\tPOST\t"
                << EscapeTsvField(ShownKey(request.url)) << '\t'
                << EscapeTsvField(ShownKey(request.params)) << '\n';
    } else {
      std::cout << EscapeTsvField(engine->name) << "\tGET\t"
                << EscapeTsvField(ShownKey(RequestAddress(request))) << '\n';
    }
    printed = true;
  }
  if (only && !printed) return Fail("no engine named " + *only + " in " + path);
  return FlushOutput();
}

int RunUrlRule(Arguments& args, const Context&) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kUrlRuleUsage);
  if (words.size() < 2) return UsageError("urlrule takes DIRECTIVES and at least one URL", kUrlRuleUsage);
  const std::string& directives = words.front();
  std::string rewritten;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (ApplyUrlDirectives(rewritten, words[i], directives)) {
      std::cout << "accepted\t" << rewritten << '\n';
    } else {
      std::cout << "refused\t" << words[i] << '\n';
    }
  }
  return FlushOutput();
}

}  // namespace sondrel::cli
