#pragma once
// The words of one sondrel-cli command, taken apart option by option.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel::cli {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

class Arguments {
 public:
  explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

  // Whether "--name" is among the words, without taking it.
  bool HasFlag(std::string_view name) const;
  // Takes "--name" out of the words; whether it was there.
  bool TakeFlag(std::string_view name);
  // Takes "--name VALUE" or "--name=VALUE"; nullopt when absent. A "--name" without a value
  // is left in place, so Finish() reports it.
  std::optional<std::string> TakeOption(std::string_view name);
  // Takes "-x VALUE" style short options the same way.
  std::optional<std::string> TakeShort(char letter);
  // The words left once every option was taken; an unknown "--word" makes error non-empty.
  std::vector<std::string> Finish(std::string& error) const;

 private:
  std::vector<std::string> words_;
};

// What every command knows: the program home for this run and whether progress is wanted.
struct Context {
  std::string home;
  bool quiet = false;
};

// Prints "sondrel-cli: " and the message on stderr; returns kExitFailure.
int Fail(const std::string& message);
// Flushes stdout: kExitOk, or Fail naming standard output when it cannot be written.
int FlushOutput();
// Prints the usage error and the command's usage line; returns kExitUsage.
int UsageError(const std::string& message, std::string_view usage);

}  // namespace sondrel::cli
