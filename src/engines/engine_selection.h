#pragma once
// One run with some engines of a list: only the chosen ones are enabled while the scope lives,
// and every engine's flag is as before afterwards, so a check never changes the user's choice.

#include <cstdint>
#include <vector>

#include "engines/engine_definition.h"

namespace sondrel {

class EngineSelection {
 public:
  // chosen: indices into list.
  EngineSelection(EngineList& list, const std::vector<int>& chosen);
  ~EngineSelection();
  EngineSelection(const EngineSelection&) = delete;
  EngineSelection& operator=(const EngineSelection&) = delete;

 private:
  EngineList& list_;
  std::vector<std::uint8_t> saved_;
};

}  // namespace sondrel
