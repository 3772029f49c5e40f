#include "tasks/part_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/paths.h"
#include "tasks/download_texts.h"

namespace sondrel {
namespace {

constexpr std::size_t kRecordMax = 8192;  // a record is two short lines
constexpr std::string_view kUrlKey = "url=";
constexpr std::string_view kValidatorKey = "validator=";
// A part renamed between our open and our lock is gone from its name; try again a few times.
constexpr int kOpenTries = 3;

void CloseIf(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The directory and last component of path ("." for a bare name).
void SplitTarget(const std::string& path, std::string& directory, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    name = path;
  } else {
    directory = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

NetFailure LocalFailure(const std::string& path, std::string detail) {
  NetFailure failure;
  failure.kind = FailureKind::kLocalFile;
  failure.host = path;
  failure.detail = std::move(detail);
  return failure;
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool ParseRecord(std::string_view text, PartRecord& record) {
  record = PartRecord{};
  bool haveUrl = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.starts_with(kUrlKey)) {
      record.url = std::string(line.substr(kUrlKey.size()));
      haveUrl = true;
    } else if (line.starts_with(kValidatorKey)) {
      record.validator = std::string(line.substr(kValidatorKey.size()));
    }
  }
  return haveUrl;
}

bool ReadRecordAt(int dir, const std::string& name, PartRecord& record) {
  const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::string text(kRecordMax, '\0');
  std::size_t got = 0;
  for (;;) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
    if (got == text.size()) break;
  }
  ::close(fd);
  text.resize(got);
  return ParseRecord(text, record);
}

// "song.mp3" -> "song (n).mp3"; a leading dot is part of the stem (".hidden (1)").
std::string NumberedName(const std::string& path, int n) {
  const std::size_t slash = path.rfind('/');
  const std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(prefix.size());
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
  return prefix + stem + " (" + std::to_string(n) + ")" + extension;
}

// Whether a name can take url's download: nothing has the name, and a part beside it is
// empty or belongs to url.
bool NameFreeFor(const std::string& path, std::string_view url) {
  if (PathExists(path)) return false;
  struct stat part {};
  if (::lstat(PartPathOf(path).c_str(), &part) != 0) return true;
  if (!S_ISREG(part.st_mode)) return false;  // a link or anything else planted there
  PartRecord record;
  if (ReadPartRecordOf(path, record)) return record.url == url;
  return part.st_size == 0;
}

}  // namespace

PartFile::~PartFile() {
  Close();
}

void PartFile::Close() {
  CloseIf(fd_);
  CloseIf(dir_);
  direct_ = false;
}

PartOpen PartFile::Open(const std::string& target, NetFailure& failure) {
  Close();
  target_ = target;
  std::string directory;
  SplitTarget(target, directory, name_);
  if (name_.empty()) {
    failure = LocalFailure(target, download_texts::kNoFileName);
    return PartOpen::kRefused;
  }
  dir_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_ < 0) {
    failure = LocalFailure(target, ErrorText(errno));
    return PartOpen::kRefused;
  }
  struct stat info {};
  if (::fstatat(dir_, name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISCHR(info.st_mode)) {
    fd_ = ::openat(dir_, name_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    direct_ = fd_ >= 0;
    if (!direct_) failure = LocalFailure(target, ErrorText(errno));
    return direct_ ? PartOpen::kOpened : PartOpen::kRefused;
  }
  const std::string part = name_ + std::string(kPartSuffix);
  for (int attempt = 0; attempt < kOpenTries; ++attempt) {
    // O_NONBLOCK: a FIFO planted under the part's name must not hang the open.
    fd_ = ::openat(dir_, part.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                   0666);
    if (fd_ < 0) {
      failure = LocalFailure(PartPathOf(target), errno == ELOOP ? download_texts::kIsALink
                                                                 : ErrorText(errno));
      return PartOpen::kRefused;
    }
    struct stat opened {};
    if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      failure = LocalFailure(PartPathOf(target), download_texts::kNotARegularFile);
      CloseIf(fd_);
      return PartOpen::kRefused;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      failure = LocalFailure(target, download_texts::kBeingDownloaded);
      CloseIf(fd_);
      return PartOpen::kBusy;
    }
    // The download that held the lock may have finished and renamed the part meanwhile: then
    // this descriptor is the finished file, which must not be written.
    struct stat named {};
    if (::fstatat(dir_, part.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, opened)) {
      (void)::lseek(fd_, 0, SEEK_END);
      return PartOpen::kOpened;
    }
    CloseIf(fd_);
  }
  failure = LocalFailure(target, download_texts::kBeingDownloaded);
  return PartOpen::kBusy;
}

std::int64_t PartFile::Length() const {
  struct stat info {};
  if (direct_ || fd_ < 0 || ::fstat(fd_, &info) != 0) return 0;
  return static_cast<std::int64_t>(info.st_size);
}

bool PartFile::ReadRecord(PartRecord& record) const {
  if (direct_ || dir_ < 0) return false;
  return ReadRecordAt(dir_, name_ + std::string(kPartRecordSuffix), record);
}

bool PartFile::WriteRecord(const PartRecord& record) {
  if (direct_) return true;
  const std::string name = name_ + std::string(kPartRecordSuffix);
  const bool oneLine = record.url.find_first_of("\r\n") == std::string::npos &&
                       record.validator.find_first_of("\r\n") == std::string::npos;
  const std::string text = std::string(kUrlKey) + record.url + "\n" + std::string(kValidatorKey) +
                           record.validator + "\n";
  int fd = -1;
  if (oneLine) {
    fd = ::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  }
  const bool written = fd >= 0 && FdWriteAll(fd, text);
  if (fd >= 0 && ::close(fd) == 0 && written) return true;
  // A record that is not whole must not vouch for the part later.
  (void)::unlinkat(dir_, name.c_str(), 0);
  return false;
}

bool PartFile::Restart() {
  if (direct_) return true;
  return ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
}

bool PartFile::Commit(bool replace, NetFailure& failure) {
  if (direct_) return true;
  // The data reaches the disk before the name does, so a crash never leaves a short file with
  // the final name.
  if (::fdatasync(fd_) != 0) {
    failure = LocalFailure(target_, ErrorText(errno));
    return false;
  }
  const std::string part = name_ + std::string(kPartSuffix);
  int r = ::renameat2(dir_, part.c_str(), dir_, name_.c_str(), replace ? 0 : RENAME_NOREPLACE);
  if (r != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without RENAME_NOREPLACE: a hard link fails the same way on an existing name.
    r = ::linkat(dir_, part.c_str(), dir_, name_.c_str(), 0);
    if (r == 0) (void)::unlinkat(dir_, part.c_str(), 0);
  }
  if (r != 0) {
    failure = LocalFailure(target_, errno == EEXIST ? download_texts::kExistsNotReplaced
                                                    : ErrorText(errno));
    return false;
  }
  (void)::unlinkat(dir_, (name_ + std::string(kPartRecordSuffix)).c_str(), 0);
  return true;
}

void PartFile::DiscardIfEmpty() {
  if (direct_ || fd_ < 0 || Length() != 0) return;
  (void)::unlinkat(dir_, (name_ + std::string(kPartSuffix)).c_str(), 0);
  (void)::unlinkat(dir_, (name_ + std::string(kPartRecordSuffix)).c_str(), 0);
}

std::string PartPathOf(std::string_view target) {
  return std::string(target) + std::string(kPartSuffix);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool ReadPartRecordOf(const std::string& target, PartRecord& record) {
  std::string directory, name;
  SplitTarget(target, directory, name);
  const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  const bool read = ReadRecordAt(dir, name + std::string(kPartRecordSuffix), record);
  ::close(dir);
  return read;
}

bool AdoptAsPart(const std::string& target) {
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return ::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, PartPathOf(target).c_str(),
                     RENAME_NOREPLACE) == 0;
}

std::string FreeDownloadName(const std::string& target, std::string_view url) {
  if (NameFreeFor(target, url)) return target;
  for (int n = 1; n <= kFreeNameTries; ++n) {
    std::string candidate = NumberedName(target, n);
    if (NameFreeFor(candidate, url)) return candidate;
  }
  return {};
}

}  // namespace sondrel
