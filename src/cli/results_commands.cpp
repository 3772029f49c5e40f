// sondrel-cli config, add, show, export and the engine choice: the settings file and project
// files of the program home, read and written as the desktop application does.

#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_engines.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/result_output.h"
#include "engines/engine_database.h"
#include "net/ftp_url.h"
#include "net/url.h"
#include "results/export.h"
#include "results/project_file.h"
#include "results/results_texts.h"
#include "results/row_commands.h"
#include "results/settings.h"
#include "support/paths.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kConfigUsage = "config [KEY [VALUE]]";
constexpr std::string_view kAddUsage = "add PROJECT URL [NAME]";
constexpr std::string_view kShowUsage = "show PROJECT";
constexpr std::string_view kExportUsage = "export PROJECT htm|txt|cdf";
constexpr std::string_view kEngineChoiceUsage =
    "engines [--db PATH] --enable NAME... | --disable NAME... | --enable-all | --disable-all";
constexpr char kListSeparator = '|';

// ---- config ----

// One setting as the config command sees it; set is empty for settings edited elsewhere.
struct SettingKey {
  const char* name;
  std::function<std::string(const Settings&)> get;
  std::function<std::optional<std::string>(Settings&, const std::string&)> set;
};

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

SettingKey NumberKey(const char* name, int Settings::*field, SettingRange range) {
  return {name, [field](const Settings& s) { return std::to_string(s.*field); },
          [field, range](Settings& s, const std::string& value) -> std::optional<std::string> {
            std::optional<long> number = ParseNumber(value, range.low, range.high);
            if (!number) return DescribeRange(range);
            s.*field = static_cast<int>(*number);
            return std::nullopt;
          }};
}

SettingKey FlagKey(const char* name, std::uint8_t Settings::*field) {
  return {name, [field](const Settings& s) { return std::to_string(s.*field); },
          [field](Settings& s, const std::string& value) -> std::optional<std::string> {
            if (value != "0" && value != "1") return "0 or 1";
            s.*field = value == "1" ? 1 : 0;
            return std::nullopt;
          }};
}

SettingKey TextKey(const char* name, std::string Settings::*field, std::size_t max) {
  return {name, [field](const Settings& s) { return s.*field; },
          [field, max](Settings& s, const std::string& value) -> std::optional<std::string> {
            if (value.size() > max) return "at most " + std::to_string(max) + " characters";
            s.*field = value;
            return std::nullopt;
          }};
}

std::string JoinList(const PtrArray<std::string>& list) {
  std::string joined;
  for (const auto& item : list) {
    if (!joined.empty()) joined += kListSeparator;
    joined += *item;
  }
  return joined;
}

std::string JoinRecent(const RecentList& list) {
  std::string joined;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) joined += kListSeparator;
    joined += *list.Get(i);
  }
  return joined;
}

