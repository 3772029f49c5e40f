#include "results/safe_save.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "support/paths.h"
#include "support/record_file.h"

namespace sondrel {
namespace {

// The mode the new file should get: the old file's, else what a plain create would give.
mode_t TargetMode(const std::string& path) {
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) return old.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

// "<name>.tmp-<pid>-": the writer's process id in the name tells a file that a killed save left
// behind from one that a running save is still writing.
std::string TempPrefix(const std::string& path, long pid) {
  return path + ".tmp-" + std::to_string(pid) + "-";
}

bool ProcessAlive(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The writer's pid when name is one of our temporary files of fileName.
std::optional<long> TempFileOwner(std::string_view name, std::string_view fileName) {
  const std::string_view marker = ".tmp-";
  if (!name.starts_with(fileName) || name.substr(fileName.size()).find(marker) != 0) {
    return std::nullopt;
  }
  std::string_view rest = name.substr(fileName.size() + marker.size());
  long pid = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
  if (error != std::errc() || pid <= 0 || end == rest.data() + rest.size() || *end != '-') {
    return std::nullopt;
  }
  return pid;
}

// Removes what earlier saves of path that were killed before their rename left beside it.
void RemoveAbandonedTempFiles(const std::string& path) {
  const std::string directory = PathDirectory(path);
  const std::string fileName = PathFileName(path);
  DIR* dir = ::opendir(path.find('/') == std::string::npos ? "." : directory.c_str());
  if (!dir) return;
  const long self = static_cast<long>(::getpid());
  while (const dirent* item = ::readdir(dir)) {
    std::optional<long> owner = TempFileOwner(item->d_name, fileName);
    if (!owner || *owner == self || ProcessAlive(*owner)) continue;
    (void)::unlinkat(::dirfd(dir), item->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

bool WriteRecordFileSafely(const std::string& path, const std::function<void(RecordFile&)>& write) {
  RemoveAbandonedTempFiles(path);
  std::string pattern = TempPrefix(path, ::getpid()) + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  const std::string temp(name.data());
  ::fchmod(fd, TargetMode(path));
  ::close(fd);

  std::unique_ptr<RecordFile> file = RecordFile::Open(temp, true);
  if (!file) {
    ::unlink(temp.c_str());
    return false;
  }
  write(*file);
  const bool written = file->Close();
  file.reset();
  if (!written || !SyncFile(temp) || std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace sondrel
