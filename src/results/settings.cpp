#include "results/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>

#include "results/record_fields.h"
#include "results/results_texts.h"
#include "results/safe_save.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/record_file.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::string_view kBlockWordDelimiters = " ,;.!";
constexpr int kStoredListString = StringList::kMaxStoredString;

int CompareNoCase(const std::string_view& a, const std::string_view& b) {
  return StrCompareNoCase(a, b);
}

std::string_view KeyOf(const std::string& text) {
  return text;
}

void WriteSet(RecordFile& file, const SortedList<std::string, std::string_view>& set) {
  WriteList(file, set.Items(), [](RecordFile& f, const std::string& s) { (void)f.WriteString(s); });
}

bool ReadSet(RecordFile& file, SortedList<std::string, std::string_view>& set) {
  std::uint16_t count = 0;
  if (file.ReadU16(count) != 2) return false;
  for (int i = 0; i < count; ++i) {
    auto text = std::make_unique<std::string>();
    if (!file.ReadStringCut(*text, kStoredListString)) return false;
    (void)set.Insert(std::move(text));  // a duplicate is dropped
  }
  return true;
}

std::unique_ptr<BlockRecord> ReadBlockRecord(RecordFile& file) {
  auto record = std::make_unique<BlockRecord>();
  if (!ReadCutString(file, record->name, kMaxBlockName)) return nullptr;
  if (!ReadU8To(file, record->enabled)) return nullptr;
  if (!ReadSet(file, record->urls) || !ReadSet(file, record->words)) return nullptr;
  return record;
}

// A list read from the file is taken into our own list, so the file cannot change its size.
bool ReadRecentList(RecordFile& file, RecentList& list) {
  RecentList read(list.MaxCount());
  const bool complete = read.Read(file);
  list.Clear();
  for (int i = read.Count() - 1; i >= 0; --i) list.Add(*read.Get(i));
  return complete;
}

// The fields in file order; stops at the first that cannot be read.
bool ReadFields(RecordFile& file, Settings& s) {
  int* numbers[] = {&s.maxConnections,      &s.timeoutSeconds,  &s.reserved1,
                    &s.maxResultsPerEngine, &s.maxResultsTotal, &s.reserved2[0],
                    &s.reserved2[1],        &s.reserved2[2],    &s.reserved2[3]};
  for (int* number : numbers) {
    if (!ReadU16To(file, *number)) return false;
  }
  if (!ReadCutString(file, s.lastProject, kMaxLastProject)) return false;
  if (!ReadRecentList(file, s.recentProjects)) return false;
  if (!ReadRecentList(file, s.searchHistory)) return false;
  if (!ReadU8To(file, s.webProxyOn)) return false;
  if (!ReadFixedField(file, s.webProxyAddress, kWebProxyField)) return false;
  if (!ReadU16To(file, s.webProxyPort)) return false;
  if (!ReadCutString(file, s.browserPath, kMaxProgramPath)) return false;
  if (!ReadCutString(file, s.ftpClientPath, kMaxProgramPath)) return false;
  if (!ReadU8To(file, s.showAbout)) return false;
  if (!ReadU16To(file, s.reserved3[0]) || !ReadU16To(file, s.reserved3[1])) return false;
  if (!s.enabledEngines.Read(file)) return false;
  if (!ReadU8To(file, s.showSearchHistory) || !ReadU8To(file, s.reserved4[0]) ||
      !ReadU8To(file, s.reserved4[1])) {
    return false;
  }
  if (!ReadU8To(file, s.reserved6) || !ReadU8To(file, s.reserved5)) return false;
  if (!ReadU8To(file, s.showToolbar) || !ReadU8To(file, s.showStatusBar)) return false;
  s.blockList.Clear();
  if (!ReadList(file, s.blockList, ReadBlockRecord)) return false;
  if (!ReadStamp(file, s.lastEngineUpdate)) return false;
  if (!ReadU8To(file, s.ftpProxyOn)) return false;
  if (!ReadCutString(file, s.ftpProxyAddress, kMaxFtpProxyAddress)) return false;
  if (!ReadU16To(file, s.ftpProxyPort)) return false;
  if (!ReadCutString(file, s.downloadDirectory, kMaxDownloadDirectory)) return false;
  if (!ReadU8To(file, s.reserved7)) return false;
  if (!ReadU8To(file, s.verifyAfterSearch)) return false;
  return ReadU8To(file, s.removeInvalidAfterVerify);
}

// Fields added after the fixed layout are stored by name, after the fixed fields: a count, then
// name and value strings. Older readers stop before them; a field is written only when it says
// more than its default, so a file with only defaults keeps the fixed layout.
struct NamedField {
  std::string_view name;
  // The stored text; nothing when the field has its default.
  std::optional<std::string> (*get)(const Settings&);
  void (*set)(Settings&, std::string_view);
};

