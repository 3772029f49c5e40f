#include "engines/search_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <span>
#include <string_view>

#include "engines/engine_update.h"
#include "engines/extended_keys.h"
#include "engines/request_failure.h"
#include "engines/search_driver_internal.h"
#include "engines/search_texts.h"
#include "net/async_wait.h"
#include "net/connection_pool.h"
#include "net/environment_proxy.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {

namespace detail {

std::string Cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, std::min(text.size(), max)));
}

void OnInterface(SearchSession& session, const std::function<void()>& fn) {
  if (session.onInterfaceThread) {
    session.onInterfaceThread(fn);
  } else {
    fn();
  }
}

void ReportCounts(SearchSession& session) {
  session.counts.results = session.document.entries.Count();
  if (!session.callbacks.progress) return;
  const SearchProgress counts = session.counts;
  OnInterface(session, [&] { session.callbacks.progress(counts); });
}

QueryFields FieldsOf(const SearchDocument& document) {
  QueryFields fields;
  fields.query = document.query;
  fields.var1 = document.var1;
  fields.var2 = document.var2;
  fields.var3 = document.var3;
  fields.var4 = document.var4;
  fields.daysBack = document.daysBack;
  return fields;
}

bool Running(const SearchSession& session) {
  return session.job.running.load() != 0 && !session.cancel.Requested() &&
         !session.totalLimitReached.load();
}

std::int64_t UnixNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

// What every scan of this search shares: the document, the limits, the append of each
// accepted result with its row on the interface thread, and the follow-ups of its items.
ExtractionContext MakeScanContext(SearchSession& session) {
  return ExtractionContext{
      session.document,
      session.settings,
      session.job.idle,
      [&session](const ResultEntry& entry, int index) {
        if (session.callbacks.resultAdded) session.callbacks.resultAdded(entry, index);
      },
      [&session] { return Running(session); },
      [&session](const std::function<void()>& fn) { OnInterface(session, fn); },
      [&session] { session.totalLimitReached = true; },
      [&session](EngineDefinition& engine, const ResultEntry& item, const CapturedValues& values,
                 const EngineRequest& request) {
        return QueueFollowUp(session.followUps[&engine], engine, item, values, request);
      }};
}

void FillConnectionProgress(NetProgress& progress, const SearchSession& session) {
  progress = NetProgress{};
  progress.onProgress = session.job.onProgress;
  progress.attempts = session.job.attempts;
  progress.timeoutSeconds = session.settings.timeoutSeconds;
  progress.timeoutOn = true;
  progress.cancel = &session.cancel;
}

// The engine's own header lines; a User-Agent among them replaces the program's agent.
void AddEngineHeaders(HttpRequest& http, const EngineRequest& request,
                      const EngineDefinition& engine) {
  for (auto& [name, value] : RequestHeaders(request, engine)) {
    if (EqualsNoCase(name, "User-Agent")) {
      http.userAgent = value;
    } else {
      http.extraHeaders.emplace_back(std::move(name), std::move(value));
    }
  }
}

// The engine's line of the report once it has ended.
void FinishReport(SearchSession& session, const EngineDefinition& engine, const NetFailure& failure,
                  std::string limit, EngineReport& report) {
  const FollowUpQueue& queue = session.followUps[&engine];
  report.matched = engine.tally.matched;
  report.refusedByRules = engine.tally.refused;
  report.duplicates = engine.tally.duplicates;
  report.kept = engine.foundCount;
  report.followUps = queue.queued;
  report.followUpsFailed = queue.failed;
  if (limit.empty() && queue.full) limit = "FOLLOWMAX " + std::to_string(engine.FollowUpLimit());
  if (limit.empty() && session.totalLimitReached) {
    limit = "total results " + std::to_string(session.settings.maxResultsTotal);
  }
  if (failure) {
    report.outcome = failure.kind == FailureKind::kCancelled ? EngineOutcome::kStopped
                                                             : EngineOutcome::kFailed;
    report.failure = failure;
  } else if (session.cancel.Requested() || session.job.running.load() == 0) {
    report.outcome = EngineOutcome::kStopped;
  } else if (!limit.empty()) {
    report.outcome = EngineOutcome::kStoppedAtLimit;
    report.limit = std::move(limit);
  } else {
    report.outcome = EngineOutcome::kDone;
  }
}

