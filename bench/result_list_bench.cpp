// The result list at the search's limit of 16,000 entries, shown on the offscreen platform:
// refilling the rows, rows handed over one by one from a worker thread as a search does,
// sorting, and the resident memory of the shown list.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QScrollBar>

#include "results/row_commands.h"
#include "shell/qt_dispatcher.h"
#include "shell/result_list.h"

namespace {

using namespace sondrel;

constexpr int kEntries = 16000;

// Texts of the lengths a search yields: a title, an address, an engine, a description.
std::unique_ptr<ResultEntry> MakeEntry(std::mt19937& random, int i) {
  static const char* const kWords[] = {"love", "night", "rock", "blue", "summer", "live",
                                       "dance", "remix", "song", "river", "gold", "radio"};
  std::uniform_int_distribution<int> word(0, 11);
  auto entry = std::make_unique<ResultEntry>(NewEntry());
  for (int w = 0; w < 5; ++w) entry->name.append(kWords[word(random)]).append(" ");
  entry->name.append(std::to_string(i));
  entry->url = "http://music" + std::to_string(i % 97) + ".example.org/files/" +
               std::to_string(random()) + "/" + kWords[word(random)] + "_" + std::to_string(i) +
               ".mp3";
  entry->engine = "Engine" + std::to_string(i % 25);
  entry->position = static_cast<std::int16_t>(i % 500);
  entry->size = static_cast<std::int32_t>(random() % 10'000'000) - 1;
  for (int w = 0; w < 20; ++w) entry->preview.append(kWords[word(random)]).append(" ");
  return entry;
}

void Fill(SearchDocument& document, int count) {
  std::mt19937 random(7);
  document.entries.Clear();
  for (int i = 0; i < count; ++i) (void)document.entries.Append(MakeEntry(random, i));
}

// Layout happens in the event loop after a change; the paint is forced so that it is counted.
void Settle(QWidget* shown = nullptr) {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  if (shown != nullptr) shown->repaint();
}

// The view laid its rows out: something to scroll to.
bool LaidOut(const ResultList& list) {
  const QAbstractItemView* view = list.CurrentView();
  return view->verticalScrollBar()->maximum() > 0 || view->horizontalScrollBar()->maximum() > 0;
}

struct ShownList {
  explicit ShownList(ViewStyle style) {
    list.SetViewStyle(style);
    list.resize(900, 600);
    list.show();
    Settle();
  }
  SearchDocument document;
  ResultList list;
};

void BM_RefillResultList(benchmark::State& state) {
  ShownList shown(static_cast<ViewStyle>(state.range(0)));
  Fill(shown.document, kEntries);
  shown.list.SetDocument(&shown.document);
  Settle();
  for (auto _ : state) {
    shown.list.RefillResultList();
    Settle(&shown.list);
  }
  if (shown.list.Model().rowCount() != kEntries || !LaidOut(shown.list)) {
    state.SkipWithError("rows not shown");
  }
}
BENCHMARK(BM_RefillResultList)
    ->Arg(kViewDetails)
    ->Arg(kViewLargeIcons)
    ->Arg(kViewList)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A search: the worker appends each entry and hands its row over with RunInGuiThread while the
// main thread runs its event loop (and repaints). range(0) = 0 makes the same AddRow calls on
// the main thread for comparison: the difference is the hand-off.
void BM_AddRowsDuringSearch(benchmark::State& state) {
  const bool fromWorker = state.range(0) != 0;
  ShownList shown(kViewDetails);
  shown.list.SetDocument(&shown.document);
  auto dispatcher = QtDispatcher::Create();
  InstallDispatcher(dispatcher);
  std::mt19937 random(11);
  for (auto _ : state) {
    state.PauseTiming();
    shown.document.entries.Clear();
    shown.list.RefillResultList();
    std::vector<std::unique_ptr<ResultEntry>> pending;
    pending.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) pending.push_back(MakeEntry(random, i));
    Settle();
    state.ResumeTiming();
    if (fromWorker) {
      QEventLoop loop;
      std::thread worker([&] {
        for (auto& entry : pending) {
          const int index = shown.document.entries.Append(std::move(entry));
          (void)RunInGuiThread([&] { shown.list.AddRow(index); });
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
      });
      loop.exec();
      worker.join();
      shown.list.FlushPendingRows();  // the last batch
      Settle(&shown.list);
    } else {
      for (auto& entry : pending) {
        const int index = shown.document.entries.Append(std::move(entry));
        shown.list.AddRow(index);
      }
      shown.list.FlushPendingRows();
      Settle(&shown.list);
    }
  }
  RemoveDispatcher();
  if (shown.list.Model().rowCount() != kEntries || !LaidOut(shown.list)) {
    state.SkipWithError("rows not shown");
  }
}
BENCHMARK(BM_AddRowsDuringSearch)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// A header click: the core sorts the entries, the list shows them anew. Each run starts from a
// shuffled list, since the shell sort is quick on sorted input.
void BM_SortRows(benchmark::State& state) {
  const auto key = static_cast<SortKey>(state.range(0));
  ShownList shown(kViewDetails);
  Fill(shown.document, kEntries);
  shown.list.SetDocument(&shown.document);
  std::mt19937 random(3);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = kEntries - 1; i > 0; --i) {
      shown.document.entries.Swap(i, static_cast<int>(random() % static_cast<unsigned>(i + 1)));
    }
    shown.list.RefillResultList();
    Settle();
    state.ResumeTiming();
    (void)SortRows(shown.document, shown.list, key, false);
    Settle(&shown.list);
  }
}
BENCHMARK(BM_SortRows)
    ->Arg(static_cast<int>(SortKey::kName))
    ->Arg(static_cast<int>(SortKey::kSize))
    ->Arg(static_cast<int>(SortKey::kEngine))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// Select All, Invert Selection, Copy and Delete over the whole list: the core drives them one
