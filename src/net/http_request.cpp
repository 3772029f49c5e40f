#include "net/http_request.h"

#include <cstdio>

#include "net/net_texts.h"
#include "net/url.h"
#include "support/text.h"

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

std::size_t BuildHttpRequest(std::string& out, const RequestTextOptions& o) {
  namespace t = net_texts;
  const std::size_t limit = kRequestTextMax;
  out.clear();
  std::string_view word = o.method == kHttpGet    ? t::kMethodGet
                          : o.method == kHttpHead ? t::kMethodHead
                                                  : t::kMethodPost;
  AppendCut(out, limit, word);
  AppendCut(out, limit, " ");
  AppendCut(out, limit, o.target);
  out += o.resume ? t::kVersion11 : t::kVersion10;
  if (!o.referer.empty()) AppendHeader(out, limit, t::kReferer, o.referer);
  AppendHeader(out, limit, t::kConnection, t::kKeepAlive);
  if (!o.userAgent) {
    AppendHeader(out, limit, t::kUserAgent, t::kDefaultUserAgent);
  } else if (!o.userAgent->empty() && !EqualsNoCase(*o.userAgent, t::kNoUserAgent)) {
    AppendHeader(out, limit, t::kUserAgent, *o.userAgent);
  }
  UrlParts parts;
  SplitUrl(o.url, parts);
  std::string_view host = std::string_view(parts.netloc).substr(0, parts.netloc.find(':'));
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
    for (const auto& [name, value] : *o.extraHeaders)
      AppendHeader(out, limit, name + ":", value);
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

void BuildFetchRequest(const HttpRequest& request, HttpFetchState& state, bool withCredentials) {
  std::string netloc;
  std::string target;
  RequestTarget(request.workUrl, netloc, target);
  std::string host;
  int port = -1;
  SplitHostPort(netloc, host, port);
  if (request.useProxy) {
    state.connectHost = request.proxyHost;
    state.connectPort = request.proxyPort;
    target = request.workUrl;
  } else {
    state.connectHost = host;
    state.connectPort = port < 0 ? kDefaultHttpPort : port;
    if (target.empty()) target = "/";
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
  }
  o.resume = request.resume;
  o.resumeOffset = request.resumeOffset;
  o.referer = request.referer ? std::string_view(*request.referer) : std::string_view();
  o.noCache = request.noCache;
  o.extraHeaders = &request.extraHeaders;
  BuildHttpRequest(state.requestText, o);
}

void PrepareHttpFetch(HttpRequest& request, HttpFetchState& state) {
  std::string_view url = request.url;
  bool ftp = url.size() >= net_texts::kFtpScheme.size() &&
             EqualsNoCase(url.substr(0, net_texts::kFtpScheme.size()), net_texts::kFtpScheme);
  request.workUrl = StrCopyN(ftp ? std::string(url) : NormalizeHttpUrl(url), kWorkUrlMax + 1);
  state.startMethod = request.method;
  state.authTried = false;
  state.redirects = 0;
  BuildFetchRequest(request, state, false);
}

}  // namespace sondrel
