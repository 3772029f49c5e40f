#include "engines/engine_home.h"

#include <filesystem>
#include <system_error>

#include "engines/engine_texts.h"
#include "support/paths.h"

namespace sondrel {

std::string DatabasePathInHome(const std::string& home) {
  return (std::filesystem::path(home) / kDatabaseFileName).string();
}

std::string ExecutableDirectory() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path().string();
}

std::vector<std::string> InstalledDatabaseCandidates(const std::string& executableDir) {
  if (executableDir.empty()) return {};
  std::filesystem::path dir(executableDir);
  return {(dir / kInstalledDatabaseDir / kDatabaseFileName).lexically_normal().string(),
          (dir / kDatabaseFileName).string()};
}

bool SeedDatabase(const std::string& home, const std::string& executableDir) {
  std::string target = DatabasePathInHome(home);
  std::error_code error;
  if (std::filesystem::is_regular_file(target, error)) return true;
  for (const std::string& candidate : InstalledDatabaseCandidates(executableDir)) {
    if (!std::filesystem::is_regular_file(candidate, error)) continue;
    std::string image;
    if (!FileReadAll(candidate, image)) continue;
    if (!MakeDirectories(home)) return false;
    return FileReplaceAll(target, image) == 1;
  }
  return false;
}

}  // namespace sondrel
