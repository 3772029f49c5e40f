#pragma once
// Every lasting choice of the program, its defaults, the settings file in the program home,
// the block list and the search history.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "results/result_entry.h"
#include "support/dates.h"
#include "support/ptr_array.h"
#include "support/string_list.h"

namespace sondrel {

inline constexpr std::size_t kMaxLastProject = 259;
inline constexpr std::size_t kMaxProgramPath = 258;  // browser and FTP client
inline constexpr std::size_t kWebProxyField = 200;   // a fixed field, text and zero padding
inline constexpr std::size_t kMaxFtpProxyAddress = 200;
inline constexpr std::size_t kMaxDownloadDirectory = 255;
inline constexpr std::size_t kMaxBlockName = 1023;
inline constexpr std::size_t kMaxBlockWord = 254;
inline constexpr int kRecentProjectsMax = 11;
inline constexpr int kSearchHistoryMax = 10;
inline constexpr int kHistoryBoxItems = 10;

// One block record: an entry whose URL or one of whose name words is in an enabled record's
// sets is not added to the results. Both sets ignore case and hold no duplicates.
struct BlockRecord {
  BlockRecord();
  std::string name;
  std::uint8_t enabled = 1;
  SortedList<std::string, std::string_view> urls;
  SortedList<std::string, std::string_view> words;
};

struct Settings {
  int maxConnections = 7;
  int timeoutSeconds = 60;
  int reserved1 = 60;
  int maxResultsPerEngine = 100;
  int maxResultsTotal = 500;
  std::array<int, 4> reserved2{};
  std::string lastProject;
  RecentList recentProjects{kRecentProjectsMax};
  RecentList searchHistory{kSearchHistoryMax};
  std::uint8_t webProxyOn = 0;
  std::string webProxyAddress;  // at most kWebProxyField - 1 characters
  int webProxyPort = 0;
  std::string browserPath;
  std::uint8_t showAbout = 0;
  std::array<int, 2> reserved3{3, 3};
  StringList enabledEngines{10, 5};
  std::uint8_t showSearchHistory = 1;
  std::array<std::uint8_t, 2> reserved4{1, 1};
  std::uint8_t showToolbar = 1;
  std::uint8_t showStatusBar = 1;
  std::uint8_t reserved5 = 0;  // stored after the byte whose default is 1
  std::uint8_t reserved6 = 1;
  PtrArray<BlockRecord> blockList{10, 5};
  std::string ftpClientPath;
  DateStamp lastEngineUpdate;  // all zero = never
  std::uint8_t reserved7 = 0;  // the byte after lastEngineUpdate
  std::uint8_t ftpProxyOn = 0;
  std::string ftpProxyAddress;
  int ftpProxyPort = 0;
  std::string downloadDirectory;
  std::uint8_t verifyAfterSearch = 1;
  std::uint8_t removeInvalidAfterVerify = 1;

  // Named fields, stored after the fixed ones (see kNamedFields in settings.cpp).
  // 0 while nobody has chosen engines: every engine is enabled and enabledEngines means nothing.
  // A file without the field was written by a front end that had the engine list: 1.
  std::uint8_t enginesChosen = 1;
  // Named fields this version does not know, kept as they came so that a save passes them on.
  std::vector<std::pair<std::string, std::string>> otherNamedFields;
  std::string caFile;  // extra trust anchors (PEM) for https; empty for the system's alone
  // The user's keys for engines that need one (__KEY__): "ENGINE NAME=KEY", the first '='
  // separating the name.
  StringList engineKeys{10, 5};
};

// Whether enabledEngines is somebody's choice: the flag, or any name in the list.
bool EngineChoiceMade(const Settings& settings);

// The documented range of a number setting.
struct SettingRange {
  int low = 0;
  int high = 0xffff;
};
inline constexpr SettingRange kMaxConnectionsRange{1, 20};
inline constexpr SettingRange kTimeoutSecondsRange{5, 500};
inline constexpr SettingRange kResultLimitRange{0, 0xffff};  // 0 lets nothing in
inline constexpr SettingRange kPortRange{0, 0xffff};         // 0 while the proxy is unused
// "a number from 5 to 500".
std::string DescribeRange(const SettingRange& range);

// The key the user entered for an engine; empty when there is none.
std::string EngineKey(const Settings& settings, std::string_view engineName);
// Sets (or with an empty key removes) the key of an engine.
void SetEngineKey(Settings& settings, std::string_view engineName, std::string_view key);
// engineKeys as one text, one "NAME=KEY" per line, for storing; and back.
std::string EngineKeysText(const Settings& settings);
void SetEngineKeysText(Settings& settings, std::string_view text);

// The path of the settings file in the program home.
std::string SettingsPath(std::string_view home);
// <home>/downloads.
std::string DefaultDownloadDirectory(std::string_view home);
// The defaults; browser is what browser detection found (empty when nothing was).
void SettingsDefaults(Settings& settings, std::string_view home, std::string_view browser = {});

// What the settings file on disk turned out to be.
enum class SettingsFileState : std::uint8_t {
  kRead,     // every field came from the file
  kMissing,  // there is no file: settings is untouched
  kDamaged,  // a settings file that breaks off: the fields before the break were taken
  kForeign,  // not a settings file, or it cannot be read: settings is untouched
  kNewer,    // a layout of a newer version: settings is untouched
};
SettingsFileState LoadSettingsFile(const std::string& path, Settings& settings);
// A number outside its documented range is replaced by the default (a timeout of 0 would
// wait for ever, no connections would search nothing).
// False when the file cannot be opened or is not a settings file; then settings is untouched.
// A file that ends early leaves the fields read so far.
[[nodiscard]] bool ReadSettings(const std::string& path, Settings& settings);

struct SettingsSave {
  bool written = false;
  // A file in the way that did not read as settings (damaged, foreign, of a newer version) is
  // kept under this name before it is replaced; empty when there was none.
  std::string keptAs;
};
// Replaces the file only when all of it was written, and a file that does not read as settings
// only after it was kept aside; otherwise the old file stays as it was.
SettingsSave SaveSettingsFile(const std::string& path, const Settings& settings);
[[nodiscard]] bool WriteSettings(const std::string& path, const Settings& settings);

// One change of the settings file as several processes may make it at once: under the file's
// lock it is read (defaults where it gives nothing), edited and saved. edit returns a refusal
// text to leave the file as it was.
using SettingsEdit = std::function<std::optional<std::string>(Settings&)>;
struct SettingsChange {
  bool saved = false;
  std::string refusal;  // what edit refused; nothing was written
  std::string failure;  // why nothing could be written
  std::string keptAs;   // see SettingsSave
};
SettingsChange ChangeSettingsFile(const std::string& path, std::string_view home,
                                  const SettingsEdit& edit);

// The block-list test for an accepted result.
bool Blocked(const Settings& settings, const ResultEntry& entry);

// Adds the query (or an opened project's query) to the search history.
void AddSearchHistory(Settings& settings, std::string_view query);
// The drop-down list of the query box: empty while the history is not shown.
std::vector<std::string> HistoryBoxItems(const Settings& settings);
// "Show search history" confirmed: turning it off empties the history.
void SetShowSearchHistory(Settings& settings, bool on);

// Which engines are enabled for a front end that has no engine list of its own: read from the
// settings file in the home when there is one, else every engine is enabled.
struct EngineChoice {
  bool fromFile = false;
  StringList names;
  bool Enabled(std::string_view engineName) const;
};
EngineChoice ReadEngineChoice(std::string_view home);

}  // namespace sondrel