// One report line per enabled engine, in list order; index i of the result is engine i's line
// (-1 for a disabled one). Lines start as "stopped": an engine the search never reached.
std::vector<int> BeginReport(SearchSession& session) {
  session.report = SearchReport{};
  std::vector<int> lines(static_cast<std::size_t>(session.engines.Count()), -1);
  for (int i = 0; i < session.engines.Count(); ++i) {
    const EngineDefinition& engine = *session.engines.Get(i);
    if (!engine.enabled) continue;
    lines[static_cast<std::size_t>(i)] = static_cast<int>(session.report.engines.size());
    EngineReport report;
    report.engine = engine.name;
    report.outcome = EngineOutcome::kStopped;
    session.report.engines.push_back(std::move(report));
  }
  return lines;
}

// An engine that must not be asked now: its key is missing, or its source asked for a pause
// that has not passed. Its report line says why.
bool SkipEngine(SearchSession& session, const EngineDefinition& engine, EngineReport& report) {
  NetFailure failure;
  if (session.mode != kSearchReplay && UsesUserKey(engine) &&
      EngineKey(session.settings, engine.name).empty()) {
    failure.kind = FailureKind::kKeyMissing;
  } else if (const std::int64_t until = PausedUntil(session.pauses, engine.name, UnixNow());
             until > 0 && session.mode != kSearchReplay) {
    failure.kind = FailureKind::kRateLimited;
    failure.detail = "asked to wait until " + std::to_string(until);
    report.retryAfter = until;
  } else {
    return false;
  }
  report.outcome = EngineOutcome::kSkipped;
  report.failure = std::move(failure);
  return true;
}

QueryFields FieldsFor(const SearchSession& session, const EngineDefinition& engine) {
  QueryFields fields = FieldsOf(session.document);
  fields.userKey = EngineKey(session.settings, engine.name);
  return fields;
}

}  // namespace detail

