// Whatever an update server sends must be either refused, with the database file and the engine
// list untouched, or installed whole. An input with an odd first byte that does not start with
// the magic is sealed (magic and a correct checksum put in front of the rest), so the install
// path (write, load, enabled names) sees arbitrary engine records too.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engines/engine_database.h"
#include "engines/engine_texts.h"
#include "engines/engine_update.h"
#include "engines/engine_update_internal.h"
#include "support/paths.h"

using namespace sondrel;

namespace {

constexpr std::size_t kChecksumField = 4;

const std::string& ScratchDir() {
  static std::string path = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/sondrel-fuzz-update-XXXXXX"
                                                        : "/tmp/sondrel-fuzz-update-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return path;
}

// The bytes with the magic in front and the checksum field filled in.
std::string Sealed(std::string_view rest) {
  std::string image(kDatabaseMagic);
  image.append(kChecksumField, '\0');
  image.append(rest);
  std::uint32_t crc = 0;
  if (!DatabaseChecksumOf(image, crc)) std::abort();
  for (std::size_t i = 0; i < kChecksumField; ++i) {
    image[kDatabaseMagic.size() + i] = static_cast<char>((crc >> (8 * i)) & 0xff);
  }
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string body(input);
  const bool seal = size > 0 && (data[0] & 1) && !input.starts_with(kDatabaseMagic);
  if (seal) body = Sealed(input.substr(1));

  const std::string path = ScratchDir() + "/engines.db";
  const std::string old = "not the new database";
  if (FileReplaceAll(path, old) != 1) std::abort();

  EngineList engines;
  LoadedDatabase database;
  Settings settings;
  settings.enabledEngines.Add("Demo Tracks");
  EngineUpdateTarget target{engines, settings, path, database};
  const bool valid = UpdateBodyValid(body);
  if (seal && body.size() > kDatabaseMagic.size() + kChecksumField && !valid) {
    std::abort();  // a sealed image always passes the check
  }
  const bool installed = detail::AcceptUpdateBody(target, body);
  std::string now;
  if (!FileReadAll(path, now)) std::abort();
  if (installed) {
    if (!valid || now != body) std::abort();
    // Only names of engines in the new list stay enabled.
    for (const auto& name : settings.enabledEngines) {
      bool present = false;
      for (const auto& engine : engines)
        present = present || (engine->name == *name && engine->enabled);
      if (!present) std::abort();
    }
  } else if (now != old || engines.Count() != 0) {
    std::abort();
  }
  return 0;
}
