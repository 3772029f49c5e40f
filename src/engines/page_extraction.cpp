#include "engines/page_extraction.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engines/engine_definition.h"
#include "engines/extract_entry.h"
#include "engines/json_string.h"
#include "engines/template_step.h"
#include "net/net_progress.h"
#include "net/url.h"
#include "net/url_encoding.h"
#include "results/acceptance.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

// Tab, line feed, form feed and carriage return: 9, 10, 12 and 13.
bool IsBreak(char c) {
  const auto byte = static_cast<unsigned char>(c);
  constexpr unsigned kBreaks = (1u << '\t') | (1u << '\n') | (1u << '\f') | (1u << '\r');
  return byte <= '\r' && ((1u << byte) & kBreaks) != 0;
}

// Length of the run of line-break characters that ends text.
int TrailingBreakRun(const char* text, int length) {
  int run = 0;
  while (run < length && IsBreak(text[length - 1 - run])) ++run;
  return run;
}

bool Running(const ExtractionContext& job) {
  return !job.running || job.running();
}

// Offsets into the window move with the text when the consumed part is dropped.
void ShiftOffset(std::int32_t& offset, int by) {
  if (offset >= 0) offset = std::max(0, offset - by);
}

// A URL the list already holds, when duplicates are removed: counted apart from the entries
// the filters refuse, so the report can tell them apart.
bool Duplicate(const SearchDocument& document, const ResultEntry& entry) {
  return document.duplicates == kRemoveDuplicateUrls && document.duplicateSets &&
         document.duplicateSets->Contains(entry.url);
}

// Appends text to address without passing the address buffer.
void AppendCut(std::string& address, std::string_view text) {
  const std::size_t room = kNextAddressSize - 1 - std::min(address.size(), kNextAddressSize - 1);
  address.append(text.substr(0, std::min(text.size(), room)));
}

}  // namespace

int CleanChunk(char* text, int length, char previous) {
  int out = 0;
  int i = 0;
  while (i < length) {
    // Ordinary bytes move in runs: this runs over every byte of every page.
    int end = i;
    while (end < length && !IsBreak(text[end])) ++end;
    if (end > i) {
      if (out != i) std::memmove(text + out, text + i, static_cast<std::size_t>(end - i));
      out += end - i;
      previous = text[out - 1];
      i = end;
      if (i >= length) break;
    }
    while (end < length && IsBreak(text[end])) ++end;
    // Between tags and at the edges of tags the run vanishes, so templates can count on "><".
    const bool vanishes = previous == '>' || (end < length && text[end] == '<');
    if (!vanishes) {
      for (int k = i; k < end; ++k) {
        if (text[k] == '\r' && k + 1 < end && text[k + 1] == '\n') ++k;
        text[out++] = ' ';
      }
      previous = ' ';
    }
    i = end;
  }
  return out;
}

void BeginPage(PageExtraction& extraction, PageReader connection, std::span<char> buffer,
               int bufferSize, EngineDefinition& engine, EngineRequest& request,
               ExtractionContext& job) {
  PageExtraction& x = extraction;
  x.connection = std::move(connection);
  x.buffer = buffer.data();
  // The window and its terminator must fit into the buffer.
  const std::size_t usable = std::min<std::size_t>(buffer.size(), INT32_MAX);
  x.bufferSize = std::clamp(bufferSize, 0, static_cast<int>(usable));
  x.engine = &engine;
  x.request = &request;
  x.job = &job;
  x.held = 0;
  x.room = std::max(0, x.bufferSize - 1);
  x.length = 0;
  x.added = 0;
  x.consumed = 0;
  x.varsFound = false;
  x.nextPage = false;
  x.rawTail = 0;
  x.previousByte = 0;
  x.nextRequest = EngineRequest{};
  ResetPageState(engine);
  x.lastRead = 0;
  x.lastActivity = NowSeconds();
  x.state = kExtractReading;
  // A window of one byte could never hold text and its terminator.
  x.going = x.bufferSize >= 2 && x.buffer != nullptr;
}

