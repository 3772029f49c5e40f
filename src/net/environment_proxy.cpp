#include "net/environment_proxy.h"

#include <cstdlib>

#include "net/http_request.h"
#include "net/url.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr int kDefaultProxyPort = 80;

std::string Variable(const char* lower, const char* upper) {
  const char* value = std::getenv(lower);
  if (!value || !*value) value = std::getenv(upper);
  return value ? value : "";
}

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsLoopback(std::string_view host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.starts_with("127.");
}

// "host:port" or "[v6]:port" without any user part; port -1 when absent.
void SplitAuthority(std::string_view authority, std::string& host, int& port) {
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (authority.starts_with("[")) {
    const std::size_t close = authority.find(']');
    host = std::string(authority.substr(0, close == std::string_view::npos ? close : close + 1));
    std::string ignored;
    port = -1;
    if (close != std::string_view::npos) SplitHostPort(authority.substr(close + 1), ignored, port);
    return;
  }
  SplitHostPort(authority, host, port);
}

std::string HostOf(std::string_view url) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  std::string host;
  int port = -1;
  SplitAuthority(parts.netloc, host, port);
  return Lowered(host);
}

}  // namespace

ProxyVariables ReadProxyVariables() {
  return {Variable("http_proxy", "HTTP_PROXY"), Variable("https_proxy", "HTTPS_PROXY"),
          Variable("no_proxy", "NO_PROXY")};
}

std::optional<ProxyAddress> ParseProxyValue(std::string_view value) {
  std::string text = Trimmed(value);
  std::string_view rest = text;
  if (const std::size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    if (Lowered(rest.substr(0, scheme)) != "http") return std::nullopt;
    rest.remove_prefix(scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  ProxyAddress address;
  int port = -1;
  SplitAuthority(rest, address.host, port);
  if (address.host.empty()) return std::nullopt;
  address.port = port > 0 && port <= 65535 ? port : kDefaultProxyPort;
  return address;
}

bool ExemptFromProxy(std::string_view host, std::string_view noProxy) {
  const std::string name = Lowered(host);
  if (IsLoopback(name)) return true;
  std::size_t from = 0;
  while (from <= noProxy.size()) {
    std::size_t comma = noProxy.find(',', from);
    if (comma == std::string_view::npos) comma = noProxy.size();
    std::string entry = Lowered(Trimmed(noProxy.substr(from, comma - from)));
    from = comma + 1;
    if (entry == "*") return true;
    // "host:port" names the host; an IPv6 literal keeps its colons inside brackets only.
    if (const std::size_t colon = entry.rfind(':');
        colon != std::string::npos && entry.find(':') == colon) {
      entry.erase(colon);
    }
    while (entry.starts_with(".")) entry.erase(0, 1);
    if (entry.empty()) continue;
    if (name == entry) return true;
    if (name.size() > entry.size() && name.ends_with(entry) &&
        name[name.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

std::optional<ProxyAddress> ProxyFor(std::string_view url, const ProxyVariables& variables) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  const std::string scheme = Lowered(parts.scheme);
  const std::string* value = scheme == "https"  ? &variables.https
                             : scheme == "http" ? &variables.http
                                                : nullptr;
  if (!value || value->empty()) return std::nullopt;
  if (ExemptFromProxy(HostOf(url), variables.noProxy)) return std::nullopt;
  return ParseProxyValue(*value);
}

void ApplyEnvironmentProxy(HttpRequest& request) {
  if (request.useProxy) return;
  const std::optional<ProxyAddress> proxy = ProxyFor(request.url, ReadProxyVariables());
  if (!proxy) return;
  request.useProxy = true;
  request.proxyHost = proxy->host;
  request.proxyPort = proxy->port;
}

}  // namespace sondrel
