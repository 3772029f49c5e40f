// The result list at its full size: saving and opening a 16,000-entry project, sorting it by
// every column, and selecting the entries that match a find expression.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "results/project_file.h"
#include "results/row_commands.h"
#include "results/sorting.h"

namespace sondrel {
namespace {

constexpr int kEntries = 16000;

const char* const kWords[] = {"rock",    "live",  "jazz",  "blues", "remix", "acoustic", "demo",
                              "session", "night", "radio", "edit",  "mono",  "stereo",   "club"};

std::string Words(std::mt19937& random, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kWords[random() % std::size(kWords)];
  }
  return text;
}

SearchDocument MakeDocument() {
  std::mt19937 random(42);
  SearchDocument document;
  document.query = "rock live";
  for (int i = 0; i < kEntries; ++i) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = Words(random, 4) + " " + std::to_string(i);
    entry->url = "http://server" + std::to_string(random() % 300) + ".example/music/" +
                 std::to_string(i) + "/" + Words(random, 2) + ".mp3";
    entry->engine = "Engine " + std::to_string(random() % 12);
    entry->position = static_cast<std::int16_t>(random() % 1000);
    entry->preview = Words(random, 20);
    entry->status = static_cast<std::uint8_t>(1 + random() % 5);
    entry->size = static_cast<std::int32_t>(random() % 10) == 0
                      ? -1
                      : static_cast<std::int32_t>(random() % 20000000);
    document.entries.Append(std::move(entry));
  }
  return document;
}

std::string ScratchDirectory() {
  static std::string path = [] {
    std::string pattern = "/tmp/sondrel-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return path;
}

double PeakRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_WriteProject(benchmark::State& state) {
  SearchDocument document = MakeDocument();
  const std::string path = ScratchDirectory() + "/bench.sdp";
  for (auto _ : state) {
    if (!WriteDocument(path, document)) state.SkipWithError("write failed");
  }
  state.counters["peak_rss_MB"] = PeakRssMegabytes();
}
BENCHMARK(BM_WriteProject)->Unit(benchmark::kMillisecond);

void BM_ReadProject(benchmark::State& state) {
  SearchDocument document = MakeDocument();
  const std::string path = ScratchDirectory() + "/bench-read.sdp";
  if (!WriteDocument(path, document)) state.SkipWithError("write failed");
  for (auto _ : state) {
    SearchDocument read;
    if (LoadDocument(path, read) != kLoadOk || read.entries.Count() != kEntries) {
      state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(read.entries.Count());
  }
  state.counters["peak_rss_MB"] = PeakRssMegabytes();
}
BENCHMARK(BM_ReadProject)->Unit(benchmark::kMillisecond);

void BM_SortEntries(benchmark::State& state) {
  const SortKey key = static_cast<SortKey>(state.range(0));
  SearchDocument document = MakeDocument();
  std::mt19937 random(7);
  for (auto _ : state) {
    state.PauseTiming();
    // Each round starts from a fresh random order.
    for (int i = document.entries.Count() - 1; i > 0; --i) {
      document.entries.Swap(i, static_cast<int>(random() % static_cast<unsigned>(i + 1)));
    }
    state.ResumeTiming();
    SortEntries(document, key);
  }
}
BENCHMARK(BM_SortEntries)
    ->ArgName("key")
    ->DenseRange(static_cast<int>(SortKey::kName), static_cast<int>(SortKey::kStatus))
    ->Unit(benchmark::kMillisecond);

// Just enough of a list view for the selection to land somewhere.
class BenchRows : public RowView {
 public:
  explicit BenchRows(int count) : selected_(static_cast<std::size_t>(count)) {}
  int FocusedRow() const override { return focused_; }
  int FirstSelectedRow() const override {
    for (std::size_t i = 0; i < selected_.size(); ++i) {
      if (selected_[i]) return static_cast<int>(i);
    }
    return -1;
  }
  bool IsSelected(int row) const override { return selected_[static_cast<std::size_t>(row)]; }
  void SetSelected(int row, bool on) override { selected_[static_cast<std::size_t>(row)] = on; }
  void SetFocused(int row, bool on) override { focused_ = on ? row : -1; }
  void ScrollTo(int) override {}
  void FocusList() override {}
  void ShowInformation(const std::string& text) override { message_ = text; }
  void SetClipboardText(const std::string&) override {}
  bool AskEntry(std::string&, std::string&) override { return false; }
  void BeginRemoveRow(int) override {}
  void EndRemoveRow() override {}
  void BeginInsertRow(int) override {}
  void EndInsertRow() override {}
  void RowsRebuilt() override {}
  void CountChanged(int) override {}

 private:
  std::vector<bool> selected_;
  int focused_ = -1;
  std::string message_;
};

void BM_SelectMatching(benchmark::State& state) {
  SearchDocument document = MakeDocument();
  for (auto _ : state) {
    BenchRows rows(document.entries.Count());
    SelectMatching(document, rows, "rock AND live OR jazz");
    benchmark::DoNotOptimize(rows.FocusedRow());
  }
}
BENCHMARK(BM_SelectMatching)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sondrel

BENCHMARK_MAIN();
