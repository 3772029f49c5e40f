#pragma once
// sondrel-cli engines --test and engines --check: an engine's kept pages replayed and compared
// with the list they must give, and the live search of engines with its report.

#include "cli/arguments.h"

namespace sondrel::cli {

// engines --test [NAME] [--fixtures DIR] [--db PATH]
int RunEngineTest(Arguments& args, const Context& context);
// engines --check [NAME] QUERY [--fixtures DIR] [--db PATH] [--timeout SECONDS] [--json]
int RunEngineCheck(Arguments& args, const Context& context);

}  // namespace sondrel::cli
