#pragma once
// What the main window's status line says while it searches or verifies and when that ends.

#include <string>

#include "engines/search_report.h"

namespace sondrel {

// "Searching: 4 of 6 engines, 51 results": finished of the engines the search runs.
std::string SearchingStatus(int enginesFinished, int engines, int results);
// "Verifying 12 of 55".
std::string VerifyingStatus(int done, int total);
// "2 of 5 engines failed" when any failed, else "Search done: 51 results".
std::string SearchDoneStatus(const SearchReport& report, int results);
// "Verified 55 entries", with the count of removed invalid ones when there were any.
std::string VerifyDoneStatus(int verified, int removed);

}  // namespace sondrel
