#include "support/memory.h"

#include <unistd.h>

#include <cstdlib>
#include <new>

namespace sondrel {

namespace {
// Runs when operator new cannot get memory: nothing here may allocate.
void OnAllocationFailure() {
  static constexpr char kMessage[] = "ERM\n";
  ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(1);
}
}  // namespace

void InstallAllocationFailureHandler() { std::set_new_handler(OnAllocationFailure); }

}  // namespace sondrel
