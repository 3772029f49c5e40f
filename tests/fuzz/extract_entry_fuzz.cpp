// Result pages come from anywhere: entry extraction, page scans and the chunked step machine
// must end cleanly on any page text, with fixed engine formats and with a format taken from the
// input (its first line), and every entry they yield must keep the entry limits.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_definition.h"
#include "engines/extract_entry.h"
#include "engines/page_extraction.h"
#include "net/net_progress.h"
#include "results/search_document.h"
#include "results/settings.h"

using namespace sondrel;

namespace {

void CheckEntry(const ResultEntry& entry) {
  if (entry.url.empty() || entry.url.size() > kMaxEntryUrl || entry.name.size() > kMaxEntryName ||
      entry.preview.size() > kMaxEntryPreview || entry.var1.size() > kMaxEntryVar1) {
    std::abort();
  }
}

void Setup(EngineDefinition& engine, std::string_view format) {
  engine.name = "fuzz";
  engine.format = std::string(format);
  engine.more = "page?__NEXT__";
  engine.escapeVars = 1;
  auto pattern = std::make_unique<VarPattern>();
  pattern->pattern = "<a href=\"__NEXT__\">Next";
  engine.varPatterns.Append(std::move(pattern));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view ownFormat =
      newline == std::string_view::npos ? std::string_view() : input.substr(0, newline);
  const std::string_view page =
      newline == std::string_view::npos ? input : input.substr(newline + 1);
  const int windowSize = 16 + (size > 0 ? data[size - 1] : 0);  // small windows: many chunks

  const std::string_view formats[] = {"<li><a href=\"__URL__\">__TITLE__</a> __PREVIEW__</li>",
                                      "__A__ e=mp3", ownFormat};
  for (std::string_view format : formats) {
    EngineDefinition engine;
    Setup(engine, format);
    if (format == ownFormat) engine.urlFormat = "fnstr=?";
    EngineRequest request{MethodGet, "http://h/d/p1.htm", ""};

    // Entry by entry over the whole page.
    ResultEntry scratch = NewEntry();
    std::size_t pos = 0;
    for (int guard = 0; guard < 100000; ++guard) {
      const std::size_t before = pos;
      const int result = ExtractEntry(page, pos, engine, scratch, request, guard % 2 == 0);
      if (pos > page.size()) std::abort();
      if (result == kEntryFound) CheckEntry(scratch);
      if (result == kEntryNone || pos <= before) break;
    }

    // Through the step machine, fed in pieces of 7 bytes.
    SearchDocument document;
    BeginSearch(document);
    Settings settings;
    settings.maxResultsTotal = 200;
    ExtractionContext job{document, settings, {}, {}, {}};
    std::vector<char> window(static_cast<std::size_t>(windowSize) + kPageWindowSlack);
    std::size_t at = 0;
    PageReader reader = [&](char* dst, int room, int& lastRead, std::uint64_t&) {
      if (lastRead >= room) return static_cast<int>(kReadFull);
      if (at >= page.size()) return static_cast<int>(kReadComplete);
      const std::size_t n =
          std::min({std::size_t{7}, static_cast<std::size_t>(room - lastRead), page.size() - at});
      std::memcpy(dst + lastRead, page.data() + at, n);
      lastRead += static_cast<int>(n);
      at += n;
      return static_cast<int>(lastRead == room ? kReadFull : kReadPending);
    };
    SetStopFlag(false);
    PageExtraction extraction;
    BeginPage(extraction, reader, window, windowSize, engine, request, job);
    std::size_t steps = 0;
    while (StepPageExtraction(extraction) == kReadPending) {
      if (++steps > 8 * page.size() + 100) std::abort();  // the machine must finish
    }
    for (const auto& entry : document.entries) CheckEntry(*entry);
    if (document.entries.Count() > settings.maxResultsTotal) std::abort();
    if (extraction.nextPage && request.url.empty()) std::abort();
  }
  SetStopFlag(false);
  return 0;
}
