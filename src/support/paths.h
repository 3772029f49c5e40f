#pragma once
// Display and POSIX path helpers, whole-file writes, and the program home.

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrel {

// The first and last (width - 3) / 2 characters around "..." when src is wider than width.
std::string ShortenMiddle(std::string_view src, std::size_t width);
std::string PathFileName(std::string_view path);                          // "a/b.mp3" -> "b.mp3"
std::string PathChangeExt(std::string_view path, std::string_view ext);   // ext includes its dot
std::string PathCombine(std::string_view dirPath, std::string_view namePath);
// Cut at the last '/'; a leading '/' stays (the root); a path without '/' is returned whole.
std::string PathDirectory(std::string_view path);

// Writes every byte to fd, retrying after interruptions; false on any failure.
[[nodiscard]] bool FdWriteAll(int fd, std::string_view data);
// Creates or truncates the file and writes the bytes; the number written, below 1 on failure.
long FileWriteAll(const std::string& path, std::string_view data);
// Writes to a temporary file beside path and renames it over path only when every byte
// was written, so a failed write leaves the old file as it was. 1 on success, 0 on failure.
[[nodiscard]] int FileReplaceAll(const std::string& path, std::string_view data);
long FileLengthOf(const std::string& path);  // -1 when it cannot be opened
[[nodiscard]] bool FileReadAll(const std::string& path, std::string& data);

// $SONDREL_HOME, else DefaultProgramHome() (support/user_dirs.h); created on demand.
std::string ProgramHome();
[[nodiscard]] bool MakeDirectories(const std::string& path);

}  // namespace sondrel