std::string TwoDigits(int n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string StampText(const DateStamp& d) {
  if (d.IsEmpty()) return "never";
  return std::to_string(d.year) + "-" + TwoDigits(d.month) + "-" + TwoDigits(d.day) + " " +
         TwoDigits(d.hour) + ":" + TwoDigits(d.minute) + ":" + TwoDigits(d.second);
}

std::string MaskedEngineKeys(const Settings& settings) {
  std::string joined;
  for (const auto& item : settings.engineKeys) {
    if (!joined.empty()) joined += kListSeparator;
    joined += item->substr(0, item->find('=')) + "=***";
  }
  return joined;
}

// A relative path would be read from wherever the next run starts: stored absolute. A file that
// cannot be read is refused now rather than failing every https request later; "" clears it.
std::optional<std::string> SetCaFile(Settings& settings, const std::string& value) {
  if (value.empty()) {
    settings.caFile.clear();
    return std::nullopt;
  }
  std::error_code failed;
  const std::string path = std::filesystem::absolute(value, failed).lexically_normal().string();
  if (failed || path.size() > kMaxProgramPath) {
    return "a path of at most " + std::to_string(kMaxProgramPath) + " characters";
  }
  if (std::ifstream(path).fail() || std::filesystem::is_directory(path, failed)) {
    return "a readable PEM file (or \"\" for the system's certificates alone); cannot read " + path;
  }
  settings.caFile = path;
  return std::nullopt;
}

// "engineKey.NAME": the key of one engine, which `config` never prints.
constexpr std::string_view kEngineKeyPrefix = "engineKey.";

std::optional<std::string> EngineKeyName(const std::string& word) {
  if (!word.starts_with(kEngineKeyPrefix)) return std::nullopt;
  return word.substr(kEngineKeyPrefix.size());
}

// The key is stored as NAME=KEY, one per line: a name with '=' or a line break, or a key with a
// line break, would come back as another engine's key.
std::optional<std::string> KeyRefusal(const std::string& name, const std::string& key) {
  if (name.empty()) return "an engine name after engineKey.";
  if (name.find_first_of("=\r\n") != std::string::npos) {
    return "an engine name without '=' or line breaks";
  }
  if (key.find_first_of("\r\n") != std::string::npos) return "a key without line breaks";
  return std::nullopt;
}

std::vector<SettingKey> SettingKeys() {
  std::vector<SettingKey> keys = {
      NumberKey("maxConnections", &Settings::maxConnections, kMaxConnectionsRange),
      NumberKey("timeoutSeconds", &Settings::timeoutSeconds, kTimeoutSecondsRange),
      NumberKey("maxResultsPerEngine", &Settings::maxResultsPerEngine, kResultLimitRange),
      NumberKey("maxResultsTotal", &Settings::maxResultsTotal, kResultLimitRange),
      TextKey("lastProject", &Settings::lastProject, kMaxLastProject),
      {"recentProjects", [](const Settings& s) { return JoinRecent(s.recentProjects); }, nullptr},
      {"searchHistory", [](const Settings& s) { return JoinRecent(s.searchHistory); }, nullptr},
      FlagKey("webProxyOn", &Settings::webProxyOn),
      TextKey("webProxyAddress", &Settings::webProxyAddress, kWebProxyField - 1),
      NumberKey("webProxyPort", &Settings::webProxyPort, kPortRange),
      TextKey("browserPath", &Settings::browserPath, kMaxProgramPath),
      FlagKey("showAbout", &Settings::showAbout),
      {"enabledEngines", [](const Settings& s) { return JoinList(s.enabledEngines); }, nullptr},
      {"showSearchHistory", [](const Settings& s) { return std::to_string(s.showSearchHistory); },
       [](Settings& s, const std::string& value) -> std::optional<std::string> {
         if (value != "0" && value != "1") return "0 or 1";
         SetShowSearchHistory(s, value == "1");  // off empties the history
         return std::nullopt;
       }},
      FlagKey("showToolbar", &Settings::showToolbar),
      FlagKey("showStatusBar", &Settings::showStatusBar),
      {"blockList",
       [](const Settings& s) {
         std::string names;
         for (const auto& record : s.blockList) {
           if (!names.empty()) names += kListSeparator;
           names += record->name;
         }
         return names;
       },
       nullptr},
      TextKey("ftpClientPath", &Settings::ftpClientPath, kMaxProgramPath),
      {"lastEngineUpdate", [](const Settings& s) { return StampText(s.lastEngineUpdate); },
       nullptr},
      FlagKey("ftpProxyOn", &Settings::ftpProxyOn),
      TextKey("ftpProxyAddress", &Settings::ftpProxyAddress, kMaxFtpProxyAddress),
      NumberKey("ftpProxyPort", &Settings::ftpProxyPort, kPortRange),
      TextKey("downloadDirectory", &Settings::downloadDirectory, kMaxDownloadDirectory),
      FlagKey("verifyAfterSearch", &Settings::verifyAfterSearch),
      FlagKey("removeInvalidAfterVerify", &Settings::removeInvalidAfterVerify),
      {"caFile", [](const Settings& s) { return s.caFile; }, SetCaFile},
      // Keys are secrets: only the engines' names are shown; each is set as engineKey.NAME.
      {"engineKeys", MaskedEngineKeys, nullptr},
  };
  return keys;
}

// The settings of the home: the file when there is one, else the defaults.
void LoadSettings(const Context& context, Settings& settings) {
  SettingsDefaults(settings, context.home);
  (void)ReadSettings(SettingsPath(context.home), settings);
}

// One locked read-modify-write of the settings file of the home.
int ChangeSettings(const Context& context, const SettingsEdit& edit, std::string_view usage) {
  const SettingsChange change = ChangeSettingsFile(SettingsPath(context.home), context.home, edit);
  if (!change.keptAs.empty()) {
    std::cerr << "sondrel-cli: " << texts::kSettingsKeptAside << change.keptAs << '\n';
  }
  if (!change.refusal.empty()) return UsageError(change.refusal, usage);
  if (!change.saved) return Fail(change.failure);
  return kExitOk;
}

int RunEngineKeyConfig(const Context& context, const Settings& settings,
                       const std::vector<std::string>& words) {
  const std::string name = *EngineKeyName(words[0]);
  if (words.size() == 1) {
    std::cout << words[0] << '=' << (EngineKey(settings, name).empty() ? "" : "***") << '\n';
    return FlushOutput();
  }
  if (std::optional<std::string> refusal = KeyRefusal(name, words[1])) {
    return UsageError(words[0] + " takes " + *refusal, kConfigUsage);
  }
  return ChangeSettings(
      context,
      [&](Settings& s) -> std::optional<std::string> {
        SetEngineKey(s, name, words[1]);
        // The file would cut the keys; refused before any is lost.
        if (!EngineKeysFit(s)) return words[0] + " takes a shorter key: the keys would not fit";
        return std::nullopt;
      },
      kConfigUsage);
}

// ---- projects ----

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Loads a project that must exist and be whole; otherwise the failure has been reported.
std::optional<int> LoadExisting(const std::string& path, SearchDocument& document) {
  switch (LoadDocument(path, document)) {
    case kLoadOk:
      return std::nullopt;
    case kLoadDamaged:
      return Fail("project file ends early or is damaged: " + path);
    default:
      return Fail(FileExists(path) ? "not a project file: " + path
                                   : "cannot open project file " + path);
  }
}

std::string DuplicatesName(std::uint8_t rule) {
  if (rule == kKeepDuplicates) return "keep";
  if (rule == kRemoveDuplicateUrls) return "remove";
  return std::to_string(rule);
}

std::string FilterName(std::uint8_t rule) {
  if (rule == kFilterNone) return "none";
  if (rule == kFilterName) return "name";
  if (rule == kFilterUrl) return "url";
  return std::to_string(rule);
}

std::string ProjectJson(const std::string& path, const SearchDocument& document) {
  JsonWriter json;
  json.BeginObject();
  json.Key("project").String(path);
  json.Key("query").String(document.query);
  json.Key("duplicates").String(DuplicatesName(document.duplicates));
  json.Key("filter").String(FilterName(document.filter));
  json.Key("merge").Bool(document.merge != 0);
  json.Key("matchMode").Number(document.matchMode);
  json.Key("includePatterns").String(document.includePatterns);
  json.Key("excludePatterns").String(document.excludePatterns);
  json.Key("var1").String(document.var1);
  json.Key("var2").String(document.var2);
  json.Key("var3").String(document.var3);
  json.Key("var4").String(document.var4);
  json.Key("daysBack").Number(document.daysBack);
  WriteEntriesJson(json, document);
  json.EndObject();
  return json.Document();
}

std::optional<ExportFormat> FormatFromWord(const std::string& word) {
  if (word == "htm") return ExportFormat::kHtml;
  if (word == "txt") return ExportFormat::kText;
  if (word == "cdf") return ExportFormat::kCdf;
  return std::nullopt;
}

}  // namespace

