// Definition texts from anywhere must read without a crash, and every engine read must print
// as a section that reads back to the same engine.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engines/config_line.h"
#include "engines/definition_text.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  // Small output sizes exercise the cuts that the reader's own sizes rarely reach.
  std::string name;
  std::string value;
  int kind = ClassifyConfigLine(text.substr(0, 300), name, 7, value, 11);
  if (kind < ConfigComment || kind > ConfigBlockEnd || name.size() > 7 || value.size() > 11) {
    std::abort();
  }

  EngineList list;
  ReadDefinitions(text, list);
  for (const auto& engine : list) {
    (void)FindPatternForVariable(*engine, "__NEXT__");
    std::string printed = DefinitionSectionOf(*engine);
    EngineList again;
    ReadDefinitions(printed, again);
    if (again.Count() != 1 || DefinitionSectionOf(*again.Get(0)) != printed) std::abort();
  }
  return 0;
}
