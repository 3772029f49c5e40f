#include "results/project_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "results/record_fields.h"
#include "results/results_texts.h"
#include "results/safe_save.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/record_file.h"
#include "support/text.h"

namespace sondrel {
namespace {

void WriteEntry(RecordFile& file, const ResultEntry& entry) {
  WriteCutString(file, entry.name, kMaxEntryName);
  WriteCutString(file, entry.url, kMaxEntryUrl);
  WriteCutString(file, entry.engine, kMaxEntryEngine);
  WriteStamp(file, entry.foundAt);
  WriteCutString(file, entry.var1, kMaxEntryVar1);
  file.WriteU16(static_cast<std::uint16_t>(entry.position));
  WriteCutString(file, entry.preview, kMaxEntryPreview);
  file.WriteU8(entry.status);
  file.WriteU32(static_cast<std::uint32_t>(entry.size));
  WriteCutString(file, entry.spare, kMaxEntrySpare);
}

// Null when the entry is incomplete. The URL keeps its own limit: cutting it would leave an
// address that leads nowhere.
std::unique_ptr<ResultEntry> ReadEntry(RecordFile& file) {
  auto entry = std::make_unique<ResultEntry>();
  std::uint32_t size = 0;
  if (!ReadCutString(file, entry->name, kMaxEntryName) ||
      !ReadCutString(file, entry->url, kMaxEntryUrl) ||
      !ReadCutString(file, entry->engine, kMaxEntryEngine) || !ReadStamp(file, entry->foundAt) ||
      !ReadCutString(file, entry->var1, kMaxEntryVar1) || !ReadS16To(file, entry->position) ||
      !ReadCutString(file, entry->preview, kMaxEntryPreview) || !ReadU8To(file, entry->status) ||
      file.ReadU32(size) != 4 || !ReadCutString(file, entry->spare, kMaxEntrySpare)) {
    return nullptr;
  }
  entry->size = static_cast<std::int32_t>(size);
  // A file from elsewhere is as untrusted as a page.
  if (HasControlBytes(entry->url)) entry->url = SafeEntryUrl(entry->url);
  return entry;
}

void WriteFields(RecordFile& file, const SearchDocument& d) {
  file.WriteMagic(texts::kProjectMagic);
  file.WriteU16(static_cast<std::uint16_t>(d.currentIndex));
  WriteList(file, d.entries, WriteEntry);
  WriteCutString(file, d.query, kMaxQuery);
  file.WriteU8(d.duplicates);
  file.WriteU8(d.filter);
  file.WriteU8(d.matchMode);  // before merge
  file.WriteU8(d.merge);
  WriteCutString(file, d.includePatterns, kMaxPatterns);
  WriteCutString(file, d.excludePatterns, kMaxPatterns);
  for (const std::string* var : {&d.var1, &d.var2, &d.var3, &d.var4}) {
    WriteCutString(file, *var, kMaxSearchVar);
  }
  file.WriteU16(static_cast<std::uint16_t>(d.daysBack));
  file.WriteU16(d.reserved);
}

bool ReadFields(RecordFile& file, SearchDocument& d) {
  if (!ReadS16To(file, d.currentIndex)) return false;
  std::uint16_t count = 0;
  if (file.ReadU16(count) != 2) return false;
  // Room for the stored entries at once: growing by the array's small step would move the
  // whole array thousands of times for a large project.
  d.entries = PtrArray<ResultEntry>(std::max<int>(count + 1, kEntriesCapacity), kEntriesGrowBy);
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<ResultEntry> entry = ReadEntry(file);
    if (!entry) return false;
    // Past the array's limit an entry is read and dropped, so the fields after stay in step.
    (void)d.entries.Insert(i, std::move(entry));
  }
  if (!ReadCutString(file, d.query, kMaxQuery)) return false;
  if (!ReadU8To(file, d.duplicates) || !ReadU8To(file, d.filter) || !ReadU8To(file, d.matchMode) ||
      !ReadU8To(file, d.merge)) {
    return false;
  }
  if (!ReadCutString(file, d.includePatterns, kMaxPatterns) ||
      !ReadCutString(file, d.excludePatterns, kMaxPatterns)) {
    return false;
  }
  for (std::string* var : {&d.var1, &d.var2, &d.var3, &d.var4}) {
    if (!ReadCutString(file, *var, kMaxSearchVar)) return false;
  }
  if (!ReadS16To(file, d.daysBack)) return false;
  std::uint16_t reserved = 0;
  if (file.ReadU16(reserved) != 2) return false;
  d.reserved = reserved;
  return true;
}

std::string HomeFile(std::string_view home, std::string_view name) {
  std::string path(home);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

bool WriteDocument(const std::string& path, SearchDocument& document) {
  const bool written =
      WriteRecordFileSafely(path, [&document](RecordFile& file) { WriteFields(file, document); });
  if (written) document.modified = false;
  return written;
}

ProjectChange ChangeProjectFile(const std::string& path,
                                const std::function<bool(SearchDocument&)>& change) {
  std::optional<FileLock> lock = FileLock::Acquire(path);
  if (!lock) return ProjectChange::kNotWritten;
  SearchDocument document;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    const int loaded = LoadDocument(path, document);
    if (loaded == kLoadDamaged) return ProjectChange::kDamaged;
    if (loaded != kLoadOk) return ProjectChange::kNotProject;
  }
  if (!change(document)) return ProjectChange::kRefused;
  return WriteDocument(path, document) ? ProjectChange::kSaved : ProjectChange::kNotWritten;
}

int LoadDocument(const std::string& path, SearchDocument& document) {
  document = SearchDocument{};
  std::unique_ptr<RecordFile> file = RecordFile::Open(path, false);
  if (!file || !file->CheckMagic(texts::kProjectMagic)) return kLoadNotProject;
  return ReadFields(*file, document) ? kLoadOk : kLoadDamaged;
}

void RememberProject(Settings& settings, std::string_view path) {
  settings.lastProject = StrCopyN(path, kMaxLastProject + 1);
  settings.recentProjects.Add(path);
}

std::string ProjectPathFromQuery(std::string_view query, std::string_view home) {
  std::string name;
  for (char c : query) {
    if (name.size() >= kMaxProjectName) break;
    // '/' and NUL as well: a query must never name a file outside the home.
    if (c == '"' || c == '<' || c == '>' || c == '*' || c == '?' || c == '/' || c == '\0') {
      continue;
    }
    name.push_back(c);
  }
  if (name.empty() || name.back() != '.') name.push_back('.');
  name.append(texts::kProjectExtension);
  return HomeFile(home, name);
}

std::vector<ReopenItem> BuildReopenMenu(const Settings& settings, std::string_view currentPath) {
  std::vector<ReopenItem> items;
  const RecentList& recent = settings.recentProjects;
  for (int i = 0; i < recent.Count() && static_cast<int>(items.size()) < kMaxReopenItems; ++i) {
    const std::string& path = *recent.Get(i);
    if (i == 0 && EqualsNoCase(path, currentPath)) continue;
    ReopenItem item;
    item.caption = "&" + std::to_string(items.size()) + " " + path;
    item.path = item.caption.substr(3);
    items.push_back(std::move(item));
  }
  return items;
}

std::string UpdateCaption(std::string_view currentPath) {
  std::string caption(texts::kProgramName);
  if (currentPath.empty()) {
    caption.append(" ").append(texts::kCaptionNoFile);
  } else {
    caption.append(" - ").append(PathFileName(currentPath));
  }
  return caption;
}

}  // namespace sondrel
