// Resolves relative result links against a page address, as the extraction does for every
// link it lifts out of a page. Target: at least 1 million per second.
// Run: build/bench/url_bench

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/url.h"

namespace {

void BM_ResolveRelativeLink(benchmark::State& state) {
  const std::string base = "http://music-index.local/search/find.cgi?q=rock+roll&max=10&page=2";
  const std::vector<std::string> links = {
      "../pub/artist/album/track12.mp3",
      "/go.cgi?url=http%3A%2F%2Fx%2Fa.mp3&amp;id=3",
      "files/Artist%20-%20Song.mp3",
      "http://files.music-index.local/pub/a.mp3",
      "?q=rock+roll&page=3",
  };
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sondrel::ResolveUrl(links[i], base));
    i = (i + 1) % links.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ResolveRelativeLink);

}  // namespace

BENCHMARK_MAIN();
