#include "shell/launching.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "support/paths.h"

extern char** environ;

namespace sondrel {
namespace detail {

struct ChildExit {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  int status = -1;
};

namespace {

constexpr std::string_view kOpener = "xdg-open";
constexpr std::string_view kHttpHandlerKey = "x-scheme-handler/http";
constexpr std::string_view kDefaultsGroup = "[Default Applications]";
constexpr std::string_view kEntryGroup = "[Desktop Entry]";
constexpr std::string_view kDesktopSuffix = ".desktop";
constexpr std::string_view kPlaceholder = "%1";
// mimeapps.list and desktop entries are small; anything larger is not read.
constexpr long kMaxConfigFileBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsSign(char c) { return c == '%' || c == '-'; }
bool MarksTarget(char c) { return c == 'h' || c == '1'; }
// Inside double quotes a backslash escapes only these.
bool EscapedInDoubleQuotes(char c) { return c == '"' || c == '\\' || c == '$' || c == '`'; }

// The word splitting of SplitCommandLine and BrowserArgv in one pass. With a target, the sign
// rules apply after the program word. False on an unterminated quote (unless the target mark
// ended the scan inside it).
bool ScanWords(std::string_view text, const std::string_view* target,
               std::vector<std::string>& words) {
  enum Quote { kNone, kSingle, kDouble } quote = kNone;
  std::string word;
  bool inWord = false;
  const auto endWord = [&] {
    if (inWord) words.push_back(word);
    word.clear();
    inWord = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (target != nullptr && !words.empty() && IsSign(c)) {
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      if (MarksTarget(next)) {
        word += *target;
        inWord = true;
        endWord();
        return true;
      }
      if (i + 1 < text.size()) ++i;  // the pair is dropped
      continue;
    }
    if (quote == kSingle) {
      if (c == '\'') {
        quote = kNone;
      } else {
        word += c;
      }
      continue;
    }
    if (quote == kDouble) {
      if (c == '"') {
        quote = kNone;
      } else if (c == '\\' && i + 1 < text.size() && EscapedInDoubleQuotes(text[i + 1])) {
        word += text[++i];
      } else {
        word += c;
      }
      continue;
    }
    if (IsBlank(c)) {
      endWord();
      continue;
    }
    inWord = true;
    if (c == '\'') {
      quote = kSingle;
    } else if (c == '"') {
      quote = kDouble;
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
    } else {
      word += c;
    }
  }
  if (quote != kNone) return false;
  endWord();
  if (target != nullptr) words.emplace_back(*target);
  return true;
}

// The end of the program word of a command text (the first unquoted blank after it).
std::size_t ProgramWordEnd(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  char quote = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else if (quote == '"' && c == '\\' && i + 1 < text.size()) {
        ++i;
      }
    } else if (IsBlank(c)) {
      break;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '\\' && i + 1 < text.size()) {
      ++i;
    }
  }
  return i;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string HomeDirectory() { return EnvOr("HOME", "/"); }

std::vector<std::string> SplitList(std::string_view text, char separator) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) items.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

std::string ConfigHome() { return EnvOr("XDG_CONFIG_HOME", HomeDirectory() + "/.config"); }
std::string DataHome() { return EnvOr("XDG_DATA_HOME", HomeDirectory() + "/.local/share"); }
std::vector<std::string> ConfigDirs() { return SplitList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"), ':'); }
std::vector<std::string> DataDirs() {
  return SplitList(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':');
}

// Every applications folder, the user's first.
std::vector<std::string> ApplicationDirs() {
  std::vector<std::string> dirs{DataHome() + "/applications"};
  for (const std::string& dir : DataDirs()) dirs.push_back(dir + "/applications");
  return dirs;
}

bool ReadSmallFile(const std::string& path, std::string& data) {
  const long length = FileLengthOf(path);
  if (length < 0 || length > kMaxConfigFileBytes) return false;
  return FileReadAll(path, data) && data.size() <= static_cast<std::size_t>(kMaxConfigFileBytes);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The value of key in group of a desktop-style key file, as it stands; false when absent.
bool KeyFileValue(std::string_view data, std::string_view group, std::string_view key,
                  std::string& value) {
  bool inGroup = false;
  for (const std::string& rawLine : SplitList(data, '\n')) {
    const std::string_view line = Trimmed(rawLine);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == group;
      continue;
    }
    if (!inGroup) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trimmed(line.substr(0, eq)) != key) continue;
    value = std::string(Trimmed(line.substr(eq + 1)));
    return true;
  }
  return false;
}

// The escapes of a key file's string values; the rest stays for the Exec quoting.
std::string UnescapeValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[i + 1]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += value[i]; out += value[i + 1]; break;
    }
    ++i;
  }
  return out;
}

