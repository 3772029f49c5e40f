#pragma once

#include <string>
#include <vector>

namespace sondrel::testkit {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  // The names of the entries directly in the directory, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

// Runs a command line through /bin/sh, capturing stdout (and stderr when asked) and the status.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult RunCommand(const std::string& commandLine);

// Quotes a word for /bin/sh.
std::string ShellQuote(const std::string& word);

}  // namespace sondrel::testkit