std::span<const OptionHelp> ShowOptions() {
  static const OptionHelp kOptions[] = {
      {"--json", "print one JSON document instead of text (default: text)"},
  };
  return kOptions;
}

int RunConfig(Arguments& args, const Context& context) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kConfigUsage);
  if (words.size() > 2) return UsageError("config takes at most KEY and VALUE", kConfigUsage);

  Settings settings;
  LoadSettings(context, settings);
  if (!words.empty() && EngineKeyName(words[0])) {
    return RunEngineKeyConfig(context, settings, words);
  }
  const std::vector<SettingKey> keys = SettingKeys();
  if (words.empty()) {
    for (const SettingKey& key : keys) std::cout << key.name << '=' << EscapeTsvField(key.get(settings)) << '\n';
    return FlushOutput();
  }
  const SettingKey* key = nullptr;
  for (const SettingKey& candidate : keys) {
    if (words[0] == candidate.name) key = &candidate;
  }
  if (!key) return UsageError("no setting named " + words[0], kConfigUsage);
  if (words.size() == 1) {
    std::cout << key->name << '=' << EscapeTsvField(key->get(settings)) << '\n';
    return FlushOutput();
  }
  if (!key->set) {
    return UsageError(words[0] + " is kept by the program and cannot be set here" +
                          (words[0] == "enabledEngines" ? " (use engines --enable/--disable)"
                           : words[0] == "engineKeys"   ? " (use engineKey.NAME KEY)"
                                                        : ""),
                      kConfigUsage);
  }
  return ChangeSettings(
      context,
      [&](Settings& s) -> std::optional<std::string> {
        if (std::optional<std::string> problem = key->set(s, words[1])) {
          return words[0] + " takes " + *problem;
        }
        return std::nullopt;
      },
      kConfigUsage);
}

