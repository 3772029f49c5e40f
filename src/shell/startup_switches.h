#pragma once
// The engine-tool switches of the desktop program's command line: compile a definition text
// into a database and then replay, or one of the two engine test modes.

#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {

struct StartupSwitches {
  int searchMode = 0;  // a SearchMode
  bool compile = false;
  std::string definitionText;
  std::string databasePath;
  std::uint32_t number = 0;  // the placeholder written into the checksum field
};

// args without the program name. The compile switch needs its three arguments after it;
// the test-mode switches count only as the first argument.
StartupSwitches ParseStartupSwitches(const std::vector<std::string>& args);

}  // namespace sondrel
