#include "net/local_file.h"

#include "net/url.h"
#include "net/url_encoding.h"
#include "net/url_texts.h"

namespace sondrel {
namespace {

// A decoded name may hold "%2F" turned into '/', or "%00" that would cut the path short; both
// become '_'. Names that mean the directory itself or its parent take the default name.
void MakeSafeFileName(std::string& name) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = url_texts::kDefaultDownloadName;
}

}  // namespace

int LocalFileForUrl(std::string& out, std::string_view url, std::string_view directory) {
  out.clear();
  UrlParts parts;
  SplitUrl(url, parts);
  std::string name;
  SplitDirFile(parts.path, nullptr, &name);
  UrlDecode(name);
  MakeSafeFileName(name);

  std::string path(directory);
  if (!path.empty() && path.back() != '/') path.push_back('/');
  if (path.size() >= kLocalPathMax) return 0;
  std::size_t room = kLocalPathMax - path.size();
  if (name.size() > room) {
    name.resize(room);
    MakeSafeFileName(name);  // the cut may leave "." or ".."
    if (name.size() > room) return 0;
  }
  path += name;
  out.swap(path);
  return 1;
}

}  // namespace sondrel
