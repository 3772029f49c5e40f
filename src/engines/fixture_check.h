#pragma once
// Engine fixtures: an engine's result pages kept as files beside the program, replayed through
// the replay mode and compared with the result list they must give. An engine author (or a
// user whose engine stopped finding anything) sees at once whether the definition still reads
// the pages it was written for, without a network.
//
// A fixture is the folder <fixtures>/<FILE> of an engine whose FILE is FILE. It holds the
// page files under the names the replay mode reads (FILE1.htm, FILE2.htm, follow-ups
// FILE1-1.htm, ...), query.txt (the query the pages answer) and expected.tsv (one result a
// line: NAME, a tab, URL, in list order).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/search_report.h"

namespace sondrel {

inline constexpr std::string_view kFixtureQueryFile = "query.txt";
inline constexpr std::string_view kFixtureExpectedFile = "expected.tsv";

enum class FixtureVerdict : std::uint8_t {
  kPassed,      // the replay gave exactly the expected list
  kFailed,      // it gave another list; differences says how
  kNoFixture,   // the engine has no fixture folder
  kUnreadable,  // the folder lacks its query, its expected list or its pages
};

struct FixtureResult {
  std::string name;
  std::string url;
  bool operator==(const FixtureResult&) const = default;
};

struct FixtureCheck {
  std::string engine;
  std::string folder;  // the fixture folder looked at
  FixtureVerdict verdict = FixtureVerdict::kNoFixture;
  std::string problem;                   // kUnreadable: what is missing
  std::vector<std::string> differences;  // kFailed: one line per differing result
  std::vector<FixtureResult> results;    // what the replay gave
  EngineReport report;                   // the replay's report of this engine
};

struct FixtureRun {
  std::string fixturesDir;  // one folder per engine, named by the engine's FILE
};

// Replays the fixture of the engine at index in list and compares the results. The other
// engines' enabled flags are kept as they were. Nothing outside a scratch folder is written.
[[nodiscard]] FixtureCheck CheckEngineFixture(EngineList& list, int index, const FixtureRun& run);

// The fixture folder of an engine; empty when its FILE is empty.
std::string FixtureFolderOf(const std::string& fixturesDir, const EngineDefinition& engine);

// Reads expected.tsv; false when the file cannot be read.
[[nodiscard]] bool ReadExpectedResults(const std::string& path, std::vector<FixtureResult>& out);

// One line per position where the lists differ; empty when they are equal.
std::vector<std::string> CompareResults(const std::vector<FixtureResult>& expected,
                                        const std::vector<FixtureResult>& got);

// Where the installed fixtures are looked for, best first: the installed share folder, then
// the source tree of a build directory made inside it.
std::vector<std::string> FixtureDirCandidates(const std::string& executableDir);

// "passed", "FAILED", "no fixture", "unreadable".
std::string_view FixtureVerdictWord(FixtureVerdict verdict);

}  // namespace sondrel
