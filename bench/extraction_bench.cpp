// Cleans, scans, accepts and appends the entries of a generated 5 MB result page read through
// the extraction step machine in 10,000-byte windows (the page comes from memory in 4096-byte
// reads, as from a socket). Target: at least 150 MB/s for 15,000 distinct results.
// Run: build/bench/extraction_bench

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/page_extraction.h"
#include "net/net_progress.h"
#include "results/search_document.h"
#include "results/settings.h"

namespace {

using namespace sondrel;

constexpr std::size_t kPageBytes = 5 * 1024 * 1024;
constexpr std::size_t kReadBlock = 4096;

// About 340 bytes per entry, so the page holds some 15,300 results: under the list's limit.
// With distinct > 0 the links repeat after that many entries, so most entries are refused as
// duplicates and only distinct of them are appended.
std::string ResultPage(int distinct) {
  std::string page =
      "<html><head><title>Results</title>\r\n<!-- generated result list -->\r\n"
      "</head><body>\r\n<h2>Results for abba</h2>\r\n<ul class=\"hits\">\r\n";
  for (int i = 0; page.size() < kPageBytes; ++i) {
    const std::string n = std::to_string(distinct > 0 ? i % distinct : i);
    page += "<li class=\"hit\">\r\n\t<a href=\"http://files" + n +
            ".music-index.local/pub/artist/album/track" + n + ".mp3\">Artist &amp; Band - Track " +
            n + "</a> <span class=size>4,213 KB</span><br>\r\n\t<font size=-1>Found on <b>server " +
            n +
            "</b> in the folder /pub/artist/album, a rip of the 1998 remaster, 192 kbit/s, "
            "joint stereo, tagged, verified by 3 users</font>\r\n</li>\r\n";
  }
  page += "</ul><a href=\"find.cgi?q=abba&amp;start=20\">Next</a></body></html>\r\n";
  return page;
}

void Setup(EngineDefinition& engine, bool anchorMode) {
  engine.name = "Bench Index";
  engine.format = anchorMode ? "__A__ e=mp3"
                             : "<a href=\"__URL__\">__TITLE__</a> <span class=size>__VAR1__</span>"
                               "<br><font size=-1>__PREVIEW__</font>";
  if (!anchorMode) engine.urlFormat = "e=mp3";
  engine.startMarker = "Results for";
  engine.more = "find.cgi?__NEXT__";
  auto pattern = std::make_unique<VarPattern>();
  pattern->pattern = "<a href=\"find.cgi?__NEXT__\">Next";
  engine.varPatterns.Append(std::move(pattern));
  engine.varsAfterEntries = 1;
}

void BM_ExtractResultPage(benchmark::State& state) {
  const bool anchorMode = state.range(0) != 0;
  const std::string page = ResultPage(static_cast<int>(state.range(1)));
  Settings settings;
  settings.maxResultsPerEngine = 16000;
  settings.maxResultsTotal = 16000;
  std::vector<char> window(kPageWindowSize + kPageWindowSlack);
  int entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    SetStopFlag(false);
    SearchDocument document;
    BeginSearch(document);
    EngineDefinition engine;
    Setup(engine, anchorMode);
    EngineRequest request{MethodGet, "http://engine.local/find.cgi", "q=abba"};
    ExtractionContext job{document, settings, {}, {}, {}, {}};
    std::size_t at = 0;
    PageReader reader = [&](char* dst, int room, int& lastRead, std::uint64_t&) {
      if (lastRead >= room) return static_cast<int>(kReadFull);
      if (at >= page.size()) return static_cast<int>(kReadComplete);
      const std::size_t n =
          std::min({kReadBlock, static_cast<std::size_t>(room - lastRead), page.size() - at});
      std::memcpy(dst + lastRead, page.data() + at, n);
      lastRead += static_cast<int>(n);
      at += n;
      return static_cast<int>(lastRead == room ? kReadFull : kReadPending);
    };
    PageExtraction extraction;
    state.ResumeTiming();

    BeginPage(extraction, reader, window, kPageWindowSize, engine, request, job);
    while (StepPageExtraction(extraction) == kReadPending) {
    }

    state.PauseTiming();
    entries = document.entries.Count();
    const bool nextFound = extraction.nextPage;
    document.entries.Clear();  // releasing the copies is not extraction work
    state.ResumeTiming();
    if (!nextFound) {
      state.SkipWithError("the next page was not found");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  state.counters["entries"] = entries;
}

// anchorMode 0: entry template with URL rules; 1: anchor mode. distinct 0: every entry is
// appended; 100: the links repeat, so entries are accepted or refused but few are appended.
BENCHMARK(BM_ExtractResultPage)
    ->ArgsProduct({{0, 1}, {0, 100}})
    ->ArgNames({"anchorMode", "distinct"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