constexpr NamedField kNamedFields[] = {
    {"enginesChosen",
     // Names in the list are a choice whoever put them there.
     [](const Settings& s) -> std::optional<std::string> {
       if (EngineChoiceMade(s)) return std::nullopt;
       return "0";
     },
     [](Settings& s, std::string_view value) { s.enginesChosen = value == "0" ? 0 : 1; }},
    {"caFile",
     [](const Settings& s) -> std::optional<std::string> {
       if (s.caFile.empty()) return std::nullopt;
       return s.caFile;
     },
     [](Settings& s, std::string_view value) { s.caFile = std::string(value); }},
    {"engineKeys",
     [](const Settings& s) -> std::optional<std::string> {
       if (s.engineKeys.Count() == 0) return std::nullopt;
       return EngineKeysText(s);
     },
     [](Settings& s, std::string_view value) { SetEngineKeysText(s, value); }},
};

constexpr std::size_t kMaxNamedFieldName = 255;
constexpr std::size_t kMaxNamedFieldValue = 4095;
constexpr int kMaxNamedFields = 1000;

// Magic without its last byte, which is the layout version.
constexpr std::string_view kSettingsMagicStem =
    texts::kSettingsMagic.substr(0, texts::kSettingsMagic.size() - 1);
constexpr std::uint8_t kSettingsLayout = static_cast<std::uint8_t>(texts::kSettingsMagic.back());

void WriteNamedFields(RecordFile& file, const Settings& s) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const NamedField& field : kNamedFields) {
    if (std::optional<std::string> value = field.get(s)) {
      fields.emplace_back(std::string(field.name), std::move(*value));
    }
  }
  for (const auto& other : s.otherNamedFields) fields.push_back(other);
  if (fields.empty()) return;
  file.WriteU16(static_cast<std::uint16_t>(fields.size()));
  for (const auto& [name, value] : fields) {
    WriteCutString(file, name, kMaxNamedFieldName);
    WriteCutString(file, value, kMaxNamedFieldValue);
  }
}

void TakeNamedField(Settings& s, std::string name, std::string value) {
  for (const NamedField& field : kNamedFields) {
    if (field.name == name) {
      field.set(s, value);
      return;
    }
  }
  if (static_cast<int>(s.otherNamedFields.size()) < kMaxNamedFields) {
    s.otherNamedFields.emplace_back(std::move(name), std::move(value));
  }
}

// The end of the file after the fixed fields is no fault: files of the fixed layout stop there.
bool ReadNamedFields(RecordFile& file, Settings& s) {
  s.otherNamedFields.clear();
  std::uint16_t count = 0;
  const int got = file.ReadU16(count);
  if (got == 0) return true;
  if (got != 2) return false;
  for (int i = 0; i < count; ++i) {
    std::string name, value;
    if (!ReadCutString(file, name, kMaxNamedFieldName) ||
        !ReadCutString(file, value, kMaxNamedFieldValue)) {
      return false;
    }
    TakeNamedField(s, std::move(name), std::move(value));
  }
  return true;
}

void KeepInRange(int& value, const SettingRange& range, int fallback) {
  if (value < range.low || value > range.high) value = fallback;
}

void KeepNumbersInRange(Settings& s) {
  const Settings defaults;
  KeepInRange(s.maxConnections, kMaxConnectionsRange, defaults.maxConnections);
  KeepInRange(s.timeoutSeconds, kTimeoutSecondsRange, defaults.timeoutSeconds);
}

bool FileMissing(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

std::string TimeWord() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return std::string(text, n);
}

bool CopyTo(const std::string& name, std::string_view data) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = FdWriteAll(fd, data);
  if (::close(fd) != 0 || !written) {
    ::unlink(name.c_str());
    return false;
  }
  return true;
}

// A second name for the file, so that replacing it does not lose it. A hard link keeps the
// very bytes without copying; a copy serves where links are not possible.
std::string KeepAside(const std::string& path, SettingsFileState state) {
  const std::string stem =
      path +
      std::string(state == SettingsFileState::kNewer ? texts::kSettingsNewerSuffix
                                                     : texts::kSettingsUnreadableSuffix) +
      TimeWord();
  std::string data;
  bool haveData = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = attempt == 0 ? stem : stem + "-" + std::to_string(attempt);
    if (::link(path.c_str(), name.c_str()) == 0) return name;
    if (errno == EEXIST) continue;
    if (!haveData && !FileReadAll(path, data)) return {};
    haveData = true;
    if (CopyTo(name, data)) return name;
    if (errno != EEXIST) return {};
  }
  return {};
}

