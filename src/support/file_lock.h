#pragma once
// An exclusive lock between processes on one file, held for a read-modify-write of it. The lock
// is taken on a companion file "<path>.lock" beside it, which stays in place: removing it would
// let a later process lock a fresh file while an earlier one still holds the old.

#include <optional>
#include <string>

namespace sondrel {

class FileLock {
 public:
  // Waits (asleep) until no other holder is left. Nothing when the lock file cannot be made,
  // e.g. in a directory that does not exist or cannot be written.
  static std::optional<FileLock> Acquire(const std::string& path);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// "<path>.lock".
std::string LockFilePath(const std::string& path);

}  // namespace sondrel
