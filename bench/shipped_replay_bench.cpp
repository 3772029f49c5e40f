// A search of the shipped engines replayed from their fixtures: the definitions of
// data/engines compiled as the build does, every fixture page copied into a scratch program
// home, then the replay search of all engines at once, run on a thread of its own as the
// search thread. Prints the wall time and that thread's CPU time per search.
//
//   build/bench/shipped_replay_bench [RUNS] [SOURCE-DIR]    (SOURCE-DIR default: .)
//
// Exits 1 when a run does not give the results the fixtures expect (their count), so a
// timing of a search that found nothing is never reported.

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine_database.h"
#include "engines/fixture_check.h"
#include "engines/search_driver.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/paths.h"

using namespace sondrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

bool CompileShipped(const fs::path& source, const fs::path& home, EngineList& list) {
  std::vector<fs::path> texts;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(source / "data/engines", error)) {
    if (item.path().extension() == ".def") texts.push_back(item.path());
  }
  if (error || texts.empty()) return false;
  std::sort(texts.begin(), texts.end());
  std::string all;
  for (const fs::path& text : texts) {
    std::string part;
    if (!FileReadAll(text.string(), part)) return false;
    all += part + "\n";
  }
  const std::string textPath = (home / "engines.def").string();
  const std::string dbPath = (home / "engines.db").string();
  if (FileWriteAll(textPath, all) != static_cast<long>(all.size())) return false;
  if (CompileDefinitions(textPath, dbPath, 0) != CompileOk) return false;
  LoadedDatabase info;
  return LoadDatabase(dbPath, list, info) && list.Count() > 0;
}

// Copies every fixture page into <home>/search; the number of results the fixtures expect.
int CopyFixtures(const fs::path& source, const fs::path& home, const EngineList& list) {
  const fs::path fixtures = source / "data/engines/fixtures";
  std::error_code error;
  fs::create_directories(home / "search", error);
  int expected = 0;
  for (const auto& engine : list) {
    const fs::path folder = FixtureFolderOf(fixtures.string(), *engine);
    std::vector<FixtureResult> results;
    if (!ReadExpectedResults((folder / kFixtureExpectedFile).string(), results)) return -1;
    expected += static_cast<int>(results.size());
    for (const auto& item : fs::directory_iterator(folder, error)) {
      if (item.path().extension() != ".htm") continue;
      fs::copy_file(item.path(), home / "search" / item.path().filename(),
                    fs::copy_options::overwrite_existing, error);
      if (error) return -1;
    }
    if (error) return -1;
  }
  return expected;
}

struct Run {
  double wallMs = 0;
  double cpuMs = 0;
  int results = 0;
};

Run ReplayOnce(EngineList& list, const std::string& home) {
  SearchDocument document;
  SetSearchChoices(document, "jazz", kRemoveDuplicateUrls, kFilterNone, false);
  Settings settings;
  SettingsDefaults(settings, home);
  LoadedDatabase database;
  SearchSession session(document, list, settings, database);
  session.home = home;
  session.mode = kSearchReplay;
  session.updateCheck = false;
  Run run;
  if (!PrepareSearch(session)) return run;
  std::thread search([&] {
    const double cpu0 = ThreadCpuMs();
    const auto t0 = Clock::now();
    RunTestSearch(session);
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    run.cpuMs = ThreadCpuMs() - cpu0;
  });
  search.join();
  run.results = document.entries.Count();
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const fs::path source = argc > 2 ? fs::path(argv[2]) : fs::current_path();
  char pattern[] = "/tmp/sondrel-replay-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const fs::path home(pattern);

  EngineList list;
  int status = 1;
  if (!CompileShipped(source, home, list)) {
    std::fprintf(stderr, "cannot compile %s/data/engines/*.def\n", source.c_str());
  } else if (const int expected = CopyFixtures(source, home, list); expected < 0) {
    std::fprintf(stderr, "a fixture lacks its expected list or a page cannot be copied\n");
  } else {
    SetAllEnabled(list, true);
    std::vector<double> wall;
    std::vector<double> cpu;
    status = 0;
    for (int i = 0; i < runs && status == 0; ++i) {
      const Run run = ReplayOnce(list, home.string());
      if (run.results != expected) {
        std::fprintf(stderr, "run %d gave %d results, the fixtures expect %d\n", i + 1, run.results,
                     expected);
        status = 1;
      }
      wall.push_back(run.wallMs);
      cpu.push_back(run.cpuMs);
    }
    if (status == 0) {
      std::printf("%d engines, %d results, %d runs\n", list.Count(), expected, runs);
      std::printf("wall time:          best %.2f ms, median %.2f ms\n",
                  *std::min_element(wall.begin(), wall.end()), Median(wall));
      std::printf("search-thread CPU:  best %.2f ms, median %.2f ms\n",
                  *std::min_element(cpu.begin(), cpu.end()), Median(cpu));
    }
  }
  std::error_code error;
  fs::remove_all(home, error);
  return status;
}