namespace {

using namespace detail;




void Redact(NetFailure& failure, std::string_view key) {
  failure.host = WithoutUserKey(failure.host, key);
  failure.detail = WithoutUserKey(failure.detail, key);
}


int Clamp(int value, int low, int high) {
  return std::max(low, std::min(value, high));
}



void SendRequest(EngineSlot& slot, const EngineRequest& request) {
  SearchSession& session = *slot.session;
  slot.http = HttpRequest{};
  slot.http.useProxy = session.settings.webProxyOn != 0;
  slot.http.proxyHost = session.settings.webProxyAddress;
  slot.http.proxyPort = session.settings.webProxyPort;
  ApplyEnvironmentProxy(slot.http);
  // Engines that hand out a session cookie on one page and want it back on the next.
  slot.http.useCookies = true;
  // The next page of a server goes over the connection the last one came on.
  slot.http.pool = session.connections;
  if (!slot.referer.empty()) slot.http.referer = slot.referer;
  AddEngineHeaders(slot.http, request, *slot.engine);
  if (request.method == MethodPost) {
    slot.http.url = request.url;
    slot.http.method = kHttpPost;
    slot.http.postBody = request.params;
  } else {
    slot.getAddress = Cut(RequestAddress(request), kGetAddressSize - 1);
    slot.http.url = slot.getAddress;
    slot.http.method = kHttpGet;
  }
  slot.progress.failure = NetFailure{};
  slot.requestStarted = NowSeconds();
  slot.pageBytes = 0;
  slot.pageCut = FailureKind::kNone;
  slot.readFailed = false;
  slot.header.clear();
  slot.connection.Start(slot.http, nullptr, slot.header, static_cast<std::size_t>(slot.pageSize),
                        slot.progress);
  slot.state = kSlotHeader;
}

void EndEngine(EngineSlot& slot, NetFailure failure) {
  if (!slot.failure) {
    Redact(failure, slot.request.fields.userKey);
    slot.failure = std::move(failure);
  }
  slot.morePages = false;
  slot.session->followUps[slot.engine].pending.clear();
}

void StopAtLimit(EngineSlot& slot, std::string limit) {
  if (slot.limit.empty()) slot.limit = std::move(limit);
  slot.morePages = false;
}

bool DeadlinePassed(const EngineSlot& slot) {
  return NowSeconds() - slot.requestStarted >
         static_cast<std::uint64_t>(std::max(1, slot.session->pageDeadlineSeconds));
}

void SlotRequest(EngineSlot& slot) {
  SearchSession& session = *slot.session;
  EngineDefinition& engine = *slot.engine;
  FollowUpQueue& queue = session.followUps[&engine];
  if (!Running(session)) {
    slot.state = kSlotRelease;
    return;
  }
  if (!queue.pending.empty()) {
    // The items of a page are followed up before the engine's next page is asked for.
    slot.followRequest = FollowUpRequest(queue.pending.front(), slot.request);
    queue.pending.pop_front();
    slot.inFollowUp = true;
    SendRequest(slot, slot.followRequest);
    return;
  }
  slot.inFollowUp = false;
  if (!slot.morePages) {
    slot.state = kSlotRelease;
    return;
  }
  if (slot.pagesRequested >= engine.PageLimit()) {
    StopAtLimit(slot, "PAGES " + std::to_string(engine.PageLimit()));
    slot.state = kSlotRelease;
    return;
  }
  if (!MarkPageVisited(slot.visited, slot.request)) {
    slot.state = kSlotRelease;
    return;
  }
  ++slot.pagesRequested;
  queue.page = slot.pagesRequested;
  queue.pageIndex = 0;
  if (slot.firstPage) {
    slot.referer = Cut(engine.homeUrl, kRefererMax);
    slot.firstPage = false;
  }
  SendRequest(slot, slot.request);
}

void FollowUpLost(EngineSlot& slot) {
  ++slot.session->followUps[slot.engine].failed;
}

// A reply that is not a page to read: a failed connection or an error status.
void NoPage(EngineSlot& slot, int result) {
  const std::string& url = slot.http.workUrl.empty() ? slot.http.url : slot.http.workUrl;
  if (result != kAsyncDone) {
    // Stopped, or ended by the total limit: not this engine's failure.
    if (!Running(*slot.session)) return;
    if (slot.inFollowUp) {
      FollowUpLost(slot);
    } else {
      EndEngine(slot, ConnectionFailure(slot.progress, url, FailureKind::kNoResponse,
                                        slot.requestStarted));
    }
    return;
  }
  std::int64_t retryAfter = 0;
  NetFailure failure = StatusFailure(slot.header, slot.status, url, UnixNow(), retryAfter);
  if (retryAfter > 0) {
    PauseEngine(slot.session->pauses, slot.engine->name, retryAfter);
    slot.report->retryAfter = retryAfter;
  }
  if (slot.inFollowUp && failure.kind != FailureKind::kRateLimited) {
    FollowUpLost(slot);  // only that item is lost
    return;
  }
  EndEngine(slot, std::move(failure));
}

// The job's next step, unless the search has stopped or the request's deadline has passed.
int StepConnection(EngineSlot& slot) {
  SearchSession& session = *slot.session;
  if (Running(session) && !DeadlinePassed(slot)) return slot.connection.Step();
  if (Running(session)) {
    NetFailure failure;
    failure.kind = FailureKind::kTimedOut;
    failure.host = HostOf(slot.http.url);
    failure.detail = "no reply within " + std::to_string(session.pageDeadlineSeconds) + " s";
    slot.progress.failure = failure;
  }
  slot.connection.Close();
  return kAsyncFailed;
}

// What has arrived of the page, within the page's size cap and deadline.
int ReadPageBlock(EngineSlot& slot, char* dst, int room, int& lastRead,
                  std::uint64_t& lastActivity) {
  const int before = lastRead;
  const int result =
      AsyncReadBlock(slot.connection, dst, room, lastRead, lastActivity, slot.progress);
  slot.pageBytes += lastRead - before;
  slot.report->bytes += lastRead - before;
  if (slot.pageBytes > kMaxSearchPageBytes) {
    slot.pageCut = FailureKind::kTooLarge;
    return kReadFailed;
  }
  if (DeadlinePassed(slot)) {
    slot.pageCut = FailureKind::kTimedOut;
    return kReadFailed;
  }
  if (result == kReadFailed) slot.readFailed = true;
  return result;
}

// The reply is a page: its extraction starts, with the follow-up's rules for a follow-up.
void BeginSlotPage(EngineSlot& slot) {
  ++slot.report->pages;
  EngineRequest* request = &slot.request;
  EngineDefinition* engine = slot.engine;
  if (slot.inFollowUp) {
    request = &slot.followRequest;
    TakeSearchCounters(slot.followEngine, *slot.engine);
    engine = &slot.followEngine;
  } else {
    slot.referer = Cut(slot.http.workUrl, kRefererMax);
    slot.tallyAtPage = slot.engine->tally;
    slot.foundAtPage = slot.engine->foundCount;
  }
  // After redirects, the address the page really came from is the base of its links.
  request->url = Cut(slot.http.workUrl, slot.inFollowUp ? kFollowUpAddressMax : kPageBaseMax);
  EngineSlot* self = &slot;
  PageReader reader = [self](char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
    return ReadPageBlock(*self, dst, room, lastRead, lastActivity);
  };
  BeginPage(slot.extraction, std::move(reader), std::span<char>(slot.page), slot.pageSize, *engine,
            *request, *slot.session->scanContext);
  slot.state = kSlotPage;
}

void SlotHeader(EngineSlot& slot) {
  const int r = StepConnection(slot);
  if (r == kAsyncAgain) return;
  if (!slot.inFollowUp) slot.morePages = false;
  // A job that ends on an error status fails, but leaves that reply's header behind.
  slot.status = StatusCode(slot.header);
  const bool answered = slot.status >= 100 && slot.status <= 999;
  if (answered && !slot.inFollowUp) slot.report->httpStatus = slot.status;
  if (r != kAsyncDone || slot.status < 200 || slot.status > 299) {
    NoPage(slot, answered ? kAsyncDone : r);
    slot.state = r == kAsyncDone ? kSlotClose : kSlotNextPage;
    return;
  }
  BeginSlotPage(slot);
}

// A counter runs on whatever the pages hold: a source that answers every page number with the
// same page would be asked until the page cap. A page of nothing but this search's duplicates
// ends the counting.
bool RepeatsItself(const EngineSlot& slot) {
  const EngineDefinition& engine = *slot.engine;
  if (engine.more.empty() || engine.varPatterns.Count() > 0 || engine.entriesThisPage == 0) {
    return false;
  }
  const int duplicates = engine.tally.duplicates - slot.tallyAtPage.duplicates;
  return engine.foundCount == slot.foundAtPage && duplicates == engine.entriesThisPage;
}

// A page was read to its end (or cut): what it means for the engine.
void PageDone(EngineSlot& slot) {
  SearchSession& session = *slot.session;
  const bool cancelled = !Running(session);
  if (slot.inFollowUp) {
    TakeSearchCounters(*slot.engine, slot.followEngine);
    if (slot.readFailed || slot.pageCut != FailureKind::kNone) FollowUpLost(slot);
  } else {
    slot.morePages = slot.extraction.nextPage;
    if (slot.morePages && RepeatsItself(slot)) {
      StopAtLimit(slot, "page " + std::to_string(slot.pagesRequested) +
                            " brought only results the engine had before");
    }
  }
  if (slot.pageCut != FailureKind::kNone && !slot.inFollowUp) {
    NetFailure failure;
    failure.kind = slot.pageCut;
    failure.host = HostOf(slot.http.workUrl);
    failure.detail = slot.pageCut == FailureKind::kTooLarge
                         ? "page larger than " + std::to_string(kMaxSearchPageBytes >> 20) + " MiB"
                         : "page not complete within " +
                               std::to_string(session.pageDeadlineSeconds) + " s";
    EndEngine(slot, std::move(failure));
  } else if (slot.readFailed && !slot.inFollowUp && !cancelled) {
    EndEngine(slot, ConnectionFailure(slot.progress, slot.http.workUrl, FailureKind::kTimedOut));
  }
  if (slot.engine->foundCount >= session.settings.maxResultsPerEngine) {
    StopAtLimit(slot, "results per engine " + std::to_string(session.settings.maxResultsPerEngine));
    session.followUps[slot.engine].pending.clear();
  }
}

// What the slot waits for before its next step can do anything; fd -1 when it can move now.
AsyncWait SlotWait(const EngineSlot& slot) {
  switch (slot.state) {
    case kSlotHeader:
      return slot.connection.Wait();
    case kSlotPage:
      if (slot.extraction.state == kExtractReading && slot.extraction.going) {
        return slot.connection.Wait();
      }
      return {};
    default:
      return {};
  }
}

struct SlotTable {
  std::array<std::unique_ptr<EngineSlot>, kSearchSlots> slots;
  std::array<std::uint8_t, kSearchSlots> busy{};
  int active = 0;
};

// Steps every busy slot once; a slot that has finished becomes free. Then active shrinks to
// one past the highest busy slot. Returns how many engines finished.
int Reap(SlotTable& table) {
  int finished = 0;
  for (int i = 0; i < table.active; ++i) {
    if (!table.busy[i]) continue;
    if (StepSlot(*table.slots[i]) != kAsyncAgain) {
      table.busy[i] = 0;
      ++finished;
    }
  }
  while (table.active > 0 && !table.busy[table.active - 1]) --table.active;
  return finished;
}

// Sleeps until some slot can move, unless one can already (or work is waiting to be started).
void IdleWait(SearchSession& session, const SlotTable& table, bool moreToStart) {
  if (session.job.idle) session.job.idle();
  std::array<AsyncWait, kSearchSlots> waits{};
  std::size_t count = 0;
  bool waitable = false;
  for (int i = 0; i < table.active; ++i) {
    if (!table.busy[i]) continue;
    AsyncWait wait = SlotWait(*table.slots[i]);
    if (wait.fd < 0) {
      moreToStart = true;  // this slot can move now: no sleep
      break;
    }
    waits[count++] = wait;
    waitable = true;
  }
  if (moreToStart || !waitable) {
    // Nothing to wait for: without busy slots the drain ends at once, and a slot that can move
    // gets its step in this pass.
    return;
  }
  (void)WaitForAnyJob(std::span<const AsyncWait>(waits.data(), count), kJobWaitMs);
}

void FinishReport(EngineSlot& slot) {
  detail::FinishReport(*slot.session, *slot.engine, slot.failure, slot.limit, *slot.report);
}

}  // namespace

