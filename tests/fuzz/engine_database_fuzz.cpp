// Engine databases from anywhere (an update server, a damaged disk) must load without a crash:
// the bytes go to a scratch file and through the real loader. Inputs that start with a magic
// get their checksum put right first, so the fuzzer reaches the records behind it.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engines/definition_text.h"
#include "engines/engine_database.h"
#include "engines/engine_texts.h"

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
  std::string image(reinterpret_cast<const char*>(data), size);
  const std::size_t field = kDatabaseMagic.size();
  if (image.size() >= field + 4 && (image.starts_with(kDatabaseMagic) ||
                                    image.starts_with(kDatabaseMagicFormat1))) {
    std::string asCurrent = image;
    asCurrent.replace(0, field, kDatabaseMagic);
    std::uint32_t crc = 0;
    if (!DatabaseChecksumOf(asCurrent, crc)) std::abort();
    for (std::size_t i = 0; i < 4; ++i) image[field + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  }
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) std::abort();
  std::size_t done = 0;
  while (done < image.size()) {
    ssize_t n = write(fd, image.data() + done, image.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  close(fd);

  EngineList list;
  LoadedDatabase info;
  // A refusal must say why and load nothing.
  if (!LoadDatabase(path, list, info) && (info.problem.empty() || list.Count() != 0)) std::abort();
  for (const auto& engine : list) {
    (void)FindPatternForVariable(*engine, "__NEXT__");
    (void)DefinitionSectionOf(*engine);
    ResetPageState(*engine);
  }
  return 0;
}
