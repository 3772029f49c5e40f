#pragma once
// The commands of sondrel-cli. Each command group lives in its own file and is listed in
// the table of main.cpp.

#include <span>
#include <string>

#include "cli/arguments.h"

namespace sondrel {
struct SearchDocument;
struct Settings;
}  // namespace sondrel

namespace sondrel::cli {

struct Command {
  const char* name;
  const char* usage;    // the words after "sondrel-cli"
  const char* summary;  // one line for --help
  int (*run)(Arguments& args, const Context& context);
  // The command's own options for its --help, kept beside the code that takes them.
  std::span<const OptionHelp> (*options)();
  // More lines for the command's --help, before its options; nullptr for none.
  const char* details;
};

// The option tables, one per command.
std::span<const OptionHelp> NoOptions();
std::span<const OptionHelp> EnginesOptions();
std::span<const OptionHelp> ShowOptions();
std::span<const OptionHelp> QueryOptions();
std::span<const OptionHelp> FetchOptions();
std::span<const OptionHelp> SearchOptions();
std::span<const OptionHelp> UpdateOptions();
std::span<const OptionHelp> VerifyOptions();
std::span<const OptionHelp> DownloadOptions();

int RunCompile(Arguments& args, const Context& context);
int RunEngines(Arguments& args, const Context& context);
// results_commands.cpp: the settings file, project files and exports.
int RunConfig(Arguments& args, const Context& context);
int RunAdd(Arguments& args, const Context& context);
int RunShow(Arguments& args, const Context& context);
int RunExport(Arguments& args, const Context& context);
// engines --enable NAME... / --disable NAME... / --enable-all / --disable-all
int RunEngineChoice(Arguments& args, const Context& context);
int RunQuery(Arguments& args, const Context& context);
int RunUrlRule(Arguments& args, const Context& context);
int RunFetch(Arguments& args, const Context& context);
// search_command.cpp: a whole search, and the Update Engines command.
int RunSearch(Arguments& args, const Context& context);
int RunUpdate(Arguments& args, const Context& context);
// verify_command.cpp: verification of a project, and a single download.
int RunVerify(Arguments& args, const Context& context);
int RunDownload(Arguments& args, const Context& context);
// How a verification of a whole document runs.
struct VerifyChoices {
  bool removeInvalid = false;
  bool quiet = false;  // no "VERIFY: %d/%d processed" on stderr
};
struct VerifyOutcome {
  int status = kExitOk;  // kExitFailure (reported) when it could not start, kExitInterrupted
  int removed = 0;       // invalid entries removed
};
// Verifies every entry of document with the settings' connections, timeout and proxies.
// Serves its own interface-thread queue (call it with no other dispatcher running) and starts
// the network layer; the caller shuts it down. Ctrl-C stops the run.
VerifyOutcome VerifyDocument(SearchDocument& document, const Settings& settings,
                             const VerifyChoices& choices);
// "removed N invalid entries" on stderr unless quiet; returns outcome.status.
int ReportRemoved(const VerifyOutcome& outcome, bool quiet);
std::string RemovedInvalidText(int removed);

}  // namespace sondrel::cli
