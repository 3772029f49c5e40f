#pragma once
// The engine list a command works on: the database named by --db, or the one of the home.

#include <optional>
#include <string>

#include "cli/arguments.h"
#include "engines/engine_database.h"

namespace sondrel {
struct EngineChoice;
}  // namespace sondrel

namespace sondrel::cli {

// Loads *db, or the home's database, seeded from the installed one on a first run in that home.
// path is set to the database used. kExitOk, or kExitFailure after naming the file on stderr.
[[nodiscard]] int LoadEnginesForCommand(const Context& context,
                                        const std::optional<std::string>& db, EngineList& list,
                                        std::string& path);

// Enables the engines the settings file names; without a settings file every engine is enabled,
// as at the program's first start.
void ApplyEngineChoice(EngineList& list, const EngineChoice& choice);

}  // namespace sondrel::cli
