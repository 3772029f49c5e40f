#include "engines/fixture_check.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "engines/engine_database.h"
#include "engines/engine_selection.h"
#include "engines/engine_texts.h"
#include "engines/search_driver.h"
#include "engines/search_texts.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kScratchTemplate = "sondrel-fixture-XXXXXX";
constexpr std::string_view kFixtureDirName = "fixtures";
// Relative to the executable of a build directory made at the top of the source tree.
constexpr std::string_view kSourceFixtureDir = "../data/engines/fixtures";

// A program home of its own for one replay, removed with everything in it.
class ScratchHome {
 public:
  ScratchHome() {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / kScratchTemplate).string();
    if (error) pattern = "/tmp/" + std::string(kScratchTemplate);
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchHome() {
    if (path_.empty()) return;
    std::error_code error;
    fs::remove_all(path_, error);
  }
  ScratchHome(const ScratchHome&) = delete;
  ScratchHome& operator=(const ScratchHome&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string FirstLine(std::string_view text) {
  const std::size_t end = text.find('\n');
  return Trimmed(text.substr(0, end));
}

// The page files of the fixture (FILE followed by a page number, .htm) into <home>/search.
// The number of files copied; -1 when one could not be copied.
int CopyPages(const std::string& folder, const EngineDefinition& engine, const std::string& home) {
  const fs::path target = fs::path(home) / kTestPageFolder;
  if (!MakeDirectories(target.string())) return -1;
  std::error_code error;
  int copied = 0;
  for (const fs::directory_entry& item : fs::directory_iterator(folder, error)) {
    const std::string name = item.path().filename().string();
    std::error_code kind;
    if (!item.is_regular_file(kind) || !name.starts_with(engine.fileStem) ||
        !name.ends_with(kTestPageExtension)) {
      continue;
    }
    std::string page;
    if (!FileReadAll(item.path().string(), page)) return -1;
    if (FileWriteAll((target / name).string(), page) != static_cast<long>(page.size())) return -1;
    ++copied;
  }
  return error ? -1 : copied;
}

std::string Describe(const FixtureResult& result) {
  return result.name + '\t' + result.url;
}

// Runs the replay of the engine at index in home; the document receives the results.
void Replay(EngineList& list, int index, const std::string& home, SearchDocument& document,
            FixtureCheck& check) {
  Settings settings;
  SettingsDefaults(settings, home);
  LoadedDatabase database;
  EngineSelection only(list, {index});
  SearchSession session(document, list, settings, database);
  session.home = home;
  session.mode = kSearchReplay;
  session.updateCheck = false;
  if (!PrepareSearch(session)) {
    check.verdict = FixtureVerdict::kUnreadable;
    check.problem = std::string(kFixtureQueryFile) + " holds no query";
    return;
  }
  RunTestSearch(session);
  if (!session.report.engines.empty()) check.report = session.report.engines.front();
}

}  // namespace

std::string FixtureFolderOf(const std::string& fixturesDir, const EngineDefinition& engine) {
  if (engine.fileStem.empty()) return {};
  return (fs::path(fixturesDir) / engine.fileStem).string();
}

bool ReadExpectedResults(const std::string& path, std::vector<FixtureResult>& out) {
  out.clear();
  std::string text;
  if (!FileReadAll(path, text)) return false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      out.push_back({std::string(), std::string(line)});
    } else {
      out.push_back({std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))});
    }
  }
  return true;
}

std::vector<std::string> CompareResults(const std::vector<FixtureResult>& expected,
                                        const std::vector<FixtureResult>& got) {
  std::vector<std::string> lines;
  const std::size_t count = std::max(expected.size(), got.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string number = "result " + std::to_string(i + 1) + ": ";
    if (i >= got.size()) {
      lines.push_back(number + "missing " + Describe(expected[i]));
    } else if (i >= expected.size()) {
      lines.push_back(number + "not expected " + Describe(got[i]));
    } else if (!(expected[i] == got[i])) {
      lines.push_back(number + "expected " + Describe(expected[i]) + ", got " + Describe(got[i]));
    }
  }
  return lines;
}

FixtureCheck CheckEngineFixture(EngineList& list, int index, const FixtureRun& run) {
  const EngineDefinition& engine = *list.Get(index);
  FixtureCheck check;
  check.engine = engine.name;
  check.folder = FixtureFolderOf(run.fixturesDir, engine);
  std::error_code error;
  if (check.folder.empty() || !fs::is_directory(check.folder, error)) return check;

  const auto unreadable = [&check](std::string problem) {
    check.verdict = FixtureVerdict::kUnreadable;
    check.problem = std::move(problem);
    return check;
  };
  std::string queryText;
  if (!FileReadAll((fs::path(check.folder) / kFixtureQueryFile).string(), queryText)) {
    return unreadable("no " + std::string(kFixtureQueryFile));
  }
  std::vector<FixtureResult> expected;
  if (!ReadExpectedResults((fs::path(check.folder) / kFixtureExpectedFile).string(), expected)) {
    return unreadable("no " + std::string(kFixtureExpectedFile));
  }
  ScratchHome home;
  if (home.path().empty()) return unreadable("cannot make a scratch folder");
  const int pages = CopyPages(check.folder, engine, home.path());
  if (pages < 0) return unreadable("cannot copy the page files");
  if (pages == 0) return unreadable("no page files " + engine.fileStem + "1.htm ...");

  SearchDocument document;
  SetSearchChoices(document, FirstLine(queryText), kRemoveDuplicateUrls, kFilterNone, false);
  Replay(list, index, home.path(), document, check);
  if (check.verdict == FixtureVerdict::kUnreadable) return check;
  for (const auto& entry : document.entries) check.results.push_back({entry->name, entry->url});
  check.differences = CompareResults(expected, check.results);
  check.verdict = check.differences.empty() ? FixtureVerdict::kPassed : FixtureVerdict::kFailed;
  return check;
}

std::vector<std::string> FixtureDirCandidates(const std::string& executableDir) {
  if (executableDir.empty()) return {};
  const fs::path dir(executableDir);
  return {(dir / kInstalledDatabaseDir / kFixtureDirName).lexically_normal().string(),
          (dir / kSourceFixtureDir).lexically_normal().string()};
}

std::string_view FixtureVerdictWord(FixtureVerdict verdict) {
  switch (verdict) {
    case FixtureVerdict::kPassed:
      return "passed";
    case FixtureVerdict::kFailed:
      return "FAILED";
    case FixtureVerdict::kNoFixture:
      return "no fixture";
    case FixtureVerdict::kUnreadable:
      return "unreadable";
  }
  return "unreadable";
}

}  // namespace sondrel
