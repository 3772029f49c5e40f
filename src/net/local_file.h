#pragma once
// Where a downloaded address is stored on disk.

#include <string>
#include <string_view>

namespace sondrel {

inline constexpr std::size_t kLocalPathMax = 1000;

// out = directory "/" decoded file name of url (just the name when directory is empty). The name
// is decoded before it is joined, and a name that could leave the directory ('/' inside, ".",
// "..", empty) is made safe, so the result always names a file directly inside directory.
// 1 on success; 0 when directory leaves no room for a name within kLocalPathMax.
[[nodiscard]] int LocalFileForUrl(std::string& out, std::string_view url,
                                  std::string_view directory);

}  // namespace sondrel
