#include "engines/engine_selection.h"

namespace sondrel {

EngineSelection::EngineSelection(EngineList& list, const std::vector<int>& chosen) : list_(list) {
  for (auto& engine : list_) {
    saved_.push_back(engine->enabled);
    engine->enabled = 0;
  }
  for (int index : chosen) {
    if (EngineDefinition* engine = list_.Get(index)) engine->enabled = 1;
  }
}

EngineSelection::~EngineSelection() {
  std::size_t i = 0;
  for (auto& engine : list_) {
    if (i < saved_.size()) engine->enabled = saved_[i];
    ++i;
  }
}

}  // namespace sondrel
