#pragma once
// The program's version, from the build (the project version in CMakeLists.txt).

#include <string_view>

namespace sondrel {

inline constexpr std::string_view kProgramVersion = SONDREL_VERSION;

}  // namespace sondrel
