#include "net/url.h"

#include <algorithm>
#include <utility>

#include "net/url_encoding.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::string_view kPostScheme = "post";
constexpr std::string_view kSecurePostScheme = "posts";  // a POST form sent over https
constexpr std::string_view kHttpScheme = "http";
constexpr std::string_view kHttpsScheme = "https";
constexpr std::string_view kHttpPrefix = "http://";
constexpr std::string_view kHttpsPrefix = "https://";
constexpr int kPortMax = 65535;

bool IsPostScheme(std::string_view scheme) {
  return EqualsNoCase(scheme, kPostScheme) || EqualsNoCase(scheme, kSecurePostScheme);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

void AssignCut(std::string& out, std::string_view text, std::size_t max) {
  out.assign(text.substr(0, std::min(text.size(), max)));
}

// First occurrence of c in text[from, end), or npos.
std::size_t FindIn(std::string_view text, char c, std::size_t from, std::size_t end) {
  if (from >= end) return std::string_view::npos;
  std::size_t at = text.substr(from, end - from).find(c);
  return at == std::string_view::npos ? at : from + at;
}

int SignOf(int value) { return (value > 0) - (value < 0); }

int CompareText(std::string_view a, std::string_view b, bool caseSensitive) {
  if (caseSensitive) return SignOf(a.compare(b));
  return SignOf(StrCompareNoCase(a, b));
}

// Removes every occurrence of what from path in one pass; whether anything was removed.
bool EraseAll(std::string& path, std::string_view what) {
  std::size_t at = path.find(what);
  if (at == std::string::npos) return false;
  std::size_t w = at;
  for (std::size_t r = at; r < path.size();) {
    if (std::string_view(path).substr(r, what.size()) == what) {
      r += what.size();
    } else {
      path[w++] = path[r++];
    }
  }
  path.resize(w);
  return true;
}

}  // namespace

int SplitUrl(std::string_view url, UrlParts& parts) {
  parts = UrlParts{};
  std::string work;
  DecodeHtmlEntities(work, kUrlWorkMax, url);
  std::string_view text = work;
  std::size_t end = text.size();
  std::size_t pos = 0;

  std::size_t hash = text.find('#');
  if (hash != std::string_view::npos) {
    AssignCut(parts.fragment, text.substr(hash + 1), kFragmentMax);
    end = hash;
  }
  std::size_t colon = FindIn(text, ':', 0, end);
  // A scheme is letters only; an empty one would swallow the ':' of a relative link.
  if (colon != std::string_view::npos && colon > 0 &&
      std::all_of(text.begin(), text.begin() + colon, IsAsciiLetter)) {
    AssignCut(parts.scheme, text.substr(0, colon), kSchemeMax);
    pos = colon + 1;
  }
  if (end - pos >= 2 && text[pos] == '/' && text[pos + 1] == '/') {
    std::size_t start = pos + 2;
    std::size_t stop = FindIn(text, '/', start, end);
    if (stop == std::string_view::npos) stop = FindIn(text, ';', start, end);
    if (stop == std::string_view::npos) stop = FindIn(text, '?', start, end);
    if (stop == std::string_view::npos) {
      AssignCut(parts.netloc, text.substr(start, end - start), kNetlocMax);
      pos = end;
    } else {
      AssignCut(parts.netloc, text.substr(start, stop - start), kNetlocMax);
      pos = stop;
    }
  }
  if (pos < end) {
    std::size_t question = FindIn(text, '?', pos, end);
    if (question != std::string_view::npos) {
      AssignCut(parts.query, text.substr(question + 1, end - question - 1), kQueryMax);
      end = question;
    }
    std::size_t semicolon = FindIn(text, ';', pos, end);
    if (semicolon != std::string_view::npos) {
      AssignCut(parts.params, text.substr(semicolon + 1, end - semicolon - 1), kParamsMax);
      end = semicolon;
    }
    AssignCut(parts.path, text.substr(pos, end - pos), kPathMax);
  }
  int mask = 0;
  if (!parts.scheme.empty()) mask |= UrlHasScheme;
  if (!parts.netloc.empty()) mask |= UrlHasNetloc;
  if (!parts.path.empty()) mask |= UrlHasPath;
  if (!parts.params.empty()) mask |= UrlHasParams;
  if (!parts.query.empty()) mask |= UrlHasQuery;
  if (!parts.fragment.empty()) mask |= UrlHasFragment;
  return mask;
}

