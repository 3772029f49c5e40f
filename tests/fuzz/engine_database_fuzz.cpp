// Engine databases from anywhere (an update server, a damaged disk) must load without a crash:
// the bytes go to a scratch file and through the real loader.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engines/definition_text.h"
#include "engines/engine_database.h"

using namespace sondrel;

namespace {

std::string ScratchPath() {
  static std::string path = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/sondrel-fuzz-db-XXXXXX"
                                                        : "/tmp/sondrel-fuzz-db-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = ScratchPath();
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  close(fd);

  EngineList list;
  LoadedDatabase info;
  if (!LoadDatabase(path, list, info)) std::abort();  // the file exists, so it opens
  for (const auto& engine : list) {
    (void)FindPatternForVariable(*engine, "__NEXT__");
    (void)DefinitionSectionOf(*engine);
    ResetPageState(*engine);
  }
  return 0;
}
