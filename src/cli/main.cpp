// sondrel-cli: the headless front end over the same core as the desktop application.

#include <algorithm>
#include <cstring>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "support/memory.h"
#include "support/paths.h"
#include "support/version.h"

namespace sondrel::cli {
namespace {

const Command kCommands[] = {
    {"compile", "compile DEFINITIONS DATABASE NUMBER",
     "compile an engine definition text into an engine database", RunCompile, NoOptions,
     cli_texts::kCompileDetails},
    {"engines", "engines [OPTIONS] [NAME...]",
     "list the engines of the database, print them as definition text, or choose which take part",
     RunEngines, EnginesOptions, nullptr},
    {"config", "config [KEY [VALUE]]",
     "print every setting, print one, or set one in the settings file", RunConfig, NoOptions,
     cli_texts::kConfigDetails},
    {"add", "add PROJECT URL [NAME]",
     "append a hand-made entry (an HTTP or FTP address) to a project, creating it when missing",
     RunAdd, NoOptions, nullptr},
    {"show", "show PROJECT [OPTIONS]", "print a project's query and choices, then its result list",
     RunShow, ShowOptions, nullptr},
    {"export", "export PROJECT htm|txt|cdf",
     "write the project's result list beside it as HTML, text or comma-delimited text", RunExport,
     NoOptions, nullptr},
    {"query", "query QUERY [OPTIONS]",
     "print the request each enabled engine would be sent for QUERY", RunQuery, QueryOptions,
     nullptr},
    {"urlrule", "urlrule DIRECTIVES URL...",
     "apply a URL directive list to each URL: accepted or refused, and the rewritten address",
     RunUrlRule, NoOptions, nullptr},
    {"fetch", "fetch URL [OPTIONS]",
     "one blocking HTTP or HTTPS fetch with its progress on stderr; the body to FILE or stdout",
     RunFetch, FetchOptions, nullptr},
    {"search", "search QUERY [OPTIONS]",
     "run a search with every enabled engine, save it as a project and print the result list",
     RunSearch, SearchOptions, nullptr},
    {"update", "update [OPTIONS]", "ask the update server for a new engine database", RunUpdate,
     UpdateOptions, nullptr},
    {"verify", "verify PROJECT [OPTIONS]",
     "check every entry of a project against its server, save it and print the result list",
     RunVerify, VerifyOptions, nullptr},
    {"download", "download URL [OPTIONS]",
     "download a file into the download directory, resuming a partial file when possible",
     RunDownload, DownloadOptions, cli_texts::kDownloadDetails},
};

void PrintProgramHelp(std::ostream& out) {
  out << "usage: sondrel-cli COMMAND [ARGS] [OPTIONS]\n\ncommands:\n";
  for (const Command& command : kCommands) {
    out << "  " << command.usage << "\n      " << command.summary << '\n';
  }
  out << '\n'
      << cli_texts::kCommonOptions << '\n'
      << cli_texts::kExitStatuses
      << "\nRun 'sondrel-cli COMMAND --help' for the options of one command.\n";
}

void PrintOptions(std::span<const OptionHelp> options) {
  std::size_t width = 0;
  for (const OptionHelp& option : options) width = std::max(width, std::strlen(option.spelling));
  std::cout << "options:\n";
  for (const OptionHelp& option : options) {
    std::cout << "  " << option.spelling
              << std::string(width + 2 - std::strlen(option.spelling), ' ') << option.text << '\n';
  }
  std::cout << '\n';
}

void PrintCommandHelp(const Command& command) {
  std::cout << "usage: sondrel-cli " << command.usage << "\n" << command.summary << "\n\n";
  if (command.details) std::cout << command.details << '\n';
  std::span<const OptionHelp> options = command.options();
  if (!options.empty()) PrintOptions(options);
  std::cout << cli_texts::kCommonOptions << '\n' << cli_texts::kExitStatuses;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int Main(std::vector<std::string> words) {
  Arguments args(std::move(words));
  if (args.TakeFlag("version", 'V')) {
    std::cout << "sondrel-cli " << kProgramVersion << '\n';
    return FlushOutput();
  }
  const bool help = args.TakeFlag("help", 'h');
  Context context;
  const std::optional<std::string> home = args.TakeOption("home");
  context.quiet = args.TakeFlag("quiet", 'q');
  const std::optional<std::string> name = args.TakeFirstOperand();
  if (!name) {
    if (help) {
      PrintProgramHelp(std::cout);
      return FlushOutput();
    }
    // An option before any command, or no command at all.
    std::string error;
    (void)args.Finish(error);
    if (!error.empty()) std::cerr << "sondrel-cli: " << error << " before the command\n";
    PrintProgramHelp(std::cerr);
    return kExitUsage;
  }
  const Command* command = FindCommand(*name);
  if (!command) {
    std::cerr << "sondrel-cli: unknown command " << *name
              << "\nRun 'sondrel-cli --help' for the list of commands.\n";
    return kExitUsage;
  }
  if (help) {
    PrintCommandHelp(*command);
    return FlushOutput();
  }
  if (home && home->empty()) return UsageError("--home needs a directory", command->usage);
  context.home = home ? *home : ProgramHome();
  // The command takes its own options from what is left; "--" still ends them.
  return command->run(args, context);
}

}  // namespace
}  // namespace sondrel::cli

int main(int argc, char** argv) {
  sondrel::InstallAllocationFailureHandler();
  return sondrel::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
