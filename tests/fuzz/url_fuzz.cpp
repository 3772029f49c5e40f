// SplitUrl and ResolveUrl on hostile addresses: the input is a base and a relative link
// separated by the first newline.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/ftp_url.h"
#include "net/local_file.h"
#include "net/url.h"
#include "net/url_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string_view base = input.substr(0, newline);
  std::string_view relative = newline == std::string_view::npos ? "" : input.substr(newline + 1);

  sondrel::UrlParts parts;
  sondrel::SplitUrl(relative, parts);
  if (parts.netloc.size() > sondrel::kNetlocMax || parts.path.size() > sondrel::kPathMax ||
      parts.query.size() > sondrel::kQueryMax) {
    std::abort();
  }
  std::string resolved = sondrel::ResolveUrl(relative, base);
  if (resolved.size() > sondrel::kResolvedUrlMax) std::abort();
  (void)sondrel::ResolvePostUrl(relative, base);

  std::string out;
  std::string body;
  (void)sondrel::SplitPostUrl(out, 1023, body, 1023, input);
  (void)sondrel::QueryParam(out, 1997, "url", relative);
  (void)sondrel::FindHttpUrl(out, 2000, input);
  sondrel::FtpAddress ftp;
  sondrel::FtpUrlParts(relative, ftp);
  if (sondrel::LocalFileForUrl(out, relative, "/dl") == 1) {
    // Always a file directly inside the directory.
    std::string_view name = std::string_view(out).substr(4);
    if (!out.starts_with("/dl/") || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos || name.empty() || name == "." ||
        name == "..") {
      std::abort();
    }
  }
  return 0;
}
