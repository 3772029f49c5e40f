#include "support/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/user_dirs.h"

namespace sondrel {

namespace {
constexpr std::string_view kEllipsis = "...";
constexpr mode_t kFileMode = 0644;
constexpr mode_t kDirectoryMode = 0755;
constexpr const char* kHomeVariable = "SONDREL_HOME";

// Index just after the last '/', 0 when there is none.
std::size_t NameStart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}
}  // namespace

std::string ShortenMiddle(std::string_view src, std::size_t width) {
  if (width >= src.size()) return std::string(src);
  // Widths below the ellipsis keep nothing around it.
  const std::size_t half = width > kEllipsis.size() ? (width - kEllipsis.size()) / 2 : 0;
  std::string out(src.substr(0, half));
  out += kEllipsis;
  out += src.substr(src.size() - half);
  return out;
}

std::string PathFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string PathChangeExt(std::string_view path, std::string_view ext) {
  const std::size_t nameStart = NameStart(path);
  const std::size_t dot = path.rfind('.');
  // A dot that opens the name (".profile") names a hidden file, not an extension.
  const std::size_t stemEnd =
      (dot != std::string_view::npos && dot > nameStart) ? dot : path.size();
  std::string out(path.substr(0, stemEnd));
  out += ext;
  return out;
}

std::string PathCombine(std::string_view dirPath, std::string_view namePath) {
  std::string out(dirPath.substr(0, NameStart(dirPath)));
  out += namePath.substr(NameStart(namePath));
  return out;
}

std::string PathDirectory(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

bool FdWriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

long FileWriteAll(const std::string& path, std::string_view data) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd < 0) return -1;
  const bool written = FdWriteAll(fd, data);
  const bool closed = close(fd) == 0;
  return (written && closed) ? static_cast<long>(data.size()) : -1;
}

int FileReplaceAll(const std::string& path, std::string_view data) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return 0;
  // mkstemp makes the file private; the replacement gets the usual file mode.
  bool ok = fchmod(fd, kFileMode) == 0 && FdWriteAll(fd, data);
  ok = (close(fd) == 0) && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return 1;
  unlink(temp.c_str());
  return 0;
}

long FileLengthOf(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return ok ? static_cast<long>(st.st_size) : -1;
}

bool FileReadAll(const std::string& path, std::string& data) {
  data.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char block[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    data.append(block, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  // Create each prefix in turn; existing ones are fine as long as they are directories.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (mkdir(prefix.c_str(), kDirectoryMode) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProgramHome() {
  const char* explicitHome = NonEmptyEnv(kHomeVariable);
  std::string home = explicitHome ? std::string(explicitHome) : DefaultProgramHome();
  // Creation failures surface later, when the files in it cannot be opened.
  (void)MakeDirectories(home);
  return home;
}

}  // namespace sondrel
