#pragma once

namespace sondrel {

// Allocation failure is fatal everywhere: the handler writes "ERM" to stderr and ends the
// process with status 1, so no caller ever tests an allocation. Front ends install it first.
void InstallAllocationFailureHandler();

}  // namespace sondrel