// row at a time through RowView. range(0) is the number of rows.
void BM_SelectionCommands(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  ShownList shown(kViewDetails);
  shown.list.SetDocument(&shown.document);
  for (auto _ : state) {
    state.PauseTiming();
    Fill(shown.document, rows);
    shown.list.RefillResultList();
    Settle();
    state.ResumeTiming();
    SelectAll(shown.document, shown.list);
    InvertSelection(shown.document, shown.list);
    InvertSelection(shown.document, shown.list);
    CopyEntries(shown.document, shown.list);
    DeleteEntries(shown.document, shown.list);
    Settle();
  }
  if (shown.list.Model().rowCount() != 0) state.SkipWithError("rows left");
}
BENCHMARK(BM_SelectionCommands)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(kEntries)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// VmRSS and VmHWM of this process in kB.
std::pair<long, long> Memory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  long rss = -1;
  long hwm = -1;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
    if (line.rfind("VmHWM:", 0) == 0) hwm = std::stol(line.substr(6));
  }
  return {rss, hwm};
}

// Before any benchmark: what a shown list of 16,000 entries adds to the running application.
void ReportMemory() {
  const long baseRss = Memory().first;
  {
    ShownList shown(kViewDetails);
    Fill(shown.document, kEntries);
    shown.list.SetDocument(&shown.document);
    shown.list.SetSelected(0, true);
    Settle(&shown.list);
    const auto [rss, hwm] = Memory();
    std::printf("memory: application %ld kB; shown list of %d entries: VmRSS %ld kB, "
                "VmHWM %ld kB\n",
                baseRss, kEntries, rss, hwm);
    shown.list.SetViewStyle(kViewLargeIcons);
    Settle(&shown.list);
    const auto [iconRss, iconHwm] = Memory();
    std::printf("memory: the same list as large icons: VmRSS %ld kB, VmHWM %ld kB\n", iconRss,
                iconHwm);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ReportMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