void WriteFields(RecordFile& file, const Settings& s) {
  file.WriteMagic(texts::kSettingsMagic);
  const int numbers[] = {s.maxConnections,      s.timeoutSeconds,  s.reserved1,
                         s.maxResultsPerEngine, s.maxResultsTotal, s.reserved2[0],
                         s.reserved2[1],        s.reserved2[2],    s.reserved2[3]};
  for (int number : numbers) file.WriteU16(static_cast<std::uint16_t>(number));
  WriteCutString(file, s.lastProject, kMaxLastProject);
  s.recentProjects.Write(file);
  s.searchHistory.Write(file);
  file.WriteU8(s.webProxyOn);
  WriteFixedField(file, s.webProxyAddress, kWebProxyField);
  file.WriteU16(static_cast<std::uint16_t>(s.webProxyPort));
  WriteCutString(file, s.browserPath, kMaxProgramPath);
  WriteCutString(file, s.ftpClientPath, kMaxProgramPath);
  file.WriteU8(s.showAbout);
  file.WriteU16(static_cast<std::uint16_t>(s.reserved3[0]));
  file.WriteU16(static_cast<std::uint16_t>(s.reserved3[1]));
  s.enabledEngines.Write(file);
  file.WriteU8(s.showSearchHistory);
  file.WriteU8(s.reserved4[0]);
  file.WriteU8(s.reserved4[1]);
  file.WriteU8(s.reserved6);
  file.WriteU8(s.reserved5);
  file.WriteU8(s.showToolbar);
  file.WriteU8(s.showStatusBar);
  WriteList(file, s.blockList, [](RecordFile& f, const BlockRecord& record) {
    WriteCutString(f, record.name, kMaxBlockName);
    f.WriteU8(record.enabled);
    WriteSet(f, record.urls);
    WriteSet(f, record.words);
  });
  WriteStamp(file, s.lastEngineUpdate);
  file.WriteU8(s.ftpProxyOn);
  WriteCutString(file, s.ftpProxyAddress, kMaxFtpProxyAddress);
  file.WriteU16(static_cast<std::uint16_t>(s.ftpProxyPort));
  WriteCutString(file, s.downloadDirectory, kMaxDownloadDirectory);
  file.WriteU8(s.reserved7);
  file.WriteU8(s.verifyAfterSearch);
  file.WriteU8(s.removeInvalidAfterVerify);
  WriteNamedFields(file, s);
}

}  // namespace

BlockRecord::BlockRecord()
    : urls(false, CompareNoCase, KeyOf), words(false, CompareNoCase, KeyOf) {}

std::string SettingsPath(std::string_view home) {
  std::string path(home);
  if (!path.empty() && path.back() != '/') path += '/';
  path += texts::kSettingsFileName;
  return path;
}

std::string DefaultDownloadDirectory(std::string_view home) {
  std::string path(home);
  if (!path.empty() && path.back() != '/') path += '/';
  path += texts::kDownloadDirectoryName;
  return StrCopyN(path, kMaxDownloadDirectory + 1);
}

void SettingsDefaults(Settings& settings, std::string_view home, std::string_view browser) {
  settings = Settings{};
  settings.browserPath = StrCopyN(browser, kMaxProgramPath + 1);
  settings.ftpClientPath = settings.browserPath;
  settings.downloadDirectory = DefaultDownloadDirectory(home);
  settings.enginesChosen = 0;
}

SettingsFileState LoadSettingsFile(const std::string& path, Settings& settings) {
  if (FileMissing(path)) return SettingsFileState::kMissing;
  std::unique_ptr<RecordFile> file = RecordFile::Open(path, false);
  if (!file || !file->CheckMagic(kSettingsMagicStem)) return SettingsFileState::kForeign;
  std::uint8_t layout = 0;
  if (file->ReadU8(layout) != 1 || layout == 0) return SettingsFileState::kForeign;
  if (layout > kSettingsLayout) return SettingsFileState::kNewer;
  settings.enginesChosen = 1;
  const bool whole = ReadFields(*file, settings) && ReadNamedFields(*file, settings);
  KeepNumbersInRange(settings);
  return whole ? SettingsFileState::kRead : SettingsFileState::kDamaged;
}

bool ReadSettings(const std::string& path, Settings& settings) {
  const SettingsFileState state = LoadSettingsFile(path, settings);
  return state == SettingsFileState::kRead || state == SettingsFileState::kDamaged;
}

SettingsSave SaveSettingsFile(const std::string& path, const Settings& settings) {
  SettingsSave save;
  Settings scratch;
  const SettingsFileState found = LoadSettingsFile(path, scratch);
  if (found == SettingsFileState::kDamaged || found == SettingsFileState::kForeign ||
      found == SettingsFileState::kNewer) {
    save.keptAs = KeepAside(path, found);
    // Rather keep the old file than lose what it holds.
    if (save.keptAs.empty()) return save;
  }
  save.written =
      WriteRecordFileSafely(path, [&settings](RecordFile& file) { WriteFields(file, settings); });
  return save;
}