bool MarkPageVisited(std::unordered_set<std::string>& visited, const EngineRequest& request) {
  if (static_cast<int>(visited.size()) >= kMaxEnginePages) return false;
  std::string key = request.method == MethodPost ? "POST " : "GET ";
  key += request.url;
  key += '\n';
  key += request.params;
  return visited.insert(std::move(key)).second;
}

std::string TestPagePath(const std::string& home, const EngineDefinition& engine, int page,
                         int followUp) {
  // Loading refuses such a FILE already; an engine made some other way still never leads a
  // page file out of its folder.
  if (!IsPlainFileStem(engine.fileStem)) return {};
  std::string name = engine.fileStem + std::to_string(page);
  if (followUp > 0) name += "-" + std::to_string(followUp);
  name += kTestPageExtension;
  return (std::filesystem::path(home) / kTestPageFolder / name).string();
}

void StartSlot(EngineSlot& slot, EngineDefinition& engine, SearchSession& session) {
  engine.foundCount = 0;
  slot.engine = &engine;
  slot.session = &session;
  FillConnectionProgress(slot.progress, session);
  slot.pageSize = kSlotPageSize;
  slot.page.assign(static_cast<std::size_t>(kSlotPageSize + kPageWindowSlack), 0);
  slot.header.clear();
  slot.header.reserve(static_cast<std::size_t>(kSlotPageSize));
  slot.referer.clear();
  slot.getAddress.clear();
  BuildRequest(slot.request, FieldsFor(session, engine), engine);
  slot.http = HttpRequest{};
  slot.extraction = PageExtraction{};
  slot.status = 0;
  slot.visited.clear();
  slot.failure = NetFailure{};
  slot.limit.clear();
  slot.pagesRequested = 0;
  slot.inFollowUp = false;
  PrepareFollowUpEngine(slot.followEngine, engine);
  slot.morePages = true;
  slot.firstPage = true;
  slot.state = kSlotRequest;
}

