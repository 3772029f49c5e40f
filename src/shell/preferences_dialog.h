#pragma once
// The preferences dialog: paths, engines, proxies, connections and result limits.

#include "engines/engine_definition.h"
#include "results/settings.h"

class QWidget;

namespace sondrel {

// Engine flags are set from settings.enabledEngines first; the Engines page's changes act on the
// engines at once (so they stay for the run after Cancel). True after OK, with the settings
// updated (the caller writes the file).
bool ShowPreferences(QWidget* parent, Settings& settings, EngineList& engines);

}  // namespace sondrel