bool WriteSettings(const std::string& path, const Settings& settings) {
  return SaveSettingsFile(path, settings).written;
}

SettingsChange ChangeSettingsFile(const std::string& path, std::string_view home,
                                  const SettingsEdit& edit) {
  SettingsChange change;
  if (path.find('/') != std::string::npos) (void)MakeDirectories(PathDirectory(path));
  std::optional<FileLock> lock = FileLock::Acquire(path);
  if (!lock) {
    change.failure = std::string(texts::kSettingsNoLock) + LockFilePath(path);
    return change;
  }
  Settings settings;
  SettingsDefaults(settings, home);
  (void)LoadSettingsFile(path, settings);
  if (std::optional<std::string> refusal = edit(settings)) {
    change.refusal = std::move(*refusal);
    return change;
  }
  SettingsSave save = SaveSettingsFile(path, settings);
  change.keptAs = std::move(save.keptAs);
  change.saved = save.written;
  if (!save.written) change.failure = std::string(texts::kSettingsNotWritten) + path;
  return change;
}

std::string DescribeRange(const SettingRange& range) {
  return std::string(texts::kRangeFrom) + std::to_string(range.low) + std::string(texts::kRangeTo) +
         std::to_string(range.high);
}

bool Blocked(const Settings& settings, const ResultEntry& entry) {
  bool any = false;
  for (const auto& record : settings.blockList) any = any || record->enabled;
  if (!any) return false;
  for (const auto& record : settings.blockList) {
    if (record->enabled && record->urls.IndexOf(entry.url) >= 0) return true;
  }
  std::string word;
  std::size_t pos = 0;
  while (NextToken(word, kMaxBlockWord + 1, entry.name, pos, kBlockWordDelimiters) != 0) {
    for (const auto& record : settings.blockList) {
      if (record->enabled && record->words.IndexOf(word) >= 0) return true;
    }
  }
  return false;
}

void AddSearchHistory(Settings& settings, std::string_view query) {
  settings.searchHistory.Add(query);
}

std::vector<std::string> HistoryBoxItems(const Settings& settings) {
  std::vector<std::string> items;
  if (!settings.showSearchHistory) return items;
  for (int i = 0; i < settings.searchHistory.Count() && i < kHistoryBoxItems; ++i) {
    items.push_back(*settings.searchHistory.Get(i));
  }
  return items;
}

void SetShowSearchHistory(Settings& settings, bool on) {
  settings.showSearchHistory = on ? 1 : 0;
  if (!on) settings.searchHistory.Clear();
}

bool EngineChoiceMade(const Settings& settings) {
  return settings.enginesChosen || settings.enabledEngines.Count() > 0;
}

bool EngineChoice::Enabled(std::string_view engineName) const {
  return !fromFile || names.IndexOf(engineName, true) >= 0;
}

EngineChoice ReadEngineChoice(std::string_view home) {
  Settings settings;
  SettingsDefaults(settings, home);
  EngineChoice choice;
  choice.fromFile = ReadSettings(SettingsPath(home), settings) && EngineChoiceMade(settings);
  choice.names = std::move(settings.enabledEngines);
  return choice;
}

std::string EngineKey(const Settings& settings, std::string_view engineName) {
  for (const auto& item : settings.engineKeys) {
    const std::size_t equals = item->find('=');
    if (equals != std::string::npos && std::string_view(*item).substr(0, equals) == engineName) {
      return item->substr(equals + 1);
    }
  }
  return {};
}

void SetEngineKey(Settings& settings, std::string_view engineName, std::string_view key) {
  for (int i = settings.engineKeys.Count() - 1; i >= 0; --i) {
    const std::string& item = *settings.engineKeys.Get(i);
    const std::size_t equals = item.find('=');
    if (equals != std::string::npos && std::string_view(item).substr(0, equals) == engineName) {
      (void)settings.engineKeys.RemoveAt(i);
    }
  }
  if (!key.empty()) settings.engineKeys.Add(std::string(engineName) + "=" + std::string(key));
}

std::string EngineKeysText(const Settings& settings) {
  std::string text;
  for (const auto& item : settings.engineKeys) text += *item + "\n";
  return text;
}

void SetEngineKeysText(Settings& settings, std::string_view text) {
  settings.engineKeys.Clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    if (line.find('=') != std::string_view::npos && line.find('\r') == std::string_view::npos) {
      settings.engineKeys.Add(line);
    }
    pos = end + 1;
  }
}

}  // namespace sondrel
