#pragma once
// The options of every command that reaches the network: --cacert FILE, and -k/--insecure
// where a single transfer may skip the certificate check.

#include <optional>
#include <span>
#include <string>

#include "cli/arguments.h"

namespace sondrel::cli {

struct NetworkOptions {
  std::optional<std::string> caFile;
  bool insecure = false;
};

// Takes --cacert FILE and, when insecureAllowed, -k/--insecure.
NetworkOptions TakeNetworkOptions(Arguments& args, bool insecureAllowed);
// Makes them the default of every request of this run, warning on stderr for --insecure;
// without --cacert the settings' caFile applies. kExitOk, or kExitFailure (reported) when the
// certificate file given on the command line cannot be read.
int ApplyNetworkOptions(const NetworkOptions& options, const Context& context);

// The help lines of those options.
inline constexpr OptionHelp kCaCertHelp = {
    "--cacert FILE",
    "also trust the certificates in this PEM file (default: the caFile setting, else none)"};
inline constexpr OptionHelp kInsecureHelp = {
    "-k, --insecure", "do not check the server's certificate, for this run only (default: check)"};

}  // namespace sondrel::cli
