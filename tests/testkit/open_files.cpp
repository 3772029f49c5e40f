#include "testkit/open_files.h"

#include <filesystem>

namespace sondrel::testkit {

int OpenDescriptorCount() {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;  // includes the descriptor of the listing itself, the same every time
}

}  // namespace sondrel::testkit
