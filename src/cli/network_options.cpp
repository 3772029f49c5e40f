#include "cli/network_options.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/tls_options.h"
#include "results/settings.h"

namespace sondrel::cli {

NetworkOptions TakeNetworkOptions(Arguments& args, bool insecureAllowed) {
  NetworkOptions options;
  options.caFile = args.TakeOption("cacert");
  if (insecureAllowed) options.insecure = args.TakeFlag("insecure", 'k');
  return options;
}

int ApplyNetworkOptions(const NetworkOptions& options, const Context& context) {
  TlsOptions tls = DefaultTlsOptions();
  Settings settings;
  SettingsDefaults(settings, context.home);
  (void)ReadSettings(SettingsPath(context.home), settings);
  tls.caFile = settings.caFile;
  if (options.caFile) {
    // A missing or unreadable file is named now rather than as a handshake failure later.
    const int fd = ::open(options.caFile->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return Fail(*options.caFile + ": cannot read the certificates: " + std::strerror(errno));
    ::close(fd);
    tls.caFile = *options.caFile;
  }
  if (options.insecure) {
    Warn(
        "--insecure: the server's certificate is not checked; anyone on the way can read and "
        "change this transfer");
    tls.insecure = true;
  }
  SetDefaultTlsOptions(tls);
  return kExitOk;
}

}  // namespace sondrel::cli
