#pragma once
// The fixed texts of the network layer: progress wording, the request header block, date names.

#include <string_view>

namespace sondrel::net_texts {

// Progress wording by state; data progress is formatted by FormatProgress.
inline constexpr std::string_view kResolving = "Resolving";
inline constexpr std::string_view kConnecting = "Connecting";
inline constexpr std::string_view kConnected = "Connected";
inline constexpr std::string_view kSendingRequest = "Sending Request";
inline constexpr std::string_view kWaitingReply = "Waiting Reply";
inline constexpr std::string_view kReceivedReply = "Received Reply";
inline constexpr const char* kProgressOfTotal = "%ld / %ld (%d %%)";
inline constexpr const char* kProgressBytes = "Received %ld bytes";

// The request block every fetch sends.
inline constexpr std::string_view kMethodGet = "GET";
inline constexpr std::string_view kMethodHead = "HEAD";
inline constexpr std::string_view kMethodPost = "POST";
inline constexpr std::string_view kVersion10 = " HTTP/1.0\r\n";
inline constexpr std::string_view kVersion11 = " HTTP/1.1\r\n";
// "Sondrel/<version>": the agent of requests whose engine and settings name none.
inline constexpr std::string_view kAgentName = "Sondrel/";
inline constexpr std::string_view kNoUserAgent = "null";  // any case: send no agent line
inline constexpr std::string_view kAcceptBlock =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, image/png, */*\r\n"
    "Accept-Language: en\r\n"
    "Accept-Charset: iso-8859-1,*,utf-8\r\n";
inline constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";
inline constexpr std::string_view kHtmlType = "text/html";
inline constexpr std::string_view kHttpScheme = "http://";
inline constexpr std::string_view kHttpsScheme = "https://";
inline constexpr std::string_view kFtpScheme = "ftp://";

// Header names (each carries its colon when it is written).
inline constexpr std::string_view kReferer = "Referer:";
inline constexpr std::string_view kConnection = "Connection:";
inline constexpr std::string_view kKeepAlive = "Keep-Alive";
inline constexpr std::string_view kUserAgent = "User-Agent:";
inline constexpr std::string_view kHost = "Host:";
inline constexpr std::string_view kAuthorization = "Authorization:";
inline constexpr std::string_view kBasic = "Basic ";
inline constexpr std::string_view kIfModifiedSince = "If-Modified-Since:";
inline constexpr std::string_view kContentTypeOut = "Content-type:";
inline constexpr std::string_view kPragma = "Pragma:";
inline constexpr std::string_view kNoCache = "no-cache";

// Header names looked up in a response.
inline constexpr std::string_view kContentLength = "Content-Length";
inline constexpr std::string_view kContentRange = "Content-Range";
inline constexpr std::string_view kContentType = "Content-Type";
inline constexpr std::string_view kLocation = "Location";
inline constexpr std::string_view kTransferEncoding = "Transfer-Encoding";
inline constexpr std::string_view kChunked = "chunked";
inline constexpr std::string_view kConnectionField = "Connection";
inline constexpr std::string_view kClose = "close";

// Failure details.
inline constexpr std::string_view kBodyCutShort = "the body ended early";
inline constexpr std::string_view kBadChunk = "malformed chunk";
inline constexpr std::string_view kBadLength = "bad Content-Length";
inline constexpr std::string_view kHeaderTooLong = "reply header too long";
inline constexpr std::string_view kBodyTooLarge = "body larger than its buffer";
inline constexpr std::string_view kUnsafeRequest = "control character in the request";
inline constexpr std::string_view kBadRedirect = "redirect to an unsupported address";
inline constexpr std::string_view kTooManyRedirects = "too many redirects";
inline constexpr std::string_view kBadPort = "port out of range";
inline constexpr std::string_view kProxyRefused = "proxy refused the tunnel: ";

// TLS failure details.
inline constexpr std::string_view kTlsUnknownIssuer = "unknown issuer";
inline constexpr std::string_view kTlsExpired = "certificate has expired";
inline constexpr std::string_view kTlsOtherHost = "certificate is for another host";
inline constexpr std::string_view kTlsHandshakeFailed = "handshake failed: ";
inline constexpr std::string_view kTlsPeerClosed = "the server closed the connection";
inline constexpr std::string_view kTlsNoContext = "no TLS context";
inline constexpr std::string_view kTlsCaFileUnreadable = "handshake failed: cannot read the CA file ";

// Cookies: the response field, the request line, and the Set-Cookie attributes we use.
inline constexpr std::string_view kSetCookie = "Set-Cookie";
inline constexpr std::string_view kCookieLine = "Cookie: ";
inline constexpr std::string_view kCookiePath = "path";
inline constexpr std::string_view kCookieDomain = "domain";
inline constexpr std::string_view kCookieExpires = "expires";

inline constexpr std::string_view kWeekDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr std::string_view kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace sondrel::net_texts
