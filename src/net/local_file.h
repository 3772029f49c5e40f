#pragma once
// Where a downloaded address is stored on disk.

#include <string>
#include <string_view>

namespace sondrel {

inline constexpr std::size_t kLocalPathMax = 1000;
// Room for the name of a file being downloaded: a free-name number (" (99)") and the partial
// file's ".part.meta" still fit within the usual 255-byte limit of one path component.
inline constexpr std::size_t kLocalNameMax = 230;

// out = directory "/" decoded file name of url (just the name when directory is empty). The name
// is decoded before it is joined, and a name that could leave the directory ('/' inside, ".",
// "..", empty) is made safe, so the result always names a file directly inside directory.
// Control characters (line feed, escape, ...) are removed, so the name is safe to print.
// 1 on success; 0 when directory leaves no room for a name within kLocalPathMax.
[[nodiscard]] int LocalFileForUrl(std::string& out, std::string_view url,
                                  std::string_view directory);

// name without C0 and C1 control characters and DEL (C1 as their UTF-8 pairs).
std::string WithoutControlCharacters(std::string_view name);

}  // namespace sondrel