// The mimeapps.list files in the order the desktop's own tools read them.
std::vector<std::string> MimeAppsLists() {
  std::vector<std::string> desktops;
  for (std::string name : SplitList(EnvOr("XDG_CURRENT_DESKTOP", ""), ':')) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    desktops.push_back(name);
  }
  std::vector<std::string> dirs{ConfigHome()};
  for (const std::string& dir : ConfigDirs()) dirs.push_back(dir);
  for (const std::string& dir : ApplicationDirs()) dirs.push_back(dir);
  std::vector<std::string> files;
  for (const std::string& dir : dirs) {
    for (const std::string& desktop : desktops) files.push_back(dir + "/" + desktop + "-mimeapps.list");
    files.push_back(dir + "/mimeapps.list");
  }
  for (const std::string& dir : ApplicationDirs()) files.push_back(dir + "/defaults.list");
  return files;
}

bool ValidEntryName(std::string_view name) {
  return name.size() > kDesktopSuffix.size() && name.ends_with(kDesktopSuffix) &&
         name.find('/') == std::string_view::npos && name.front() != '.';
}

void CloseAfterReaping(Child& child) {
  // The waiter owns its own reference: the child is reaped whoever waits for it.
  try {
    std::thread([pid = child.pid, exit = child.exit] {
      int status = 0;
      pid_t r;
      do {
        r = ::waitpid(pid, &status, 0);
      } while (r < 0 && errno == EINTR);
      std::lock_guard lock(exit->mutex);
      exit->done = true;
      exit->status = r == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      exit->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread for the waiter: the child stays a zombie until we exit. Waiting for it here
    // could block the interface for as long as the program runs.
  }
}

}  // namespace

bool SplitCommandLine(std::string_view text, std::vector<std::string>& words) {
  words.clear();
  return ScanWords(text, nullptr, words);
}

std::vector<std::string> BrowserArgv(std::string_view command, std::string_view target) {
  std::vector<std::string> words;
  if (!ScanWords(command, &target, words) || words.size() < 2 || words.front().empty()) return {};
  return words;
}

std::string CutBrowserCommand(std::string_view command) {
  const std::size_t programEnd = ProgramWordEnd(command);
  const std::size_t sign = command.find_first_of("%-", programEnd);
  if (sign != std::string_view::npos) command = command.substr(0, sign);
  while (!command.empty() && IsBlank(command.back())) command.remove_suffix(1);
  while (!command.empty() && IsBlank(command.front())) command.remove_prefix(1);
  return std::string(command);
}

std::string BrowserCommandFromExec(std::string_view exec) {
  std::string out;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%') {
      out += exec[i];
      continue;
    }
    if (i + 1 == exec.size()) break;  // a lone percent sign at the end is dropped
    const char code = exec[++i];
    if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
      out += kPlaceholder;
    } else if (code == '%') {
      out += '%';
    }
  }
  return out;
}

std::string DefaultBrowserEntry() {
  for (const std::string& file : MimeAppsLists()) {
    std::string data;
    std::string value;
    if (!ReadSmallFile(file, data) || !KeyFileValue(data, kDefaultsGroup, kHttpHandlerKey, value)) {
      continue;
    }
    for (const std::string& name : SplitList(value, ';')) {
      const std::string entry(Trimmed(name));
      if (!FindDesktopEntry(entry).empty()) return entry;
    }
  }
  return {};
}