namespace {

void ReadStep(PageExtraction& x) {
  if (!x.going || !Running(*x.job) || !x.connection) {
    x.state = kExtractFinal;
    return;
  }
  const int result = x.connection(x.buffer + x.held, x.room, x.lastRead, x.lastActivity);
  x.lastRead = std::clamp(x.lastRead, 0, x.room);  // a reader never moves the window
  switch (result) {
    case kReadPending:
      break;
    case kReadFull:
    case kReadComplete:
      x.state = x.lastRead > 0 ? kExtractScanning : kExtractFinal;
      break;
    default:
      x.state = kExtractFinal;
      break;
  }
}

// Cleans the raw bytes at the end of the held text plus the new ones. A run of line breaks at
// the very end stays raw until the byte after it arrives: it vanishes before a '<' and becomes
// a space otherwise.
int CleanNewBytes(PageExtraction& x, bool final) {
  const int regionStart = x.held - x.rawTail;
  char* region = x.buffer + regionStart;
  const int regionLength = x.rawTail + x.lastRead;
  const char previous = regionStart > 0 ? x.buffer[regionStart - 1] : x.previousByte;
  const int run = final ? 0 : TrailingBreakRun(region, regionLength);
  const char beforeRun = run < regionLength ? region[regionLength - run - 1] : previous;
  int cleaned;
  if (run == 0 || beforeRun == '>') {
    cleaned = CleanChunk(region, regionLength, previous);
    x.rawTail = 0;
  } else {
    cleaned = CleanChunk(region, regionLength - run, previous);
    std::memmove(region + cleaned, region + regionLength - run, static_cast<std::size_t>(run));
    cleaned += run;
    x.rawTail = run;
  }
  return regionStart + cleaned;
}

void ScanChunkStep(PageExtraction& x) {
  const int oldHeld = x.held;
  x.length = CleanNewBytes(x, false);
  x.added = x.length - oldHeld;
  x.buffer[x.length] = 0;
  x.consumed = 0;
  x.going = Scan(std::string_view(x.buffer, static_cast<std::size_t>(x.length)), *x.engine,
                 *x.request, *x.job, false, x.consumed, x.nextPage, x.varsFound, x.nextRequest);
  if (x.consumed == 0) x.consumed = x.length / 2;
  x.consumed = std::clamp(x.consumed, 0, x.length);
  if (x.consumed > 0) x.previousByte = x.buffer[x.consumed - 1];
  ShiftOffset(x.engine->lastEntryEnd, x.consumed);
  ShiftOffset(x.engine->startMarkerPos, x.consumed);
  ShiftOffset(x.engine->varMarkerPos, x.consumed);
  std::memmove(x.buffer, x.buffer + x.consumed, static_cast<std::size_t>(x.length - x.consumed));
  x.held = x.length - x.consumed;
  x.rawTail = std::min(x.rawTail, x.held);
  x.room = x.bufferSize - 1 - x.held;
  x.lastRead = 0;
  x.lastActivity = NowSeconds();
  x.state = kExtractReading;
}

void FinalStep(PageExtraction& x) {
  // Bytes that came in before a failed or cut-off read are part of what was received, so they
  // are scanned too, even when they never filled a whole chunk.
  if (x.going && (x.consumed >= 1 || x.held + x.lastRead > 0)) {
    x.held = CleanNewBytes(x, true);
    x.lastRead = 0;
    x.buffer[x.held] = 0;
    int consumed = 0;
    x.going = Scan(std::string_view(x.buffer, static_cast<std::size_t>(x.held)), *x.engine,
                   *x.request, *x.job, true, consumed, x.nextPage, x.varsFound, x.nextRequest);
    x.consumed = consumed;
  }
  ReleasePageValues(*x.engine);
  if (!x.going) x.nextPage = false;
  if (x.engine->entriesThisPage == 0) {
    // A page without entries ends the engine, even when it names a next page.
    x.nextPage = false;
    x.going = false;
  }
  if (x.nextPage) *x.request = x.nextRequest;
  x.state = kExtractDone;
}

}  // namespace

int StepPageExtraction(PageExtraction& extraction) {
  switch (extraction.state) {
    case kExtractReading:
      ReadStep(extraction);
      return kReadPending;
    case kExtractScanning:
      ScanChunkStep(extraction);
      return kReadPending;
    case kExtractFinal:
      FinalStep(extraction);
      return kReadPending;
    default:
      return 1;
  }
}

