#include "results/safe_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

}  // namespace

bool WriteRecordFileSafely(const std::string& path, const std::function<void(RecordFile&)>& write) {
  std::string pattern = path + ".XXXXXX";
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
