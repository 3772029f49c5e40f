#include "cli/arguments.h"

#include <iostream>

namespace sondrel::cli {
namespace {

bool IsLongFlag(const std::string& word, std::string_view name) {
  return word.size() == name.size() + 2 && word.starts_with("--") && word.substr(2) == name;
}

bool IsShortFlag(const std::string& word, char letter) {
  return letter != 0 && word.size() == 2 && word[0] == '-' && word[1] == letter;
}

// A word that looks like an option: "-x" or "--word", but not "-" alone nor a negative number.
bool LooksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

std::optional<std::string> TakeValued(std::vector<std::string>& words, const std::string& spelled,
                                      bool joined) {
  for (auto it = words.begin(); it != words.end(); ++it) {
    if (*it == spelled && it + 1 != words.end()) {
      std::string value = *(it + 1);
      words.erase(it, it + 2);
      return value;
    }
    if (joined && it->starts_with(spelled + "=")) {
      std::string value = it->substr(spelled.size() + 1);
      words.erase(it);
      return value;
    }
  }
  return std::nullopt;
}

}  // namespace

Arguments::Arguments(std::vector<std::string> words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") {
      operands_.assign(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
      break;
    }
    options_.push_back(std::move(words[i]));
  }
}

bool Arguments::HasFlag(std::string_view name) const {
  for (const std::string& word : options_) {
    if (IsLongFlag(word, name)) return true;
  }
  return false;
}

bool Arguments::TakeFlag(std::string_view name, char letter) {
  for (auto it = options_.begin(); it != options_.end(); ++it) {
    if (IsLongFlag(*it, name) || IsShortFlag(*it, letter)) {
      options_.erase(it);
      return true;
    }
  }
  return false;
}

std::optional<std::string> Arguments::TakeOption(std::string_view name, char letter) {
  std::optional<std::string> value = TakeValued(options_, "--" + std::string(name), true);
  if (!value && letter != 0) value = TakeShort(letter);
  return value;
}

std::optional<std::string> Arguments::TakeShort(char letter) {
  return TakeValued(options_, std::string{'-', letter}, false);
}

std::vector<std::string> Arguments::Finish(std::string& error) const {
  error.clear();
  for (const std::string& word : options_) {
    if (LooksLikeOption(word)) {
      error = "unknown or incomplete option " + word;
      break;
    }
  }
  std::vector<std::string> words = options_;
  words.insert(words.end(), operands_.begin(), operands_.end());
  return words;
}

std::optional<std::string> Arguments::TakeFirstOperand() {
  for (auto it = options_.begin(); it != options_.end(); ++it) {
    if (LooksLikeOption(*it)) return std::nullopt;
    std::string word = std::move(*it);
    options_.erase(it);
    return word;
  }
  if (operands_.empty()) return std::nullopt;
  std::string word = std::move(operands_.front());
  operands_.erase(operands_.begin());
  return word;
}

int Fail(const std::string& message) {
  return FailWith(kExitFailure, message);
}

int FailWith(int status, const std::string& message) {
  std::cerr << "sondrel-cli: " << message << '\n';
  return status;
}

void Warn(const std::string& message) {
  std::cerr << "sondrel-cli: warning: " << message << '\n';
}

int FlushOutput() {
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return kExitOk;
}

int UsageError(const std::string& message, std::string_view usage) {
  const std::string_view command = usage.substr(0, usage.find(' '));
  std::cerr << "sondrel-cli: " << message << "\nusage: sondrel-cli " << usage
            << "\nRun 'sondrel-cli " << command << " --help' for its options.\n";
  return kExitUsage;
}

}  // namespace sondrel::cli
