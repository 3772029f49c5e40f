#pragma once
// File round trips for the fuzz targets: the input is written to a scratch directory of this
// process (in memory when /dev/shm is writable), read back by the code under test, saved again.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/paths.h"

namespace sondrel::fuzz {

// A directory made once per process, named by the first call: /dev/shm/sondrel-fuzz-NAME-XXXXXX
// (or the same under /tmp).
inline const std::string& ScratchDirectory(std::string_view name) {
  static const std::string path = [name] {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/sondrel-fuzz-" + std::string(name) + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return path;
}

// Writes the fuzz input to path; a failed write is a broken harness, not a finding.
inline void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  if (FileWriteAll(path, std::string_view(reinterpret_cast<const char*>(data), size)) < 0) {
    std::abort();
  }
}

inline std::string Slurp(const std::string& path) {
  std::string data;
  if (!FileReadAll(path, data)) std::abort();
  return data;
}

}  // namespace sondrel::fuzz
