// sondrel-cli: the headless front end over the same core as the desktop application.

#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "support/memory.h"
#include "support/paths.h"

namespace sondrel::cli {
namespace {

const Command kCommands[] = {
    {"compile", "compile DEFINITIONS DATABASE NUMBER",
     "compile an engine definition text into an engine database", RunCompile},
    {"engines",
     "engines [--db PATH] [--keys] | engines --enable NAME... | --disable NAME... | --enable-all "
     "| --disable-all",
     "list the engines of the database, print them as definition text, or choose which take part",
     RunEngines},
    {"config", "config [KEY [VALUE]]",
     "print every setting, print one, or set one in the settings file", RunConfig},
    {"add", "add PROJECT URL [NAME]",
     "append a hand-made entry (an HTTP or FTP address) to a project, creating it when missing",
     RunAdd},
    {"show", "show PROJECT", "print a project's query and choices, then its result list",
     RunShow},
    {"export", "export PROJECT htm|txt|cdf",
     "write the project's result list beside it as HTML, text or comma-delimited text",
     RunExport},
    {"query", "query QUERY [--db PATH] [--engine NAME]",
     "print the request each enabled engine would be sent for QUERY", RunQuery},
    {"urlrule", "urlrule DIRECTIVES URL...",
     "apply a URL directive list to each URL: accepted or refused, and the rewritten address",
     RunUrlRule},
    {"fetch", "fetch URL [-o FILE] [--resume] [--head] [--proxy HOST:PORT] [--timeout S]",
     "one blocking HTTP fetch with its progress on stderr; the body to FILE or stdout",
     RunFetch},
    {"search", "search QUERY [options]",
     "run a search with every enabled engine, save it as a project and print the result list",
     RunSearch},
    {"update", "update", "ask the update server for a new engine database", RunUpdate},
    {"verify", "verify PROJECT [--remove-invalid | --keep-invalid]",
     "check every entry of a project against its server, save it and print the result list",
     RunVerify},
    {"download", "download URL [--dir DIR] [--resume | --restart]",
     "download a file into the download directory, resuming a partial file when possible",
     RunDownload},
};

void PrintHelp() {
  std::cout << "usage: sondrel-cli COMMAND [ARGS] [OPTIONS] [--home DIR]\n\ncommands:\n";
  for (const Command& command : kCommands) {
    std::cout << "  " << command.usage << "\n      " << command.summary << '\n';
  }
  std::cout << "\n--home DIR sets the program home for this run.\n"
               "Run 'sondrel-cli COMMAND --help' for one command.\n";
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int Main(std::vector<std::string> words) {
  Arguments all(std::move(words));
  Context context;
  std::optional<std::string> home = all.TakeOption("home");
  context.quiet = all.TakeFlag("quiet");
  bool help = all.TakeFlag("help");
  std::string error;
  std::vector<std::string> rest = all.Finish(error);
  // The command is the first word that is not an option's value.
  if (rest.empty() || rest.front().starts_with("-")) {
    PrintHelp();
    return help ? kExitOk : kExitUsage;
  }
  const Command* command = FindCommand(rest.front());
  if (!command) {
    std::cerr << "sondrel-cli: unknown command " << rest.front() << '\n';
    PrintHelp();
    return kExitUsage;
  }
  if (help) {
    std::cout << "usage: sondrel-cli " << command->usage << "\n  " << command->summary << '\n';
    return kExitOk;
  }
  context.home = home ? *home : ProgramHome();
  // Give the command its own words again, options included, without the command name.
  Arguments own(std::vector<std::string>(rest.begin() + 1, rest.end()));
  return command->run(own, context);
}

}  // namespace
}  // namespace sondrel::cli

int main(int argc, char** argv) {
  sondrel::InstallAllocationFailureHandler();
  return sondrel::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
