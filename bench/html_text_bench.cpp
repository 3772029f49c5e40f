// Walks a generated 5 MB page of typical result markup with the HTML tokenizer, looking up the
// href of every tag as anchor-mode extraction does. Target: at least 200 MB/s.
// Run: build/bench/html_text_bench

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "net/html_text.h"

namespace {

constexpr std::size_t kPageBytes = 5 * 1024 * 1024;

std::string ResultPage() {
  std::string page =
      "<html><head><title>Results</title>\n<!-- generated result list -->\n"
      "<style>td{font:10pt sans-serif}</style></head><body>\n<ul class=\"hits\">\n";
  for (int i = 0; page.size() < kPageBytes; ++i) {
    std::string n = std::to_string(i);
    page += "<li class=\"hit\"><a href=\"http://files" + n + ".music-index.local/pub/artist/" +
            "album/track" + n + ".mp3\" title='Track " + n + "'>Artist - Track " + n +
            "</a> <span class=size>4,213 KB</span><br>\n<font size=-1>Found on <b>server " + n +
            "</b> &nbsp;&middot; <a href=/go.cgi?url=http%3A%2F%2Fx%2F" + n +
            ".mp3&amp;id=" + n + ">mirror</a></font></li>\n";
    if (i % 25 == 0) page += "<!-- page break <!-- nested --> -->\n";
  }
  page += "</ul></body></html>\n";
  return page;
}

void BM_WalkResultPage(benchmark::State& state) {
  const std::string page = ResultPage();
  std::size_t tokens = 0;
  for (auto _ : state) {
    std::size_t cursor = 0;
    std::string_view out;
    std::string_view href;
    for (int kind; (kind = sondrel::NextHtmlToken(page, cursor, out, 5000)) != sondrel::HtmlEnd;) {
      ++tokens;
      if (kind == sondrel::HtmlTag && (out.starts_with("a ") || out.starts_with("A "))) {
        benchmark::DoNotOptimize(sondrel::FindTagAttribute(href, 1023, "href", out, true));
      }
    }
    benchmark::DoNotOptimize(href);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  state.counters["tokens"] = static_cast<double>(tokens) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WalkResultPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