std::string FindDesktopEntry(std::string_view entryName) {
  if (!ValidEntryName(entryName)) return {};
  // A desktop file id "vendor-name.desktop" may also live at "vendor/name.desktop".
  std::vector<std::string> relatives{std::string(entryName)};
  std::string nested(entryName);
  for (std::size_t dash = nested.find('-'); dash != std::string::npos;
       dash = nested.find('-', dash + 1)) {
    nested[dash] = '/';
    relatives.push_back(nested);
  }
  for (const std::string& dir : ApplicationDirs()) {
    for (const std::string& relative : relatives) {
      const std::string path = dir + "/" + relative;
      if (FileLengthOf(path) >= 0) return path;
    }
  }
  return {};
}

bool ReadDesktopExec(const std::string& path, std::string& exec) {
  std::string data;
  std::string value;
  if (!ReadSmallFile(path, data) || !KeyFileValue(data, kEntryGroup, "Exec", value)) return false;
  exec = UnescapeValue(value);
  return !exec.empty();
}

bool ReadBrowserCommand(std::string& command) {
  command.clear();
  const std::string entry = DefaultBrowserEntry();
  if (entry.empty()) return false;
  std::string exec;
  if (!ReadDesktopExec(FindDesktopEntry(entry), exec)) return false;
  command = BrowserCommandFromExec(exec);
  if (command.size() > kMaxBrowserCommand) command.resize(kMaxBrowserCommand);
  return !Trimmed(command).empty();
}

Child SpawnProgram(const std::vector<std::string>& argv) {
  Child child;
  if (argv.empty() || argv.front().empty()) return child;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return child;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return child;
  }
  // Only the standard descriptors go to the other program, whatever we hold open.
  (void)posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  sigset_t none;
  sigemptyset(&none);
  sigset_t reset;
  sigemptyset(&reset);
  sigaddset(&reset, SIGPIPE);
  sigaddset(&reset, SIGCHLD);
  (void)posix_spawnattr_setsigmask(&attributes, &none);
  (void)posix_spawnattr_setsigdefault(&attributes, &reset);
  // Its own session: the program outlives us and our terminal's signals.
  (void)posix_spawnattr_setflags(&attributes,
                                 POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args.front(), &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0 || pid <= 0) return child;
  child.pid = pid;
  child.exit = std::make_shared<ChildExit>();
  CloseAfterReaping(child);
  return child;
}

bool WaitChild(const Child& child, int timeoutMs, int& exitStatus) {
  if (child.pid <= 0 || !child.exit) return false;
  std::unique_lock lock(child.exit->mutex);
  if (!child.exit->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return child.exit->done; })) {
    return false;
  }
  exitStatus = child.exit->status;
  return true;
}

}  // namespace detail

bool DetectBrowser(std::string& out) {
  out.clear();
  std::string command;
  if (!detail::ReadBrowserCommand(command)) return false;
  out = detail::CutBrowserCommand(command);
  if (out.size() > detail::kMaxDetectedBrowser) out.resize(detail::kMaxDetectedBrowser);
  return !out.empty();
}

bool LaunchUrl(std::string_view target) {
  if (target.empty()) return false;
  const detail::Child opener =
      detail::SpawnProgram({std::string(detail::kOpener), std::string(target)});
  if (opener.pid > 0) {
    int status = -1;
    // Still running after the wait: it found a handler and runs it in the foreground.
    if (!detail::WaitChild(opener, detail::kOpenerWaitMs, status) || status == 0) return true;
  }
  std::string command;
  if (!detail::ReadBrowserCommand(command)) return false;
  const std::vector<std::string> argv = detail::BrowserArgv(command, target);
  return !argv.empty() && detail::SpawnProgram(argv).pid > 0;
}

bool RunWithArgument(std::string_view program, std::string_view argument) {
  if (program.size() + 1 + argument.size() > detail::kMaxRunCommandLine) return false;
  std::vector<std::string> argv;
  if (!detail::SplitCommandLine(program, argv) || argv.empty()) return false;
  argv.emplace_back(argument);
  return detail::SpawnProgram(argv).pid > 0;
}

bool OpenWithBrowser(std::string_view url) {
  std::string browser;
  if (DetectBrowser(browser) && RunWithArgument(browser, url)) return true;
  return LaunchUrl(url);
}

}  // namespace sondrel
