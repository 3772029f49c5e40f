// Costs of the support containers and record files at the 16380-item limit, the largest
// list the program can hold (result list, block lists, history).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/ptr_array.h"
#include "support/record_file.h"
#include "support/string_list.h"
#include "support/text.h"
#include "support/wildcard.h"

namespace {

using sondrel::PtrArray;

std::vector<std::string> RandomNames(int n) {
  std::mt19937 rng(42);
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) {
    std::string name;
    const int length = 8 + static_cast<int>(rng() % 40);
    for (int c = 0; c < length; ++c) name.push_back(static_cast<char>('a' + rng() % 26));
    names.push_back(name + (rng() % 2 ? ".mp3" : ".ogg"));
  }
  return names;
}

void BM_ShellSortNames(benchmark::State& state) {
  const auto names = RandomNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    PtrArray<std::string> array(16380, 1000);
    for (const auto& name : names) array.Append(std::make_unique<std::string>(name));
    state.ResumeTiming();
    sondrel::ShellSortPtrArray(array, [](const std::string& a, const std::string& b) {
      return sondrel::StrCompareNoCase(a, b);
    });
    benchmark::DoNotOptimize(array.Get(0));
  }
}
BENCHMARK(BM_ShellSortNames)->Arg(1000)->Arg(4000)->Arg(16380)->Unit(benchmark::kMillisecond);

void BM_SortedListInsert(benchmark::State& state) {
  const auto names = RandomNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    sondrel::SortedList<std::string, std::string> list(
        false,
        [](const std::string& a, const std::string& b) { return sondrel::StrCompareNoCase(a, b); },
        [](const std::string& s) { return s; }, 10, 5);
    for (const auto& name : names) list.Insert(std::make_unique<std::string>(name));
    benchmark::DoNotOptimize(list.Items().Count());
  }
}
BENCHMARK(BM_SortedListInsert)->Arg(16380)->Unit(benchmark::kMillisecond);

void BM_StringListFileRoundTrip(benchmark::State& state) {
  const auto names = RandomNames(16380);
  char path[] = "/tmp/sondrel_support_bench.XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  close(fd);
  sondrel::StringList list(16380, 5);
  for (const auto& name : names) list.Add(name);
  for (auto _ : state) {
    auto out = sondrel::RecordFile::Open(path, true);
    list.Write(*out);
    if (!out->Close()) state.SkipWithError("write failed");
    auto in = sondrel::RecordFile::Open(path, false);
    sondrel::StringList back;
    benchmark::DoNotOptimize(back.Read(*in));
  }
  unlink(path);
}
BENCHMARK(BM_StringListFileRoundTrip)->Unit(benchmark::kMillisecond);

void BM_WildMatchAny(benchmark::State& state) {
  const auto names = RandomNames(16380);
  for (auto _ : state) {
    int hits = 0;
    for (const auto& name : names) hits += sondrel::WildMatchAny(name, "*.wav a*b*.mp3 ??z*.ogg");
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(BM_WildMatchAny)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
