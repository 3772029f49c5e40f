#include "support/user_dirs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "support/text.h"

extern char** environ;

namespace sondrel {
namespace {

constexpr const char* kFolderName = "sondrel";
constexpr std::size_t kMaxPrintedPath = 4096;

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

std::string UserHome() {
  const char* home = NonEmptyEnv("HOME");
  return home ? home : ".";
}

std::string WithoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

// The XDG base directory variable, else the fallback below the user's home.
std::string XdgDirectory(const char* variable, const char* fallback) {
  const char* value = NonEmptyEnv(variable);
  // Relative values are invalid and to be ignored.
  if (value && value[0] == '/') return std::string(value) + "/" + kFolderName;
  return UserHome() + "/" + fallback + "/" + kFolderName;
}

// The first line xdg-user-dir prints for DOWNLOAD; empty when it cannot be run.
std::string AskXdgUserDir() {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  char program[] = "xdg-user-dir";
  char which[] = "DOWNLOAD";
  char* argv[] = {program, which, nullptr};
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  std::string printed;
  if (spawned == 0) {
    char block[512];
    for (;;) {
      const ssize_t n = ::read(pipeEnds[0], block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (printed.size() < kMaxPrintedPath) printed.append(block, static_cast<std::size_t>(n));
    }
  }
  ::close(pipeEnds[0]);
  int status = 0;
  if (spawned != 0) return {};
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return Trimmed(printed.substr(0, printed.find('\n')));
}

}  // namespace

std::string DefaultProgramHome() {
  return XdgDirectory("XDG_DATA_HOME", ".local/share");
}

bool UsesUserDirectories(std::string_view home) {
  if (NonEmptyEnv("SONDREL_HOME")) return false;
  return WithoutTrailingSlashes(home) == WithoutTrailingSlashes(DefaultProgramHome());
}

std::string UserConfigDirectory() {
  return XdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::string UserDownloadDirectory() {
  static std::once_flag asked;
  static std::string directory;
  std::call_once(asked, [] {
    const std::string home = WithoutTrailingSlashes(UserHome());
    std::string printed = WithoutTrailingSlashes(AskXdgUserDir());
    directory =
        (printed.empty() || printed[0] != '/' || printed == home) ? home + "/Downloads" : printed;
  });
  return directory;
}

}  // namespace sondrel