int StepSlot(EngineSlot& slot) {
  switch (slot.state) {
    case kSlotRequest:
      SlotRequest(slot);
      break;
    case kSlotHeader:
      SlotHeader(slot);
      break;
    case kSlotPage:
      if (StepPageExtraction(slot.extraction) == 1) {
        PageDone(slot);
        slot.state = kSlotClose;
      }
      break;
    case kSlotNextPage:
      slot.state = kSlotRequest;
      break;
    case kSlotClose:
      slot.connection.Close();
      slot.state = kSlotNextPage;
      break;
    case kSlotRelease:
      FinishReport(slot);
      slot.connection.Close();
      slot.extraction = PageExtraction{};
      std::vector<char>().swap(slot.page);
      std::string().swap(slot.header);
      slot.visited.clear();
      slot.state = kSlotFinished;
      break;
    default:
      return 1;
  }
  return kAsyncAgain;
}

bool PrepareSearch(SearchSession& session) {
  if (Trimmed(session.document.query).empty()) return false;
  session.cancel.Reset();
  session.totalLimitReached = false;
  session.report = SearchReport{};
  session.document.matchMode = 1;
  BeginSearch(session.document);
  session.job.running = 1;
  session.counts = SearchProgress{};
  session.completed = false;
  return true;
}