bool Scan(std::string_view text, EngineDefinition& engine, const EngineRequest& request,
          ExtractionContext& job, bool final, int& consumed, bool& nextPage, bool& varsFound,
          EngineRequest& nextRequest) {
  const std::size_t length = text.size();
  const std::size_t half = length / 2;
  std::size_t pos = std::min(static_cast<std::size_t>(std::max(consumed, 0)), length);
  bool going = true;

  bool startPassed = true;
  if (!engine.startMarker.empty() && engine.startMarkerPos == -1) {
    const int at = BufFindEnd(text.substr(pos), engine.startMarker, false);
    if (at >= 0) {
      pos += static_cast<std::size_t>(at);
      engine.startMarkerPos = static_cast<std::int32_t>(pos);
    } else {
      pos = std::max(pos, half);
      startPassed = false;
    }
  }
  bool varPassed = true;
  if (!engine.varMarker.empty() && engine.varMarkerPos == -1) {
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(consumed, 0)), length);
    const int at = BufFindEnd(text.substr(from), engine.varMarker, false);
    if (at >= 0) {
      engine.varMarkerPos = static_cast<std::int32_t>(from + static_cast<std::size_t>(at));
    } else {
      varPassed = false;
    }
  }

  if (startPassed) {
    ResultEntry scratch = NewEntry();
    CapturedValues values;
    const bool items = !engine.follow.empty();
    SearchDocument& document = job.document;
    while (going && Running(job)) {
      if (!final && pos >= half) break;  // it waits for the next chunk, to be seen whole
      const std::size_t entryStart = pos;
      const int result =
          ExtractEntry(text, pos, engine, scratch, request, final, items ? &values : nullptr);
      // An entry that took no page text would be found again and again.
      if (result == kEntryNone || pos <= entryStart) {
        pos = result == kEntryNone ? pos : entryStart;
        break;
      }
      if (!items) ++engine.tally.matched;
      // A link the engine's URL rules refuse is not an entry; the ones after it still count.
      if (result == kEntryRefused) {
        ++engine.tally.refused;
        continue;
      }
      if (job.idle) job.idle();
      ++engine.entriesThisPage;
      engine.lastEntryEnd = static_cast<std::int32_t>(pos);
      if (engine.foundCount >= job.settings.maxResultsPerEngine) going = false;
      const int count = document.entries.Count();
      if (count > kResultListMax || count >= job.settings.maxResultsTotal) {
        going = false;
        if (job.totalLimitReached) job.totalLimitReached();
      }
      if (!going) break;
      if (items) {
        if (!job.itemFound || !job.itemFound(engine, scratch, values, request)) going = false;
        continue;
      }
      if (Duplicate(document, scratch)) {
        ++engine.tally.duplicates;
        continue;
      }
      if (!AcceptResult(document, scratch) || Blocked(job.settings, scratch)) {
        ++engine.tally.refused;
        continue;
      }
      EngineRun run{engine.name, engine.nextPosition, engine.foundCount};
      const auto append = [&] {
        if (!AppendResult(document, scratch, run)) return;
        const int index = document.entries.Count() - 1;
        if (job.resultAdded) job.resultAdded(*document.entries.Get(index), index);
      };
      if (job.onInterfaceThread) {
        job.onInterfaceThread(append);
      } else {
        append();
      }
    }
  }

  if (startPassed && varPassed && going && !engine.more.empty() && !varsFound) {
    std::size_t end = pos;
    if (final) {
      end = length;
    } else if (pos == 0) {
      end = half;
    }
    std::size_t from =
        engine.varsAfterEntries ? static_cast<std::size_t>(std::max(engine.lastEntryEnd, 0)) : 0;
    if (engine.varMarkerPos != -1) {
      from = std::max(from, static_cast<std::size_t>(engine.varMarkerPos));
      end = length;
    }
    end = std::min(end, length);
    from = std::min(from, end);
    varsFound = CaptureVariables(text.substr(from, end - from), engine);
    if (varsFound) {
      EngineRequest built = request;
      nextPage = BuildNextPageRequest(built, engine);
      if (nextPage) {
        nextRequest = std::move(built);
      } else {
        going = false;
      }
    }
  }
  if (!going) nextPage = false;
  if (final && !startPassed) nextPage = false;
  consumed = static_cast<int>(pos);
  return going;
}

bool CaptureVariables(std::string_view text, EngineDefinition& engine) {
  const bool json = engine.decoding == ValueDecoding::kJson;
  bool all = true;
  std::string name;
  std::string value;
  for (int i = 0; i < engine.varPatterns.Count(); ++i) {
    VarPattern& pattern = *engine.varPatterns.Get(i);
    if (pattern.captured) continue;
    std::size_t pos = 0;
    bool captured = false;
    for (;;) {
      // A candidate whose value would hold tags is passed over for the next one.
      const std::size_t before = pos;
      std::size_t templatePos = 0;
      if (TemplateStep(text, pos, pattern.pattern, templatePos, name, value, true, json)) {
        captured = true;
        break;
      }
      if (pos <= before) break;
    }
    if (captured) {
      pattern.value = json ? DecodeJsonString(value) : std::string(StripQuotes(value));
      pattern.captured = 1;
    } else {
      all = false;
    }
  }
  return all;
}

bool BuildNextPageRequest(EngineRequest& request, const EngineDefinition& engine) {
  EngineRequest next = request;
  ++next.pageIndex;
  std::string address;
  std::string piece;
  std::size_t pos = 0;
  bool ok = true;
  for (;;) {
    const int kind = SplitTemplate(engine.more, pos, piece, kMorePieceSize, kTemplateMarker);
    if (kind == TemplateEnd) break;
    if (kind == TemplateLiteral) {
      AppendCut(address, piece);
      continue;
    }
    const int index = FindPatternForVariable(engine, piece);
    if (index < 0) {
      // The request's own placeholders (the query, the counter, the key) for a counter MORE.
      if (std::optional<std::string> value = RequestPlaceholderValue(piece, next, engine)) {
        AppendCut(address, FormEncode(*value));
      } else {
        ok = false;  // the rest is still walked, as a missing variable only decides the result
      }
      continue;
    }
    const VarPattern& pattern = *engine.varPatterns.Get(index);
    if (!pattern.value) continue;
    const std::string decoded = DecodeHtmlEntities(*pattern.value, kVariableValueSize - 1);
    AppendCut(address, engine.escapeVars ? FormEncode(decoded) : decoded);
  }
  if (!ok) return false;
  const std::string resolved = ResolvePostUrl(address, request.url);
  next.method = SplitPostUrl(next.url, kRequestUrlSize - 1, next.params, kRequestParamsSize - 1,
                             resolved);
  request = std::move(next);
  return true;
}

}  // namespace sondrel
