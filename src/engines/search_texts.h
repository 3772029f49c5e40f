#pragma once
// Fixed texts of the search driver: the test-mode page files and the empty-query message.

#include <string_view>

namespace sondrel {

// Folder of the program home that holds the pages of the engine test modes.
inline constexpr std::string_view kTestPageFolder = "search";
// After the engine's file stem: musidx gives musidx0.htm (the home page), musidx1.htm, ...
inline constexpr std::string_view kTestPageExtension = ".htm";
// Appended to every captured page with the page's final address.
inline constexpr std::string_view kTestPageTrailerStart = "\n\n<!-- ";
inline constexpr std::string_view kTestPageTrailerEnd = " -->";

// In the program home: engines paused by a Retry-After, and until when.
inline constexpr std::string_view kEnginePausesFile = "engine-pauses";

inline constexpr std::string_view kEmptyQueryText = "Please type something to search for.";

}  // namespace sondrel
