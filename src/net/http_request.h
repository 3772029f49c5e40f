#pragma once
// One HTTP fetch (HttpRequest) and the exact request text that goes on the wire.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/async_connection.h"
#include "net/net_failure.h"
#include "net/tls_options.h"
#include "support/dates.h"

namespace sondrel {

class ConnectionPool;

// Extra request header lines ("Accept", "application/json"), sent after the built-in ones.
using HeaderList = std::vector<std::pair<std::string, std::string>>;

enum HttpMethod { kHttpGet = 0, kHttpPost = 1, kHttpHead = 2 };

constexpr std::size_t kWorkUrlMax = 1999;  // the URL actually fetched
constexpr std::size_t kContentTypeMax = 119;
constexpr std::size_t kRequestTextMax = 7000;  // header lines are cut here
constexpr std::size_t kCredentialsMax = 499;   // "user:password" before encoding

struct HttpRequest {
  std::string url;                  // as the caller gave it
  std::string workUrl;              // normalised url, overwritten by redirects
  std::string contentType;          // of the last response, at most kContentTypeMax characters
  bool notHtml = true;              // unless the last Content-Type was exactly text/html
  std::string fileName;             // body target of file fetches
  std::optional<std::string> user;  // Basic authorisation after a 401
  std::optional<std::string> password;
  bool useProxy = false;
  std::string proxyHost;
  int proxyPort = 0;
  std::optional<std::string> userAgent;  // nullopt: the built-in agent; "" or "null": none
  std::optional<TlsOptions> tls;         // nullopt: DefaultTlsOptions()
  std::optional<DateStamp> ifModifiedSince;
  int method = kHttpGet;
  std::string postBody;
  bool resume = false;
  std::int64_t resumeOffset = 0;
  std::string body;              // in-memory fetches
  std::size_t bodyCapacity = 0;  // a body must stay below this
  std::optional<std::string> referer;
  bool useCookies = false;
  bool noCache = false;
  HeaderList extraHeaders;         // an engine's own header lines; its User-Agent replaces ours
  ConnectionPool* pool = nullptr;  // the operation's open connections, when it keeps any
};

// Everything a request line and header needs; the caller picks target and credentials.
struct RequestTextOptions {
  int method = kHttpGet;
  std::string_view target;  // "/d/p.html?x=1", or the whole URL through a proxy
  std::string_view url;     // gives the Host line
  long postLength = 0;
  const DateStamp* ifModifiedSince = nullptr;
  const std::string* userAgent = nullptr;  // null: built-in agent
  std::string_view user;                   // both non-empty: Authorization line
  std::string_view password;
  bool resume = false;
  std::int64_t resumeOffset = 0;
  std::string_view referer;
  bool noCache = false;
  const HeaderList* extraHeaders = nullptr;
};

// Writes the request text into out and returns its length; 0 (out empty) when a piece holds a
// byte that would break the request text: CR, LF or another control byte.
std::size_t BuildHttpRequest(std::string& out, const RequestTextOptions& options);
// Whether text holds a control byte (below 0x20, or 0x7F).
bool HasControlByte(std::string_view text);
// name (with its colon), a space and value, trailing whitespace of the text removed, CR LF;
// the text never passes limit characters.
void AppendHeader(std::string& text, std::size_t limit, std::string_view name,
                  std::string_view value);
// "Sun, 06 Nov 1994 08:49:37 GMT" from the stamp as it stands; empty for a month outside 1-12.
std::string HttpDateText(const DateStamp& stamp);
std::string Base64Encode(std::string_view bytes);

}  // namespace sondrel

namespace sondrel {

// The connection side of one fetch: what to send where, and what the evaluation of the
// responses so far has decided.
struct HttpFetchState {
  std::string requestText;  // empty when the request could not be written (failure says why)
  ConnectTarget target;     // the server, or the proxy
  bool authTried = false;   // the one retry with credentials was made
  int startMethod = kHttpGet;
  int redirects = 0;
  std::string urlUser;  // credentials from the address ("http://u:p@host/"), sent at once
  std::string urlPassword;
  NetFailure failure;
};

constexpr int kMaxRedirects = 20;
constexpr int kDefaultHttpPort = 80;

// Fills workUrl from url and writes the first request of the fetch (without the request's
// credentials, with those of the address). False with state.failure filled when the address
// cannot be fetched: an unknown scheme, a bad port, control bytes.
bool PrepareHttpFetch(HttpRequest& request, HttpFetchState& state);
// Writes the request for the current workUrl and the far end: the server, or the proxy (a
// CONNECT tunnel for https). Userinfo in workUrl is taken out of it first. False as above.
bool BuildFetchRequest(HttpRequest& request, HttpFetchState& state, bool withCredentials);

}  // namespace sondrel
