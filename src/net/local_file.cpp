#include "net/local_file.h"

#include "net/url.h"
#include "net/url_encoding.h"
#include "net/url_texts.h"

namespace sondrel {
namespace {

constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kC1Lead = 0xC2;  // U+0080..U+009F are C2 80..C2 9F in UTF-8
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;
constexpr std::size_t kExtensionKeptMax = 16;

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A decoded name may hold "%2F" turned into '/', or "%00" that would cut the path short; both
// become '_'. Names that mean the directory itself or its parent take the default name.
void MakeSafeFileName(std::string& name) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  name = WithoutControlCharacters(name);
  if (name.empty() || name == "." || name == "..") name = url_texts::kDefaultDownloadName;
}

// Cuts name to at most limit bytes, keeping a short extension and never splitting a UTF-8
// character.
void CutName(std::string& name, std::size_t limit) {
  if (name.size() <= limit) return;
  std::string extension;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= kExtensionKeptMax &&
      name.size() - dot < limit) {
    extension = name.substr(dot);
    name.resize(dot);
  }
  std::size_t keep = limit - extension.size();
  while (keep > 0 && keep < name.size() && IsContinuationByte(name[keep])) --keep;
  name.resize(std::min(keep, name.size()));
  name += extension;
}

}  // namespace

std::string WithoutControlCharacters(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == kDelete) continue;
    if (c == kC1Lead && i + 1 < name.size()) {
      const auto next = static_cast<unsigned char>(name[i + 1]);
      if (next >= kC1First && next <= kC1Last) {
        ++i;
        continue;
      }
    }
    out.push_back(name[i]);
  }
  return out;
}

int LocalFileForUrl(std::string& out, std::string_view url, std::string_view directory) {
  out.clear();
  UrlParts parts;
  SplitUrl(url, parts);
  std::string name;
  SplitDirFile(parts.path, nullptr, &name);
  UrlDecode(name);
  MakeSafeFileName(name);
  CutName(name, kLocalNameMax);

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
