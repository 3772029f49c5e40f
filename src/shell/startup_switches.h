#pragma once
// The desktop program's command line: --help and --version, a project file to open, and the
// engine-tool switches (compile a definition text into a database and then replay, or one of
// the two engine test modes).

#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {

struct StartupSwitches {
  int searchMode = 0;  // a SearchMode
  bool compile = false;
  std::string definitionText;
  std::string databasePath;
  std::uint32_t number = 0;   // the placeholder written into the checksum field
  bool help = false;          // -h or --help: print the usage and end
  bool version = false;       // -V or --version: print the version and end
  std::string projectPath;    // a project file named on the command line; empty: none
  std::string unknownOption;  // an option the program does not know: usage error
};

// args without the program name. The compile switch needs its three arguments after it;
// the test-mode switches count only as the first argument. Any other first argument that is
// not an option names the project to open; "--" lets a project's name begin with "-".
StartupSwitches ParseStartupSwitches(const std::vector<std::string>& args);

// The texts --help and --version print on standard output.
std::string StartupUsageText();
std::string StartupVersionText();

}  // namespace sondrel