std::string ComposeUrl(const UrlParts& parts) {
  std::string out;
  out.reserve(parts.scheme.size() + parts.netloc.size() + parts.path.size() +
              parts.params.size() + parts.query.size() + parts.fragment.size() + 8);
  if (!parts.scheme.empty()) {
    out += parts.scheme;
    out += "://";
  }
  out += parts.netloc;
  if (!parts.path.empty()) {
    if (!out.empty() && out.back() != '/' && parts.path.front() != '/') out.push_back('/');
    out += parts.path;
  }
  if (!parts.params.empty()) {
    out.push_back(';');
    out += parts.params;
  }
  if (!parts.query.empty()) {
    out.push_back('?');
    out += parts.query;
  }
  if (!parts.fragment.empty()) {
    out.push_back('#');
    out += parts.fragment;
  }
  if (out.size() > kComposedUrlMax) out.resize(kComposedUrlMax);
  return out;
}

void RemoveSingleDots(std::string& path) {
  std::string out;
  out.reserve(path.size());
  const std::size_t n = path.size();
  for (std::size_t i = 0; i < n;) {
    bool segmentStart = out.empty() ? i == 0 || path[i - 1] == '/' : out.back() == '/';
    if (segmentStart && path[i] == '.') {
      if (i + 1 < n && path[i + 1] == '/') {  // "./" inside the path
        i += 2;
        continue;
      }
      if (i + 1 == n) break;  // "." as the whole last segment
    }
    out.push_back(path[i]);
    ++i;
  }
  path.swap(out);
}

void RemoveDoubleDots(std::string& path) {
  bool removed = true;
  while (removed) {
    removed = false;
    std::size_t start = 0;
    while (start < path.size()) {
      std::size_t slash = path.find('/', start);
      if (slash == std::string::npos) break;
      std::string_view segment(path.data() + start, slash - start);
      std::string_view rest(path.data() + slash + 1, path.size() - slash - 1);
      // An empty segment ("//" or the root) has nothing to cancel.
      if (!segment.empty() && segment != "..") {
        if (rest.starts_with("../")) {
          path.erase(start, segment.size() + 4);
          removed = true;
          continue;  // the next segment now begins here
        }
        if (rest == "..") {
          path.erase(start);
          removed = true;
          break;
        }
      }
      start = slash + 1;
    }
  }
}

void RemoveLeftoverDots(std::string& path) {
  bool changed = true;
  while (changed) {
    changed = EraseAll(path, "../");
    changed = EraseAll(path, "./") || changed;
  }
}

std::string MergePath(std::string_view basePath, std::string_view relativePath) {
  std::string merged;
  std::size_t lastSlash = basePath.rfind('/');
  if (lastSlash != std::string_view::npos) merged.assign(basePath.substr(0, lastSlash + 1));
  merged += relativePath;
  if (merged.size() > kMergedPathMax) merged.resize(kMergedPathMax);
  RemoveSingleDots(merged);
  RemoveDoubleDots(merged);
  RemoveLeftoverDots(merged);
  return merged;
}

