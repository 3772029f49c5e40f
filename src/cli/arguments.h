#pragma once
// The words of one sondrel-cli command, taken apart option by option.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel::cli {

// The exit statuses, documented in --help and the manual page.
enum ExitCode {
  kExitOk = 0,
  kExitFailure = 1,
  kExitUsage = 2,
  kExitNothingAnswered = 3,  // no engine answered a search; no response to a fetch or download
  kExitErrorReply = 4,       // the server answered with an HTTP or FTP error reply
  kExitInterrupted = 130,    // Ctrl-C
};

// A command's words. A lone "--" ends the options: every word after it is an operand, even
// one that starts with "-", so a query such as "-live" can be searched for.
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> words);

  // Whether "--name" is among the options, without taking it.
  bool HasFlag(std::string_view name) const;
  // Takes "--name" (or "-x" when letter is given) out of the options; whether it was there.
  bool TakeFlag(std::string_view name, char letter = 0);
  // Takes "--name VALUE", "--name=VALUE" (or "-x VALUE" when letter is given); nullopt when
  // absent. A "--name" without a value is left in place, so Finish() reports it.
  std::optional<std::string> TakeOption(std::string_view name, char letter = 0);
  // Takes "-x VALUE" style short options the same way.
  std::optional<std::string> TakeShort(char letter);
  // The words left once every option was taken, the operands after "--" last; an unknown
  // "--word" or "-x" before "--" makes error non-empty.
  std::vector<std::string> Finish(std::string& error) const;
  // Takes the first word that is not an option (the command name); nullopt when there is none
  // or an unknown option comes first.
  std::optional<std::string> TakeFirstOperand();

 private:
  std::vector<std::string> options_;   // the words before "--"
  std::vector<std::string> operands_;  // the words after it
};

// What every command knows: the program home for this run and whether progress is wanted.
struct Context {
  std::string home;
  bool quiet = false;
};

// One line of a command's --help: how the option is spelled and what it does, with its default.
struct OptionHelp {
  const char* spelling;  // "--db PATH", "-o FILE"
  const char* text;      // "the engine database (default: the one in the program home)"
};

// Prints "sondrel-cli: " and the message on stderr; returns kExitFailure.
int Fail(const std::string& message);
// The same with another exit status.
int FailWith(int status, const std::string& message);
// Prints "sondrel-cli: warning: " and the message on stderr.
void Warn(const std::string& message);
// Flushes stdout: kExitOk, or Fail naming standard output when it cannot be written.
int FlushOutput();
// Prints the usage error and the command's usage line; returns kExitUsage.
int UsageError(const std::string& message, std::string_view usage);

}  // namespace sondrel::cli
