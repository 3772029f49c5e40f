#include "cli/arguments.h"

#include <iostream>

namespace sondrel::cli {

bool Arguments::HasFlag(std::string_view name) const {
  for (const std::string& word : words_) {
    if (word.size() == name.size() + 2 && word.starts_with("--") && word.substr(2) == name) {
      return true;
    }
  }
  return false;
}

bool Arguments::TakeFlag(std::string_view name) {
  for (auto it = words_.begin(); it != words_.end(); ++it) {
    if (it->size() == name.size() + 2 && it->starts_with("--") && it->substr(2) == name) {
      words_.erase(it);
      return true;
    }
  }
  return false;
}

static std::optional<std::string> TakeValued(std::vector<std::string>& words,
                                             const std::string& spelled) {
  for (auto it = words.begin(); it != words.end(); ++it) {
    if (*it == spelled && it + 1 != words.end()) {
      std::string value = *(it + 1);
      words.erase(it, it + 2);
      return value;
    }
    if (it->starts_with(spelled + "=")) {
      std::string value = it->substr(spelled.size() + 1);
      words.erase(it);
      return value;
    }
  }
  return std::nullopt;
}

std::optional<std::string> Arguments::TakeOption(std::string_view name) {
  return TakeValued(words_, "--" + std::string(name));
}

std::optional<std::string> Arguments::TakeShort(char letter) {
  return TakeValued(words_, std::string{'-', letter});
}

std::vector<std::string> Arguments::Finish(std::string& error) const {
  error.clear();
  for (const std::string& word : words_) {
    if (word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9')) {
      error = "unknown or incomplete option " + word;
      break;
    }
  }
  return words_;
}

int Fail(const std::string& message) {
  std::cerr << "sondrel-cli: " << message << '\n';
  return kExitFailure;
}

int FlushOutput() {
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output");
  return kExitOk;
}

int UsageError(const std::string& message, std::string_view usage) {
  std::cerr << "sondrel-cli: " << message << "\nusage: sondrel-cli " << usage << '\n';
  return kExitUsage;
}

}  // namespace sondrel::cli
