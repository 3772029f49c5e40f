#include "shell/startup_switches.h"

#include <charconv>

#include "engines/engine_texts.h"
#include "engines/search_driver.h"
#include "shell/shell_texts.h"
#include "support/version.h"

namespace sondrel {

namespace {

// -h, --help, -V, --version and the project file.
void ParseDesktopArguments(const std::vector<std::string>& args, StartupSwitches& switches) {
  bool operands = false;  // after "--"
  for (const std::string& arg : args) {
    if (!operands && arg == "--") {
      operands = true;
    } else if (!operands && (arg == "-h" || arg == "--help")) {
      switches.help = true;
    } else if (!operands && (arg == "-V" || arg == "--version")) {
      switches.version = true;
    } else if (!operands && arg.size() > 1 && arg.front() == '-') {
      if (switches.unknownOption.empty()) switches.unknownOption = arg;
    } else if (switches.projectPath.empty()) {
      switches.projectPath = arg;
    }
  }
}

}  // namespace

StartupSwitches ParseStartupSwitches(const std::vector<std::string>& args) {
  StartupSwitches switches;
  if (args.empty()) return switches;
  const std::string& first = args.front();
  if (first != kCompileSwitch && first != kCaptureSwitch && first != kReplaySwitch) {
    ParseDesktopArguments(args, switches);
    return switches;
  }
  if (first == kCompileSwitch && args.size() >= 4) {
    switches.compile = true;
    switches.definitionText = args[1];
    switches.databasePath = args[2];
    const std::string& number = args[3];
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    switches.number = (error == std::errc() && end == number.data() + number.size()) ? value : 0;
    // Whatever the compile gives, the program goes on replaying the captured pages.
    switches.searchMode = kSearchReplay;
  } else if (first == kCaptureSwitch) {
    switches.searchMode = kSearchCapture;
  } else if (first == kReplaySwitch) {
    switches.searchMode = kSearchReplay;
  }
  return switches;
}

std::string StartupUsageText() {
  return std::string(shell_texts::kUsageText);
}

std::string StartupVersionText() {
  return "sondrel " + std::string(kProgramVersion) + "\n";
}

}  // namespace sondrel