std::string ResolveUrl(std::string_view relative, std::string_view base) {
  if (relative.empty()) return std::string(base.substr(0, std::min(base.size(), kResolvedUrlMax)));
  UrlParts rel;
  SplitUrl(relative, rel);
  std::string joined;
  if (!rel.scheme.empty()) {
    joined.assign(relative);
  } else {
    UrlParts baseParts;
    SplitUrl(base, baseParts);
    rel.scheme = baseParts.scheme;
    if (rel.netloc.empty()) {
      rel.netloc = baseParts.netloc;
      if (rel.path.empty()) {
        rel.path = baseParts.path;
        if (rel.params.empty()) rel.params = baseParts.params;
        if (rel.query.empty()) rel.query = baseParts.query;
      } else if (rel.path.front() != '/') {
        rel.path = MergePath(baseParts.path, rel.path);
      }
    }
    joined = ComposeUrl(rel);
  }
  // Every result's path loses its bare dot leftovers, also those of absolute links.
  UrlParts result;
  SplitUrl(joined, result);
  RemoveLeftoverDots(result.path);
  std::string out = ComposeUrl(result);
  if (out.size() > kResolvedUrlMax) out.resize(kResolvedUrlMax);
  return out;
}

std::string SetUrlScheme(std::string_view url, std::string_view scheme) {
  UrlParts parts;
  SplitUrl(url, parts);
  AssignCut(parts.scheme, scheme, kSchemeMax);
  return ComposeUrl(parts);
}

std::string ResolvePostUrl(std::string_view relative, std::string_view base) {
  UrlParts rel;
  SplitUrl(relative, rel);
  if (!IsPostScheme(rel.scheme)) return ResolveUrl(relative, base);
  // A post address with its own host is absolute; dropping its scheme would turn the host
  // into a relative path segment.
  if (!rel.netloc.empty()) return ComposeUrl(rel);
  std::string bare = SetUrlScheme(relative, "");
  return SetUrlScheme(ResolveUrl(bare, base), rel.scheme);
}

int SplitPostUrl(std::string& baseOut, std::size_t baseMax, std::string& bodyOut,
                 std::size_t bodyMax, std::string_view url) {
  std::size_t question = url.find('?');
  AssignCut(baseOut, url.substr(0, question), baseMax);
  bodyOut.clear();
  if (question != std::string_view::npos) {
    std::string_view body = url.substr(question + 1);
    AssignCut(bodyOut, body.substr(0, body.find('#')), bodyMax);
  }
  // Only the scheme counts, so a host such as "postbox.example" is not mistaken for one.
  for (auto [post, scheme] : {std::pair{kPostScheme, kHttpScheme},
                              std::pair{kSecurePostScheme, kHttpsScheme}}) {
    if (baseOut.size() > post.size() + 1 && StartsWithNoCase(baseOut, post) &&
        baseOut[post.size()] == ':') {
      baseOut.replace(0, post.size(), scheme);
      return 1;
    }
  }
  return 0;
}

void SplitHostPort(std::string_view hostport, std::string& host, int& port) {
  std::size_t colon = hostport.find(':');
  AssignCut(host, hostport.substr(0, colon), kHostMax);
  port = -1;
  if (colon == std::string_view::npos) return;
  std::string_view digits = hostport.substr(colon + 1);
  if (digits.empty()) return;
  // A port that is not a number in 1-65535 is 0, which nothing connects to: taking it modulo
  // 65536 would reach some other service.
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || value > kPortMax) {
      port = 0;
      return;
    }
    value = value * 10 + (c - '0');
  }
  port = value >= 1 && value <= kPortMax ? value : 0;
}

void SplitUserInfo(std::string_view netloc, std::string& user, std::string& password,
                   std::string& hostport) {
  user.clear();
  password.clear();
  std::size_t at = netloc.find('@');
  if (at == std::string_view::npos) {
    AssignCut(hostport, netloc, kHostPortMax);
    return;
  }
  std::string_view info = netloc.substr(0, at);
  std::size_t colon = info.find(':');
  AssignCut(user, info.substr(0, colon), kUserMax);
  if (colon != std::string_view::npos) AssignCut(password, info.substr(colon + 1), kPasswordMax);
  AssignCut(hostport, netloc.substr(at + 1), kHostPortMax);
}

