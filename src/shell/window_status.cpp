#include "shell/window_status.h"

#include <cstdio>

#include "shell/shell_texts.h"

namespace sondrel {
namespace {

// The formats are the program's own and take numbers only.
template <typename... Numbers>
std::string Format(const char* format, Numbers... numbers) {
  char text[160];
  const int n = std::snprintf(text, sizeof text, format, numbers...);
  return n < 0 ? std::string() : std::string(text);
}

}  // namespace

std::string SearchingStatus(int enginesFinished, int engines, int results) {
  return Format(shell_texts::kStatusSearching, enginesFinished, engines, results);
}

std::string VerifyingStatus(int done, int total) {
  return Format(shell_texts::kStatusVerifying, done, total);
}

std::string SearchDoneStatus(const SearchReport& report, int results) {
  const int failed = report.FailedCount();
  if (failed > 0) {
    return Format(shell_texts::kStatusEnginesFailed, failed,
                  static_cast<int>(report.engines.size()));
  }
  return Format(shell_texts::kStatusSearchDone, results);
}

std::string VerifyDoneStatus(int verified, int removed) {
  if (removed > 0) return Format(shell_texts::kStatusInvalidRemoved, verified, removed);
  return Format(shell_texts::kStatusVerifyDone, verified);
}

}  // namespace sondrel
