#include "net/ftp_url.h"

#include "net/url_texts.h"
#include "net/url.h"
#include "support/text.h"

namespace sondrel {

int CheckFtpUrl(std::string_view url, std::string* host, std::string* path, char* type) {
  constexpr std::string_view kPrefix = "ftp://";
  constexpr std::string_view kTypeMark = ";type=";
  if (host) host->clear();
  if (path) path->clear();
  if (type) *type = 0;
  if (url.size() < kPrefix.size() || !EqualsNoCase(url.substr(0, kPrefix.size()), kPrefix)) {
    return 0;
  }
  std::string_view rest = url.substr(kPrefix.size());
  std::size_t slash = rest.find('/');
  if (host) host->assign(rest.substr(0, std::min(slash, kFtpHostMax)));
  if (slash == std::string_view::npos) return 1;
  rest.remove_prefix(slash);
  std::size_t semicolon = rest.find(';');
  if (path) path->assign(rest.substr(0, std::min(semicolon, kFtpPathMax)));
  if (semicolon == std::string_view::npos) return 1;
  rest.remove_prefix(semicolon);
  if (!rest.starts_with(kTypeMark)) return 0;
  if (type && rest.size() > kTypeMark.size()) *type = rest[kTypeMark.size()];
  return 1;
}

bool IsFtpUrl(std::string_view url) {
  std::string host;
  return CheckFtpUrl(url, &host, nullptr, nullptr) == 1 && !host.empty();
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%xx" becomes its byte; an incomplete escape stays as it is. Unlike form decoding, '+' is a
// plus sign in a path.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

bool FtpPathOf(std::string_view url, std::string& path) {
  path = PercentDecoded(UrlPathTail(url));
  return path.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos;
}

int FtpUrlParts(std::string_view url, FtpAddress& out) {
  out = FtpAddress{};
  UrlParts parts;
  SplitUrl(url, parts);
  std::string hostport;
  SplitUserInfo(parts.netloc, out.user, out.password, hostport);
  SplitHostPort(hostport, out.host, out.port);
  if (out.port == -1) out.port = kDefaultFtpPort;
  SplitDirFile(parts.path, &out.dir, &out.file);
  if (out.dir.size() >= 2 && out.dir.back() == '/') out.dir.pop_back();
  if (out.user.empty()) {
    out.user = url_texts::kAnonymousFtpUser;
    out.password = url_texts::kAnonymousFtpPassword;
  }
  return 1;
}

}  // namespace sondrel
