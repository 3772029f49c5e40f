#include "shell/manual.h"

#include <sys/stat.h>

namespace sondrel {
namespace {

constexpr const char* kInstalledManual = SONDREL_INSTALL_DATADIR "/doc/sondrel/manual/index.html";
constexpr const char* kSourceManual = SONDREL_SOURCE_DIR "/docs/manual/index.html";

bool IsRegularFile(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string ManualIndexPath() {
  if (IsRegularFile(kInstalledManual)) return kInstalledManual;
  if (IsRegularFile(kSourceManual)) return kSourceManual;
  return {};
}

}  // namespace sondrel
