#pragma once
// URLs as plain strings: split into six components, composed back, resolved against the page
// they came from, and the small address helpers of the HTTP client and the result list.
// Nothing here fails: long input is cut at the limits below, missing parts come out empty.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

// Every URL is entity-decoded into a working copy of at most this many characters first.
inline constexpr std::size_t kUrlWorkMax = 1999;
inline constexpr std::size_t kSchemeMax = 19;
inline constexpr std::size_t kNetlocMax = 499;
inline constexpr std::size_t kPathMax = 999;
inline constexpr std::size_t kParamsMax = 499;
inline constexpr std::size_t kQueryMax = 1499;
inline constexpr std::size_t kFragmentMax = 99;
inline constexpr std::size_t kComposedUrlMax = 1999;
inline constexpr std::size_t kResolvedUrlMax = 1999;
inline constexpr std::size_t kMergedPathMax = 1000;
inline constexpr std::size_t kHostMax = 499;
inline constexpr std::size_t kPortDigitsMax = 9;
inline constexpr std::size_t kUserMax = 99;
inline constexpr std::size_t kPasswordMax = 99;
inline constexpr std::size_t kHostPortMax = 511;
inline constexpr std::size_t kDirFileScanMax = 255;  // the last '/' is looked for this far
inline constexpr std::size_t kFileNameMax = 255;
inline constexpr std::size_t kExtensionMax = 256;
inline constexpr std::size_t kPathTailMax = 1000;

// Presence bits returned by SplitUrl.
enum UrlPart {
  UrlHasScheme = 1,
  UrlHasNetloc = 2,
  UrlHasPath = 4,
  UrlHasParams = 8,
  UrlHasQuery = 16,
  UrlHasFragment = 32,
};

struct UrlParts {
  std::string scheme;    // "http"
  std::string netloc;    // "user:pw@host:21"
  std::string path;      // "/dir/a.mp3", keeps its leading '/'
  std::string params;    // text after ';' in the last segment
  std::string query;     // text after '?'
  std::string fragment;  // text after '#'
};

// Splits url into parts; returns the sum of the presence bits of the non-empty parts.
int SplitUrl(std::string_view url, UrlParts& parts);
// scheme "://" netloc path ;params ?query #fragment, each only when non-empty.
std::string ComposeUrl(const UrlParts& parts);

// relative resolved against base; at most kResolvedUrlMax characters.
std::string ResolveUrl(std::string_view relative, std::string_view base);
// The base path's directory plus the relative path, with dot segments removed.
std::string MergePath(std::string_view basePath, std::string_view relativePath);
// The three dot-segment stages MergePath applies in order.
void RemoveSingleDots(std::string& path);
void RemoveDoubleDots(std::string& path);
void RemoveLeftoverDots(std::string& path);  // bare "../" and "./" substrings, until stable

// url split and composed again with another scheme; an empty scheme leaves the netloc bare.
std::string SetUrlScheme(std::string_view url, std::string_view scheme);
// Like ResolveUrl, but a "post:" or "posts:" relative address stays a post address.
std::string ResolvePostUrl(std::string_view relative, std::string_view base);
// base: the text before the first '?' (a leading "post:" becomes "http:", "posts:" becomes
// "https:"); body: the text
// after it up to '#'. 1 when url is a post address, else 0.
int SplitPostUrl(std::string& baseOut, std::size_t baseMax, std::string& bodyOut,
                 std::size_t bodyMax, std::string_view url);

// "host:port"; port is -1 when absent, 0 when it is not a number in 1-65535.
void SplitHostPort(std::string_view hostport, std::string& host, int& port);
// "user:password@host:port"; without '@' everything is host-and-port.
void SplitUserInfo(std::string_view netloc, std::string& user, std::string& password,
                   std::string& hostport);
// dir: up to and including the last '/'; file: after it, up to '?' or ';'. Either may be null.
void SplitDirFile(std::string_view path, std::string* dir, std::string* file);
// netloc, and path;params?query without the fragment (empty when the URL has none of them).
void RequestTarget(std::string_view url, std::string& netloc, std::string& target);

// Lower-cases a leading "HTTP://" and puts "http://" in front of an address without it.
std::string NormalizeHttpUrl(std::string_view url);
// "www.host/..." -> "http://www.host/..." (redirect targets).
void CompleteWwwUrl(std::string& text);

std::string RootUrl(std::string_view url);       // scheme://netloc/
std::string DirectoryUrl(std::string_view url);  // scheme://netloc/dir/
// The text after the last '.' of the file name (a leading dot does not count); 1 when found.
int UrlExtension(std::string_view url, std::string& out);
// The path without its leading '/'.
std::string UrlPathTail(std::string_view url);

// 0 when equal, else the sign of the first difference.
int CompareUrlScheme(std::string_view url, std::string_view text, bool caseSensitive);
int CompareUrlExtension(std::string_view url, std::string_view text, bool caseSensitive);
bool SameHost(std::string_view urlA, std::string_view urlB);
// http:// or https:// with a host.
bool IsHttpUrl(std::string_view url);
bool IsHttpsUrl(std::string_view url);
inline constexpr int kDefaultHttpPortNumber = 80;
inline constexpr int kDefaultHttpsPortNumber = 443;
// 443 for an https address, else 80.
int DefaultPortOf(std::string_view url);

}  // namespace sondrel
