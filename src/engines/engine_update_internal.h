#pragma once
// Parts of the engine update that tests reach directly.

#include <string_view>

#include "engines/engine_update.h"

namespace sondrel::detail {

// Forgets that a check had an answer, as at the start of a program run.
void ResetUpdateCheck();

// A received body: checked, written over the database file, loaded, and the enabled names
// applied and rebuilt. False when the body is unusable or could not be put in place; the file
// and the engine list are then as they were.
[[nodiscard]] bool AcceptUpdateBody(EngineUpdateTarget& target, std::string_view body);

}  // namespace sondrel::detail
