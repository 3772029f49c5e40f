#include "net/http_request.h"

#include <cstdio>

#include "net/net_texts.h"
#include "net/url_encoding.h"
#include "net/url.h"
#include "support/text.h"
#include "support/version.h"

namespace sondrel {
namespace {

// Appends as much of piece as keeps room for a closing CR LF within limit.
void AppendCut(std::string& text, std::size_t limit, std::string_view piece) {
  std::size_t room = limit >= 2 && text.size() < limit - 2 ? limit - 2 - text.size() : 0;
  text.append(piece.substr(0, room));
}

}  // namespace

void AppendHeader(std::string& text, std::size_t limit, std::string_view name,
                  std::string_view value) {
  AppendCut(text, limit, name);
  AppendCut(text, limit, " ");
  AppendCut(text, limit, value);
  while (!text.empty() && IsSpace(text.back())) text.pop_back();
  text += "\r\n";
}

bool HasControlByte(std::string_view text) {
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

namespace {

// A request target with its spaces encoded: a space would end the request line early.
std::string EncodedTarget(std::string_view target) {
  std::string out;
  out.reserve(target.size());
  for (char c : target) {
    if (c == ' ') {
      out += "%20";
    } else {
      out += c;
    }
  }
  return out;
}

bool HasAgentHeader(const HeaderList* extra) {
  if (!extra) return false;
  for (const auto& [name, value] : *extra) {
    if (EqualsNoCase(name, "User-Agent")) return true;
  }
  return false;
}

// Whether every piece that goes into the text is free of bytes that would end a line or the
// request early, so no piece can add a header line of its own.
bool PiecesAreSafe(const RequestTextOptions& o) {
  if (HasControlByte(o.target) || HasControlByte(o.url) || HasControlByte(o.referer) ||
      HasControlByte(o.user) || HasControlByte(o.password)) {
    return false;
  }
  if (o.userAgent && HasControlByte(*o.userAgent)) return false;
  if (!o.extraHeaders) return true;
  for (const auto& [name, value] : *o.extraHeaders) {
    if (name.empty() || HasControlByte(name) || HasControlByte(value) ||
        name.find_first_of(": ") != std::string::npos) {
      return false;
    }
  }
  return true;
}

// "host" or "host:port" for the Host line: the port only when it is not the scheme's own.
std::string HostLine(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  std::string user, password, hostport, host;
  SplitUserInfo(parts.netloc, user, password, hostport);
  int port = -1;
  SplitHostPort(hostport, host, port);
  if (port > 0 && port != DefaultPortOf(url)) host += ":" + std::to_string(port);
  return host;
}

}  // namespace

std::size_t BuildHttpRequest(std::string& out, const RequestTextOptions& o) {
  namespace t = net_texts;
  const std::size_t limit = kRequestTextMax;
  out.clear();
  if (!PiecesAreSafe(o)) return 0;
  std::string_view word = o.method == kHttpGet    ? t::kMethodGet
                          : o.method == kHttpHead ? t::kMethodHead
                                                  : t::kMethodPost;
  AppendCut(out, limit, word);
  AppendCut(out, limit, " ");
  AppendCut(out, limit, EncodedTarget(o.target));
  out += t::kVersion11;
  if (!o.referer.empty()) AppendHeader(out, limit, t::kReferer, o.referer);
  AppendHeader(out, limit, t::kConnection, t::kKeepAlive);
  if (HasAgentHeader(o.extraHeaders)) {
    // The engine's own agent line goes out with its other lines.
  } else if (!o.userAgent) {
    AppendHeader(out, limit, t::kUserAgent,
                 std::string(t::kAgentName) + std::string(kProgramVersion));
  } else if (!o.userAgent->empty() && !EqualsNoCase(*o.userAgent, t::kNoUserAgent)) {
    AppendHeader(out, limit, t::kUserAgent, *o.userAgent);
  }
  std::string host = HostLine(o.url);
  if (!host.empty()) AppendHeader(out, limit, t::kHost, host);
  AppendCut(out, limit, t::kAcceptBlock);
  if (!o.user.empty() && !o.password.empty()) {
    std::string joined =
        StrCopyN(std::string(o.user) + ":" + std::string(o.password), kCredentialsMax + 1);
    AppendHeader(out, limit, t::kAuthorization, std::string(t::kBasic) + Base64Encode(joined));
  }
  if (o.ifModifiedSince)
    AppendHeader(out, limit, t::kIfModifiedSince, HttpDateText(*o.ifModifiedSince));
  char line[64];
  if (o.resume) {
    std::snprintf(line, sizeof line, "Range: bytes=%lld-\r\n",
                  static_cast<long long>(o.resumeOffset));
    out += line;
  }
  if (o.method == kHttpPost) {
    AppendHeader(out, limit, t::kContentTypeOut, t::kFormContentType);
    std::snprintf(line, sizeof line, "Content-length: %ld\r\n", o.postLength);
    out += line;
  }
  if (o.noCache) AppendHeader(out, limit, t::kPragma, t::kNoCache);
  if (o.extraHeaders) {
    for (const auto& [name, value] : *o.extraHeaders) AppendHeader(out, limit, name + ":", value);
  }
  out += "\r\n";
  return out.size();
}

std::string HttpDateText(const DateStamp& stamp) {
  if (stamp.month < 1 || stamp.month > 12) return {};
  long day = DayNumber(stamp.day, stamp.month, stamp.year);
  int weekDay = WeekDay(day);
  if (weekDay < 0 || weekDay > 6) weekDay = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                net_texts::kWeekDays[weekDay].data(), stamp.day,
                net_texts::kMonths[stamp.month - 1].data(), stamp.year, stamp.hour, stamp.minute,
                stamp.second);
  return text;
}

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

}  // namespace sondrel