int RunAdd(Arguments& args, const Context& /*context*/) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kAddUsage);
  if (words.size() < 2 || words.size() > 3)
    return UsageError("add takes PROJECT URL [NAME]", kAddUsage);
  const std::string& path = words[0];
  const std::string& url = words[1];
  const std::string name = words.size() == 3 ? words[2] : std::string();
  if (!IsHttpUrl(url) && !IsFtpUrl(url)) {
    return Fail(std::string(texts::kAddEntryBadUrl) + " Refused: " + url);
  }

  ResultEntry added;
  // Appended after the last entry: there is no focused row here.
  const ProjectChange change = ChangeProjectFile(path, [&](SearchDocument& document) {
    const int index = InsertHandMadeEntry(document, document.entries.Count() - 1, url, name);
    if (index >= 0) added = *document.entries.Get(index);
    return index >= 0;
  });
  switch (change) {
    case ProjectChange::kSaved:
      break;
    case ProjectChange::kDamaged:
      return Fail("project file ends early or is damaged: " + path);
    case ProjectChange::kNotProject:
      return Fail("not a project file: " + path);
    case ProjectChange::kRefused:
      return Fail("project is full, nothing added: " + path);
    case ProjectChange::kNotWritten:
      return Fail("cannot write project file " + path);
  }
  std::cout << cli_texts::kResultHeader << '\n';
  PrintResultLine(added);
  return FlushOutput();
}

