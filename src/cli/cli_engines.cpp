#include "cli/cli_engines.h"

#include "engines/engine_home.h"
#include "results/settings.h"

namespace sondrel::cli {

int LoadEnginesForCommand(const Context& context, const std::optional<std::string>& db,
                          EngineList& list, std::string& path) {
  if (db) {
    path = *db;
  } else {
    path = DatabasePathInHome(context.home);
    // When there is no installed database either, the load below names the missing file.
    (void)SeedDatabase(context.home);
  }
  LoadedDatabase info;
  if (!LoadDatabase(path, list, info)) return Fail(path + ": " + info.problem);
  return kExitOk;
}

void ApplyEngineChoice(EngineList& list, const EngineChoice& choice) {
  if (choice.fromFile) {
    ApplyEnabledNames(list, choice.names);
  } else {
    SetAllEnabled(list, true);
  }
}

}  // namespace sondrel::cli
