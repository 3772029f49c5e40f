#include "results/settings.h"

#include "results/record_fields.h"
#include "results/results_texts.h"
#include "results/safe_save.h"
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
  if (!ReadU8To(file, s.removeInvalidAfterVerify)) return false;
  // Fields from here on are missing from older files, which end before them.
  return ReadCutString(file, s.caFile, kMaxProgramPath);
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
  WriteCutString(file, s.caFile, kMaxProgramPath);
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
}

bool ReadSettings(const std::string& path, Settings& settings) {
  std::unique_ptr<RecordFile> file = RecordFile::Open(path, false);
  if (!file || !file->CheckMagic(texts::kSettingsMagic)) return false;
  (void)ReadFields(*file, settings);
  return true;
}

bool WriteSettings(const std::string& path, const Settings& settings) {
  return WriteRecordFileSafely(path,
                               [&settings](RecordFile& file) { WriteFields(file, settings); });
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

bool EngineChoice::Enabled(std::string_view engineName) const {
  return !fromFile || names.IndexOf(engineName, true) >= 0;
}

EngineChoice ReadEngineChoice(std::string_view home) {
  Settings settings;
  SettingsDefaults(settings, home);
  EngineChoice choice;
  choice.fromFile = ReadSettings(SettingsPath(home), settings);
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
