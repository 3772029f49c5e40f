#pragma once
// Where the bundled HTML manual lives.

#include <string>

namespace sondrel {

// The installed copy (<datadir>/doc/sondrel/manual/index.html) when it exists, else the source
// tree's docs/manual/index.html; empty when neither exists.
std::string ManualIndexPath();

}  // namespace sondrel
