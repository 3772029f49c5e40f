// Compiles a generated 1,000-engine definition text and loads the database back, timing both.
// Start-up loads the database before the main window appears, so loading has a budget of 50 ms.
// Run: build/bench/engine_database_bench [engines]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/engine_database.h"
#include "support/paths.h"

using namespace sondrel;

namespace {

constexpr int kDefaultEngines = 1000;
constexpr int kRuns = 15;
constexpr double kLoadBudgetMs = 50.0;

std::string GeneratedText(int engines) {
  std::string text = "; generated for the benchmark\n";
  for (int i = 0; i < engines; ++i) {
    std::string n = std::to_string(i);
    text += "[Engine " + n + "]\n";
    text += "URL=http://engine" + n + ".music-index.local/\n";
    text += "FILE=eng" + n + "\n";
    text += "ACTION=http://engine" + n + ".music-index.local/find.cgi?q=__QUERY__&max=__HITS__&lang=en\n";
    text += "MORE=find.cgi?__NEXT__&from=__FROM__\n";
    text += "VA=<a href=\"find.cgi?__NEXT__\">Next\n";
    text += "VA=<input type=hidden name=from value=\"__FROM__\">\n";
    text += "VAESCAPE=1\n";
    text += "FORMAT=<li class=\"hit\"><a href=\"__URL__\">__TITLE__</a><span>__PREVIEW__</span></li>\n";
    text += "FORMATURL=e=mp3 e=ogg e=flac ns=ftp euf=to fext=mp3\n";
    text += "OPERATORS=AND OR NOT ( )\n";
    text += "CLOSENESS=NEAR WITHIN\n";
    text += "VALAST=1\n";
    text += "SF1=Results for\n";
    text += "SF2=</ul>\n";
    text += "CAT=mp3;ogg;web\n\n";
  }
  return text;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Timing {
  double best;
  double median;
};

template <class Step>
Timing Measure(Step step) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    step();
    times.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
  int engines = kDefaultEngines;
  if (argc > 1) {
    std::string_view word = argv[1];
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), engines);
    if (error != std::errc() || end != word.data() + word.size() || engines < 1) {
      std::fprintf(stderr, "usage: engine_database_bench [ENGINES]\n");
      return 2;
    }
  }
  std::string dir = (std::filesystem::temp_directory_path() /
                     ("sondrel-bench-" + std::to_string(::getpid()))).string();
  if (!MakeDirectories(dir)) {
    std::fprintf(stderr, "cannot create %s\n", dir.c_str());
    return 1;
  }
  std::string textPath = dir + "/engines.def";
  std::string dbPath = dir + "/engines.db";
  std::string text = GeneratedText(engines);
  if (FileWriteAll(textPath, text) != static_cast<long>(text.size())) {
    std::fprintf(stderr, "cannot write %s\n", textPath.c_str());
    return 1;
  }

  bool ok = true;
  Timing compile = Measure([&] { ok = ok && CompileDefinitions(textPath, dbPath, 0) == CompileOk; });
  int loaded = 0;
  Timing load = Measure([&] {
    EngineList list;
    LoadedDatabase info;
    ok = ok && LoadDatabase(dbPath, list, info);
    loaded = list.Count();
  });

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("engines: %d (definition text %zu bytes, database %ld bytes)\n", engines, text.size(),
              FileLengthOf(dbPath));
  std::printf("compile: best %.2f ms, median %.2f ms\n", compile.best, compile.median);
  std::printf("load:    best %.2f ms, median %.2f ms (budget %.0f ms)\n", load.best, load.median,
              kLoadBudgetMs);
  std::printf("peak memory (ru_maxrss): %ld KiB\n", usage.ru_maxrss);
  std::filesystem::remove_all(dir);

  if (!ok || loaded != engines) {
    std::fprintf(stderr, "compile or load failed (%d of %d engines loaded)\n", loaded, engines);
    return 1;
  }
  if (load.median > kLoadBudgetMs) {
    std::fprintf(stderr, "load is over its budget\n");
    return 1;
  }
  return 0;
}
