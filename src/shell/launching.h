#pragma once
// Starting other programs: the default web browser, the desktop's opener, and any program
// with one argument. Nothing here goes through a shell: a program text is split into argv with
// shell-like quoting and the target is always one argv element of its own.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// The browser (program and leading options) from the default web browser's desktop entry.
// False when none is found.
bool DetectBrowser(std::string& out);
// Opens target (an address or a file) with xdg-open; when that fails, with the default
// browser's command.
bool LaunchUrl(std::string_view target);
// Starts program (split into argv) with argument as one further argv element.
bool RunWithArgument(std::string_view program, std::string_view argument);
// Opens url with the detected browser; without one, or when it cannot start, as LaunchUrl.
bool OpenWithBrowser(std::string_view url);

namespace detail {

// Longest browser command read from a desktop entry, and longest detected browser text.
inline constexpr std::size_t kMaxBrowserCommand = 254;
inline constexpr std::size_t kMaxDetectedBrowser = 257;
// Longest program text plus one space plus argument that RunWithArgument starts.
inline constexpr std::size_t kMaxRunCommandLine = 2999;
// How long LaunchUrl waits for xdg-open to report.
inline constexpr int kOpenerWaitMs = 2000;

// Splits a command text into words: blanks separate, double and single quotes group, a
// backslash escapes the next character (inside double quotes only before " \ $ `).
// False on an unterminated quote.
[[nodiscard]] bool SplitCommandLine(std::string_view text, std::vector<std::string>& words);

// The argv for starting a browser command with target. After the program word, a percent or
// minus sign followed by h or 1 marks where the target goes and ends the command; any other
// sign-character pair is dropped; without a mark the target is appended. The target is always
// one element of its own (joined literally to the text of the word it sits in). Empty when the
// command is malformed or has no program.
std::vector<std::string> BrowserArgv(std::string_view command, std::string_view target);

// The browser text of a browser command: cut at its first percent or minus sign after the
// program word, trailing blanks removed.
std::string CutBrowserCommand(std::string_view command);

// A desktop entry's Exec value as a browser command: %u %U %f %F become the placeholder "%1",
// "%%" a percent sign, other field codes are dropped.
std::string BrowserCommandFromExec(std::string_view exec);

// The default web browser's desktop entry name (x-scheme-handler/http) from the mimeapps.list
// files of the XDG directories, the first one that exists; empty when none.
std::string DefaultBrowserEntry();
// The full path of a desktop entry in the XDG data directories' applications folders.
std::string FindDesktopEntry(std::string_view entryName);
// The Exec value of the [Desktop Entry] group of a desktop entry file; false when absent.
[[nodiscard]] bool ReadDesktopExec(const std::string& path, std::string& exec);
// The default browser's command (at most kMaxBrowserCommand bytes); false when none.
[[nodiscard]] bool ReadBrowserCommand(std::string& command);

// A started program. Its exit is collected in the background, so no child is left unreaped.
struct ChildExit;
struct Child {
  int pid = -1;
  std::shared_ptr<ChildExit> exit;
};
// Starts argv[0] (searched on PATH) with argv, not through a shell; the child keeps only the
// standard descriptors. pid -1 when it could not be started.
Child SpawnProgram(const std::vector<std::string>& argv);
// Waits at most timeoutMs for child to end; true with its exit status (-1 when it was killed
// by a signal) when it ended in time.
bool WaitChild(const Child& child, int timeoutMs, int& exitStatus);

}  // namespace detail
}  // namespace sondrel
