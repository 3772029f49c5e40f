#pragma once
// Where the engine database lives: in the program home, seeded on first use with the
// database installed beside the program.

#include <string>
#include <vector>

namespace sondrel {

std::string DatabasePathInHome(const std::string& home);
// Directory of the running executable; empty when it cannot be found.
std::string ExecutableDirectory();
// Where an installed database may be, best first: the installed share folder, then the build
// directory the executable sits in.
std::vector<std::string> InstalledDatabaseCandidates(const std::string& executableDir);
// Copies the first installed database that exists into home when home has none yet. True when
// home holds a database afterwards.
[[nodiscard]] bool SeedDatabase(const std::string& home,
                                const std::string& executableDir = ExecutableDirectory());

}  // namespace sondrel
