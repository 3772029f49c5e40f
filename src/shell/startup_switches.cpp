#include "shell/startup_switches.h"

#include <charconv>

#include "engines/engine_texts.h"
#include "engines/search_driver.h"

namespace sondrel {

StartupSwitches ParseStartupSwitches(const std::vector<std::string>& args) {
  StartupSwitches switches;
  if (args.empty()) return switches;
  const std::string& first = args.front();
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

}  // namespace sondrel
