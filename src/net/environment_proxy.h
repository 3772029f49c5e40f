#pragma once
// The proxy that the environment names (http_proxy, https_proxy, no_proxy), for requests whose
// settings name none: the convention every command-line HTTP client on the system follows.

#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

struct HttpRequest;

struct ProxyVariables {
  std::string http;     // http_proxy, else HTTP_PROXY
  std::string https;    // https_proxy, else HTTPS_PROXY
  std::string noProxy;  // no_proxy, else NO_PROXY
};
// The variables of this process's environment.
ProxyVariables ReadProxyVariables();

struct ProxyAddress {
  std::string host;
  int port = 0;
};
// "host:port", "http://host:port/" or "http://user@host" (port 80 when none is given); nothing
// for another scheme (socks, https) or a value without a host.
std::optional<ProxyAddress> ParseProxyValue(std::string_view value);
// Whether no_proxy exempts host: "*", the host itself, or a domain it lies in ("example.org"
// and ".example.org" both cover "www.example.org"), compared without case; a ":port" on an
// entry is ignored. Loopback hosts are always exempt: a local server is never behind a proxy.
bool ExemptFromProxy(std::string_view host, std::string_view noProxy);
// The proxy for url from the given variables; nothing when none applies.
std::optional<ProxyAddress> ProxyFor(std::string_view url, const ProxyVariables& variables);

// A request that has no proxy of its own gets the environment's, when one applies.
void ApplyEnvironmentProxy(HttpRequest& request);

}  // namespace sondrel
