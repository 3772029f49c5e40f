#pragma once
// The network settings a download or a verification run copies when it starts.

#include <string>
#include <string_view>

#include "results/settings.h"

namespace sondrel {

struct TransferConfig {
  int timeoutSeconds = 60;
  bool webProxyOn = false;
  std::string webProxyHost;
  int webProxyPort = 0;
  bool ftpProxyOn = false;
  std::string ftpProxyHost;
  int ftpProxyPort = 0;
};

// Copies the timeout and both proxies of settings into config.
void CopyTransferSettings(const Settings& settings, TransferConfig& config);

// A proxy counts only with a host to send to; "on" with an empty address would turn every
// transfer into a failed connection (and, in a verification run with removal on, delete every
// entry).
inline bool WebProxyUsable(const TransferConfig& config) {
  return config.webProxyOn && !config.webProxyHost.empty();
}
inline bool FtpProxyUsable(const TransferConfig& config) {
  return config.ftpProxyOn && !config.ftpProxyHost.empty();
}

// The proxy of one HTTP request for url: the FTP proxy for an ftp address fetched through it,
// else the web proxy when usable, else the one the environment names for url (http_proxy,
// https_proxy, no_proxy); without a proxy the host is empty and the port 0.
struct HttpProxyRoute {
  bool useProxy = false;
  std::string host;
  int port = 0;
};
HttpProxyRoute HttpProxyFor(const TransferConfig& config, bool viaFtpProxy, std::string_view url);

}  // namespace sondrel