int RunShow(Arguments& args, const Context& /*context*/) {
  const bool json = args.TakeFlag("json");
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kShowUsage);
  if (words.size() != 1) return UsageError("show takes one PROJECT", kShowUsage);
  SearchDocument document;
  if (std::optional<int> failed = LoadExisting(words[0], document)) return *failed;
  if (json) {
    std::cout << ProjectJson(words[0], document);
    return FlushOutput();
  }

  std::cout << "query=" << EscapeTsvField(document.query) << '\n'
            << "duplicates=" << DuplicatesName(document.duplicates) << '\n'
            << "filter=" << FilterName(document.filter) << '\n'
            << "merge=" << static_cast<int>(document.merge) << '\n'
            << "matchMode=" << static_cast<int>(document.matchMode) << '\n'
            << "includePatterns=" << EscapeTsvField(document.includePatterns) << '\n'
            << "excludePatterns=" << EscapeTsvField(document.excludePatterns) << '\n'
            << "var1=" << EscapeTsvField(document.var1) << '\n'
            << "var2=" << EscapeTsvField(document.var2) << '\n'
            << "var3=" << EscapeTsvField(document.var3) << '\n'
            << "var4=" << EscapeTsvField(document.var4) << '\n'
            << "daysBack=" << document.daysBack << '\n'
            << "entries=" << document.entries.Count() << "\n\n";
  PrintResultList(document);
  return FlushOutput();
}

int RunExport(Arguments& args, const Context& /*context*/) {
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kExportUsage);
  if (words.size() != 2) return UsageError("export takes PROJECT and a format", kExportUsage);
  std::optional<ExportFormat> format = FormatFromWord(words[1]);
  if (!format) return UsageError("unknown export format " + words[1], kExportUsage);
  SearchDocument document;
  if (std::optional<int> failed = LoadExisting(words[0], document)) return *failed;
  const std::string path = ExportPath(words[0], *format);
  if (!ExportDocument(path, document, *format)) return Fail(ExportFailedText(path));
  std::cout << path << '\n';
  return FlushOutput();
}

int RunEngineChoice(Arguments& args, const Context& context) {
  std::optional<std::string> db = args.TakeOption("db");
  const bool enableAll = args.TakeFlag("enable-all");
  const bool disableAll = args.TakeFlag("disable-all");
  const bool enable = args.TakeFlag("enable");
  const bool disable = args.TakeFlag("disable");
  std::string error;
  std::vector<std::string> names = args.Finish(error);
  if (!error.empty()) return UsageError(error, kEngineChoiceUsage);
  if (enableAll + disableAll + enable + disable != 1) {
    return UsageError("give exactly one of --enable, --disable, --enable-all, --disable-all",
                      kEngineChoiceUsage);
  }
  if ((enable || disable) && names.empty()) {
    return UsageError("name at least one engine", kEngineChoiceUsage);
  }
  if ((enableAll || disableAll) && !names.empty()) {
    return UsageError("unexpected argument " + names.front(), kEngineChoiceUsage);
  }

  std::string dbPath;
  EngineList list;
  if (int status = LoadEnginesForCommand(context, db, list, dbPath); status != kExitOk) {
    return status;
  }
  for (const std::string& name : names) {
    bool known = false;
    for (const auto& engine : list) known = known || engine->name == name;
    if (!known) return Fail("no engine named " + name + " in " + dbPath);
  }

  const int status = ChangeSettings(
      context,
      [&](Settings& settings) -> std::optional<std::string> {
        // Until engines were chosen every engine is enabled, as at the program's first start.
        if (EngineChoiceMade(settings)) {
          ApplyEnabledNames(list, settings.enabledEngines);
        } else {
          SetAllEnabled(list, true);
        }
        if (enableAll || disableAll) SetAllEnabled(list, enableAll);
        for (const auto& engine : list) {
          for (const std::string& name : names) {
            if (engine->name == name) engine->enabled = enable ? 1 : 0;
          }
        }
        RebuildEnabledNames(list, settings.enabledEngines);
        settings.enginesChosen = 1;
        return std::nullopt;
      },
      kEngineChoiceUsage);
  if (status != kExitOk) return status;
  for (const auto& engine : list) {
    std::cout << EscapeTsvField(engine->name) << '\t' << (engine->enabled ? "enabled" : "disabled") << '\n';
  }
  return FlushOutput();
}

}  // namespace sondrel::cli