void SplitDirFile(std::string_view path, std::string* dir, std::string* file) {
  std::string_view scanned = path.substr(0, std::min(path.size(), kDirFileScanMax));
  std::size_t slash = scanned.rfind('/');
  std::size_t fileStart = slash == std::string_view::npos ? 0 : slash + 1;
  if (dir) AssignCut(*dir, path.substr(0, fileStart), kDirFileScanMax);
  if (file) {
    std::string_view rest = path.substr(fileStart);
    AssignCut(*file, rest.substr(0, rest.find_first_of("?;")), kFileNameMax);
  }
}

void RequestTarget(std::string_view url, std::string& netloc, std::string& target) {
  UrlParts parts;
  SplitUrl(url, parts);
  netloc = parts.netloc;
  parts.scheme.clear();
  parts.netloc.clear();
  parts.fragment.clear();
  target = ComposeUrl(parts);
}

std::string NormalizeHttpUrl(std::string_view url) {
  std::string out(url.substr(0, std::min(url.size(), kUrlWorkMax)));
  if (StartsWithNoCase(out, kHttpsPrefix)) {
    out.replace(0, kHttpsPrefix.size(), kHttpsPrefix);
    return out;
  }
  // Another scheme stays as it is (and is then refused), rather than becoming a host name.
  UrlParts parts;
  SplitUrl(out, parts);
  if (!parts.scheme.empty() && !EqualsNoCase(parts.scheme, kHttpScheme) &&
      out.compare(parts.scheme.size(), 3, "://") == 0) {
    return out;
  }
  if (out.size() > kHttpPrefix.size() &&
      EqualsNoCase(std::string_view(out).substr(0, kHttpPrefix.size()), kHttpPrefix)) {
    out.replace(0, kHttpPrefix.size(), kHttpPrefix);
  }
  if (!out.starts_with(kHttpPrefix)) {
    out.insert(0, kHttpPrefix);
    if (out.size() > kUrlWorkMax) out.resize(kUrlWorkMax);
  }
  return out;
}

void CompleteWwwUrl(std::string& text) {
  if (text.starts_with("www.")) text.insert(0, kHttpPrefix);
}

std::string RootUrl(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  return parts.scheme + "://" + parts.netloc + "/";
}

std::string DirectoryUrl(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  std::string dir;
  SplitDirFile(parts.path, &dir, nullptr);
  return parts.scheme + "://" + parts.netloc + dir;
}

int UrlExtension(std::string_view url, std::string& out) {
  out.clear();
  UrlParts parts;
  SplitUrl(url, parts);
  std::string file;
  SplitDirFile(parts.path, nullptr, &file);
  std::size_t dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) return 0;
  AssignCut(out, std::string_view(file).substr(dot + 1), kExtensionMax);
  return out.empty() ? 0 : 1;
}

std::string UrlPathTail(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  std::string_view path = parts.path;
  if (path.starts_with('/')) path.remove_prefix(1);
  return std::string(path.substr(0, std::min(path.size(), kPathTailMax)));
}

int CompareUrlScheme(std::string_view url, std::string_view text, bool caseSensitive) {
  UrlParts parts;
  SplitUrl(url, parts);
  return CompareText(text, parts.scheme, caseSensitive);
}

int CompareUrlExtension(std::string_view url, std::string_view text, bool caseSensitive) {
  std::string extension;
  (void)UrlExtension(url, extension);
  return CompareText(text, extension, caseSensitive);
}

bool SameHost(std::string_view urlA, std::string_view urlB) {
  UrlParts a;
  UrlParts b;
  SplitUrl(urlA, a);
  SplitUrl(urlB, b);
  return EqualsNoCase(a.netloc, b.netloc);
}

bool IsHttpUrl(std::string_view url) {
  UrlParts parts;
  SplitUrl(url, parts);
  return (EqualsNoCase(parts.scheme, kHttpScheme) || EqualsNoCase(parts.scheme, kHttpsScheme)) &&
         !parts.netloc.empty();
}

bool IsHttpsUrl(std::string_view url) {
  return StartsWithNoCase(url, kHttpsPrefix);
}

int DefaultPortOf(std::string_view url) {
  return IsHttpsUrl(url) ? kDefaultHttpsPortNumber : kDefaultHttpPortNumber;
}

}  // namespace sondrel
