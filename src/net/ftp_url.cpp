#include "net/ftp_url.h"

#include "net/url_encoding.h"
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