namespace sondrel {

namespace {

bool RefuseFetch(HttpFetchState& state, FailureKind kind, std::string_view host,
                 std::string_view detail) {
  state.requestText.clear();
  state.failure.kind = kind;
  state.failure.host = std::string(host);
  state.failure.detail = std::string(detail);
  return false;
}

// workUrl without its userinfo, which goes to urlUser and urlPassword instead: the host is what
// follows the '@', and the credentials never travel inside a request line or a Referer.
void TakeUserInfo(HttpRequest& request, HttpFetchState& state) {
  UrlParts parts;
  SplitUrl(request.workUrl, parts);
  if (parts.netloc.find('@') == std::string::npos) return;
  std::string hostport;
  SplitUserInfo(parts.netloc, state.urlUser, state.urlPassword, hostport);
  state.urlUser = PercentDecoded(state.urlUser);
  state.urlPassword = PercentDecoded(state.urlPassword);
  parts.netloc = hostport;
  request.workUrl = StrCopyN(ComposeUrl(parts), kWorkUrlMax + 1);
}

}  // namespace

bool BuildFetchRequest(HttpRequest& request, HttpFetchState& state, bool withCredentials) {
  namespace t = net_texts;
  state.failure = NetFailure{};
  TakeUserInfo(request, state);
  std::string netloc;
  std::string target;
  RequestTarget(request.workUrl, netloc, target);
  std::string host;
  int port = -1;
  SplitHostPort(netloc, host, port);
  // An HTTP proxy also fetches ftp addresses for us.
  const bool ftpViaProxy =
      request.useProxy && request.workUrl.size() > t::kFtpScheme.size() &&
      EqualsNoCase(std::string_view(request.workUrl).substr(0, t::kFtpScheme.size()),
                   t::kFtpScheme);
  if (!IsHttpUrl(request.workUrl) && !ftpViaProxy) {
    return RefuseFetch(state, FailureKind::kBadAddress, host, t::kBadRedirect);
  }
  if (port == 0) return RefuseFetch(state, FailureKind::kBadAddress, host, t::kBadPort);
  const bool https = IsHttpsUrl(request.workUrl);
  ConnectTarget& to = state.target;
  to = ConnectTarget{};
  to.server = host;
  to.serverPort = port < 0 ? DefaultPortOf(request.workUrl) : port;
  to.tls = https;
  to.tlsOptions = request.tls ? *request.tls : DefaultTlsOptions();
  if (target.empty()) target = "/";
  if (request.useProxy) {
    to.host = request.proxyHost;
    to.port = request.proxyPort;
    // Through the proxy, https goes inside a tunnel; plain http names the whole address.
    to.tunnel = https;
    if (!https) target = request.workUrl;
  } else {
    to.host = host;
    to.port = to.serverPort;
  }
  RequestTextOptions o;
  o.method = request.method;
  o.target = target;
  o.url = request.workUrl;
  o.postLength = static_cast<long>(request.postBody.size());
  o.ifModifiedSince = request.ifModifiedSince ? &*request.ifModifiedSince : nullptr;
  o.userAgent = request.userAgent ? &*request.userAgent : nullptr;
  if (withCredentials) {
    if (request.user) o.user = *request.user;
    if (request.password) o.password = *request.password;
  } else if (!state.urlUser.empty() || !state.urlPassword.empty()) {
    o.user = state.urlUser;
    o.password = state.urlPassword;
  }
  o.resume = request.resume;
  o.resumeOffset = request.resumeOffset;
  o.referer = request.referer ? std::string_view(*request.referer) : std::string_view();
  o.noCache = request.noCache;
  o.extraHeaders = &request.extraHeaders;
  if (BuildHttpRequest(state.requestText, o) == 0) {
    return RefuseFetch(state, FailureKind::kBadAddress, host, t::kUnsafeRequest);
  }
  return true;
}

bool PrepareHttpFetch(HttpRequest& request, HttpFetchState& state) {
  std::string_view url = request.url;
  bool ftp = url.size() >= net_texts::kFtpScheme.size() &&
             EqualsNoCase(url.substr(0, net_texts::kFtpScheme.size()), net_texts::kFtpScheme);
  request.workUrl = StrCopyN(ftp ? std::string(url) : NormalizeHttpUrl(url), kWorkUrlMax + 1);
  state.startMethod = request.method;
  state.authTried = false;
  state.redirects = 0;
  state.urlUser.clear();
  state.urlPassword.clear();
  return BuildFetchRequest(request, state, false);
}

}  // namespace sondrel