void StopSearch(SearchSession& session) {
  session.cancel.Cancel();
  session.job.running = 0;
}

void RunScheduler(SearchSession& session) {
  using namespace detail;
  ExtractionContext scan = MakeScanContext(session);
  session.scanContext = &scan;
  const IdleHook outerHook = CurrentIdleHook();
  // Every wait of this thread is the one poll between passes; the socket layer must not pause.
  SetIdleHook(nullptr);
  ResetSearchState(session.engines);
  session.followUps.clear();
  session.pauses = ReadEnginePauses(session.home);
  const std::vector<int> reportLines = BeginReport(session);

  ConnectionPool pool;  // outlives the slots, which hand their connections back as they close
  session.connections = session.keepConnections ? &pool : nullptr;
  auto table = std::make_unique<SlotTable>();
  for (auto& slot : table->slots) slot = std::make_unique<EngineSlot>();
  // At least one connection, or no engine would ever start; never more than the table holds.
  const int maxConnections = Clamp(session.settings.maxConnections, 1, kSearchSlots);
  const int engineCount = session.engines.Count();

  auto reap = [&] {
    const int finished = Reap(*table);
    if (finished > 0) {
      session.counts.enginesFinished += finished;
      ReportCounts(session);
    }
  };

  int e = 0;
  while (Running(session) && e < engineCount) {
    int free = -1;
    for (int i = table->active - 1; i >= 0; --i) {
      if (!table->busy[i]) {
        free = i;
        break;
      }
    }
    IdleWait(session, *table, free >= 0 || table->active < maxConnections);
    reap();
    int s = -1;
    for (int i = table->active - 1; i >= 0; --i) {
      if (!table->busy[i]) {
        s = i;
        break;
      }
    }
    if (s < 0 && table->active < maxConnections) s = table->active++;
    EngineDefinition* engine = session.engines.Get(e);
    if (!engine || !engine->enabled) {
      ++e;
      continue;
    }
    EngineReport& report =
        session.report.engines[static_cast<std::size_t>(reportLines[static_cast<std::size_t>(e)])];
    if (SkipEngine(session, *engine, report)) {
      ++e;
      continue;
    }
    if (s < 0) continue;
    StartSlot(*table->slots[s], *engine, session);
    table->slots[s]->report = &report;
    table->busy[s] = 1;
    ++e;
    ++session.counts.enginesStarted;
    ReportCounts(session);
  }
  // Drain: the running engines end by themselves, or at their next step once stopped.
  while (table->active > 0) {
    IdleWait(session, *table, false);
    reap();
  }

  table.reset();
  session.connections = nullptr;
  SetIdleHook(outerHook ? outerHook : NetIdle);
  session.scanContext = nullptr;
  if (!session.home.empty()) (void)WriteEnginePauses(session.home, session.pauses, UnixNow());
}

void RunSearchThread(SearchSession& session) {
  using detail::OnInterface;
  using detail::Running;
  if (session.updateCheck && Running(session) && !session.cancel.Requested()) {
    if (session.callbacks.updating) OnInterface(session, [&] { session.callbacks.updating(true); });
    EngineUpdateTarget target{session.engines, session.settings, session.databasePath,
                              session.database};
    (void)AutomaticUpdateCheck(target, session.cancel);
    if (session.callbacks.updating)
      OnInterface(session, [&] { session.callbacks.updating(false); });
  }
  RunScheduler(session);
}

void CompleteSearch(SearchSession& session) {
  EndSearch(session.document);
  if (session.callbacks.finished) session.callbacks.finished();
  if (session.mode == kSearchNormal && session.callbacks.searchFinished) {
    session.callbacks.searchFinished();
  }
  session.completed = true;
}

void RunTestSearch(SearchSession& session) {
  RunTestMode(session);
  CompleteSearch(session);
}

}  // namespace sondrel
