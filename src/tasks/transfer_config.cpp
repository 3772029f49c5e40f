#include "tasks/transfer_config.h"

#include <optional>

#include "net/environment_proxy.h"

namespace sondrel {

void CopyTransferSettings(const Settings& settings, TransferConfig& config) {
  config.timeoutSeconds = settings.timeoutSeconds;
  config.webProxyOn = settings.webProxyOn != 0;
  config.webProxyHost = settings.webProxyAddress;
  config.webProxyPort = settings.webProxyPort;
  config.ftpProxyOn = settings.ftpProxyOn != 0;
  config.ftpProxyHost = settings.ftpProxyAddress;
  config.ftpProxyPort = settings.ftpProxyPort;
}

HttpProxyRoute HttpProxyFor(const TransferConfig& config, bool viaFtpProxy, std::string_view url) {
  HttpProxyRoute route;
  if (viaFtpProxy) {
    route = {true, config.ftpProxyHost, config.ftpProxyPort};
  } else if (WebProxyUsable(config)) {
    route = {true, config.webProxyHost, config.webProxyPort};
  } else if (const std::optional<ProxyAddress> proxy = ProxyFor(url, ReadProxyVariables())) {
    route = {true, proxy->host, proxy->port};
  }
  return route;
}

}  // namespace sondrel
