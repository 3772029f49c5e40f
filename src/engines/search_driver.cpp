#include "engines/search_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <span>
#include <string_view>

#include "engines/engine_update.h"
#include "engines/search_texts.h"
#include "net/async_wait.h"
#include "net/connection_pool.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

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
  return session.job.running.load() != 0;
}

// What every scan of this search shares: the document, the limits, and the append of each
// accepted result with its row on the interface thread.
struct ScanContext {
  explicit ScanContext(SearchSession& session)
      : context{session.document, session.settings, session.job.idle,
                [&session](const ResultEntry& entry, int index) {
                  if (session.callbacks.resultAdded) session.callbacks.resultAdded(entry, index);
                },
                [&session] { return Running(session); },
                [&session](const std::function<void()>& fn) { OnInterface(session, fn); }} {}
  ExtractionContext context;
};

int Clamp(int value, int low, int high) {
  return std::max(low, std::min(value, high));
}

void FillConnectionProgress(NetProgress& progress, const SearchSession& session) {
  progress = NetProgress{};
  progress.onProgress = session.job.onProgress;
  progress.attempts = session.job.attempts;
  progress.timeoutSeconds = session.settings.timeoutSeconds;
  progress.timeoutOn = true;
  progress.shouldCancel = StopFlagCancel;
}

void SlotRequest(EngineSlot& slot) {
  SearchSession& session = *slot.session;
  if (!Running(session) || !slot.morePages || !MarkPageVisited(slot.visited, slot.request)) {
    slot.state = kSlotRelease;
    return;
  }
  slot.http = HttpRequest{};
  slot.http.url = slot.request.url;
  slot.http.useProxy = session.settings.webProxyOn != 0;
  slot.http.proxyHost = session.settings.webProxyAddress;
  slot.http.proxyPort = session.settings.webProxyPort;
  // Engines that hand out a session cookie on one page and want it back on the next.
  slot.http.useCookies = true;
  // The next page of a server goes over the connection the last one came on.
  slot.http.pool = session.connections;
  if (slot.firstPage) {
    slot.referer = Cut(slot.engine->homeUrl, kRefererMax);
    slot.firstPage = false;
  }
  if (!slot.referer.empty()) slot.http.referer = slot.referer;
  if (slot.request.method == MethodPost) {
    slot.http.method = kHttpPost;
    slot.http.postBody = slot.request.params;
  } else {
    slot.getAddress = Cut(RequestAddress(slot.request), kGetAddressSize - 1);
    slot.http.url = slot.getAddress;
    slot.http.method = kHttpGet;
  }
  slot.connection.Start(slot.http, nullptr, slot.header, static_cast<std::size_t>(slot.pageSize),
                        slot.progress);
  slot.state = kSlotHeader;
}

void SlotHeader(EngineSlot& slot) {
  SearchSession& session = *slot.session;
  int r = kAsyncFailed;
  if (Running(session)) {
    r = slot.connection.Step();
  } else {
    slot.connection.Close();
  }
  if (r == kAsyncAgain) return;
  slot.morePages = false;
  if (r != kAsyncDone) {
    slot.state = kSlotNextPage;
    return;
  }
  slot.status = StatusCode(slot.header);
  if (slot.status < 200 || slot.status > 299) {
    slot.state = kSlotClose;
    return;
  }
  slot.referer = Cut(slot.http.workUrl, kRefererMax);
  // After redirects, the address the page really came from is the base of its links.
  slot.request.url = Cut(slot.http.workUrl, kPageBaseMax);
  EngineSlot* self = &slot;
  PageReader reader = [self](char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
    return AsyncReadBlock(self->connection, dst, room, lastRead, lastActivity, self->progress);
  };
  BeginPage(slot.extraction, std::move(reader), std::span<char>(slot.page), slot.pageSize,
            *slot.engine, slot.request, *session.scanContext);
  slot.state = kSlotPage;
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

// ---- test modes ----

bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

struct FileCloser {
  int fd = -1;
  ~FileCloser() {
    if (fd >= 0) ::close(fd);
  }
};

std::string TrailerOf(std::string_view address) {
  std::string trailer(kTestPageTrailerStart);
  trailer += address;
  trailer += kTestPageTrailerEnd;
  return trailer;
}

// Runs a page extraction to its end over a reader that blocks or reads a file.
void ExtractWhole(PageExtraction& extraction, PageReader reader, std::vector<char>& window,
                  EngineDefinition& engine, EngineRequest& request, ExtractionContext& context) {
  BeginPage(extraction, std::move(reader), std::span<char>(window), kSlotPageSize, engine, request,
            context);
  while (StepPageExtraction(extraction) != 1) {
  }
}

void FillBlockingRequest(HttpRequest& http, const SearchSession& session) {
  http.useProxy = session.settings.webProxyOn != 0;
  http.proxyHost = session.settings.webProxyAddress;
  http.proxyPort = session.settings.webProxyPort;
  http.useCookies = true;
}

// The engine's home page into page file 0, when it is not there yet.
void CaptureHomePage(SearchSession& session, EngineDefinition& engine) {
  const std::string path = TestPagePath(session.home, engine, 0);
  if (FileExists(path) || engine.homeUrl.empty()) return;
  HttpRequest http;
  FillBlockingRequest(http, session);
  http.url = engine.homeUrl;
  http.fileName = path;
  NetProgress progress;
  FillConnectionProgress(progress, session);
  if (HttpFetchFile(http, progress) != kFetchDone) {
    ::unlink(path.c_str());
    return;
  }
  FileCloser file{::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)};
  const std::string trailer = TrailerOf(http.workUrl);
  if (file.fd < 0 || !FdWriteAll(file.fd, trailer)) ::unlink(path.c_str());
}

// Fetches the request's page into path while extracting it. False when the engine ends here.
bool CapturePage(SearchSession& session, EngineDefinition& engine, EngineRequest& request,
                 const std::string& path, ExtractionContext& context, PageExtraction& extraction,
                 std::vector<char>& window, std::string& referer) {
  HttpRequest http;
  FillBlockingRequest(http, session);
  if (!referer.empty()) http.referer = referer;
  if (request.method == MethodPost) {
    http.url = request.url;
    http.method = kHttpPost;
    http.postBody = request.params;
  } else {
    http.url = Cut(RequestAddress(request), kGetAddressSize - 1);
  }
  NetProgress progress;
  FillConnectionProgress(progress, session);
  std::string header;
  HttpStream connection =
      HttpOpen(http, header, static_cast<std::size_t>(kSlotPageSize), progress);
  if (!connection) return false;
  const int status = StatusCode(header);
  if (status < 200 || status > 299) return false;
  FileCloser file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (file.fd < 0) return false;
  referer = Cut(http.workUrl, kRefererMax);
  request.url = Cut(http.workUrl, kPageBaseMax);
  bool intact = true;
  PageReader reader = [&](char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
    if (lastRead >= room) return static_cast<int>(kReadFull);
    long n = HttpReadBlock(connection, dst + lastRead, static_cast<std::size_t>(room - lastRead),
                           progress);
    if (n < 0) {
      intact = false;
      return static_cast<int>(kReadFailed);
    }
    if (n == 0) return static_cast<int>(kReadComplete);
    const std::string_view arrived(dst + lastRead, static_cast<std::size_t>(n));
    if (!FdWriteAll(file.fd, arrived)) intact = false;
    lastRead += static_cast<int>(n);
    lastActivity = NowSeconds();
    return static_cast<int>(lastRead == room ? kReadFull : kReadPending);
  };
  ExtractWhole(extraction, std::move(reader), window, engine, request, context);
  connection.Close();
  const std::string trailer = TrailerOf(http.workUrl);
  if (!intact || !FdWriteAll(file.fd, trailer)) {
    // A page cut short would replay as a different page.
    ::unlink(path.c_str());
  }
  return extraction.nextPage;
}

// Reads a captured page; the address it came from is taken from its trailer.
bool ReplayPage(const std::string& path, EngineDefinition& engine, EngineRequest& request,
                ExtractionContext& context, PageExtraction& extraction, std::vector<char>& window) {
  std::string image;
  if (!FileReadAll(path, image)) return false;
  std::string_view page(image);
  const std::size_t trailer = page.rfind(kTestPageTrailerStart);
  if (trailer != std::string_view::npos && page.ends_with(kTestPageTrailerEnd)) {
    const std::size_t from = trailer + kTestPageTrailerStart.size();
    const std::string_view address =
        page.substr(from, page.size() - from - kTestPageTrailerEnd.size());
    if (address.find('\n') == std::string_view::npos && !address.empty()) {
      request.url = Cut(address, kPageBaseMax);
    }
    page = page.substr(0, trailer);
  }
  std::size_t offset = 0;
  PageReader reader = [&](char* dst, int room, int& lastRead, std::uint64_t& lastActivity) {
    if (lastRead >= room) return static_cast<int>(kReadFull);
    const std::size_t want = static_cast<std::size_t>(room - lastRead);
    const std::size_t n = std::min(want, page.size() - offset);
    if (n == 0) return static_cast<int>(kReadComplete);
    std::copy_n(page.data() + offset, n, dst + lastRead);
    offset += n;
    lastRead += static_cast<int>(n);
    lastActivity = NowSeconds();
    return static_cast<int>(lastRead == room ? kReadFull : kReadPending);
  };
  ExtractWhole(extraction, std::move(reader), window, engine, request, context);
  return extraction.nextPage;
}

void RunEngineTestMode(SearchSession& session, EngineDefinition& engine,
                       ExtractionContext& context) {
  engine.foundCount = 0;
  EngineRequest request;
  BuildRequest(request, FieldsOf(session.document), engine);
  PageExtraction extraction;
  std::vector<char> window(static_cast<std::size_t>(kSlotPageSize + kPageWindowSlack));
  if (session.mode == kSearchCapture) {
    CaptureHomePage(session, engine);
    if (engine.action.empty()) return;
    std::string referer = Cut(engine.homeUrl, kRefererMax);
    std::unordered_set<std::string> visited;
    bool more = true;
    for (int page = 1;
         more && Running(session) && !StopRequested() && MarkPageVisited(visited, request);
         ++page) {
      const std::string path = TestPagePath(session.home, engine, page);
      // A page captured before is read from its file, so a capture can be taken up again.
      more = FileExists(path) ? ReplayPage(path, engine, request, context, extraction, window)
                              : CapturePage(session, engine, request, path, context, extraction,
                                            window, referer);
    }
    return;
  }
  bool more = true;
  for (int page = 1; more && Running(session) && !StopRequested() && page <= kMaxEnginePages;
       ++page) {
    const std::string path = TestPagePath(session.home, engine, page);
    if (!FileExists(path)) break;
    more = ReplayPage(path, engine, request, context, extraction, window);
  }
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

std::string TestPagePath(const std::string& home, const EngineDefinition& engine, int page) {
  std::string name = engine.fileStem + std::to_string(page);
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
  BuildRequest(slot.request, FieldsOf(session.document), engine);
  slot.http = HttpRequest{};
  slot.extraction = PageExtraction{};
  slot.status = 0;
  slot.visited.clear();
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
        slot.morePages = slot.extraction.nextPage;
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
  SetStopFlag(false);
  if (Trimmed(session.document.query).empty()) return false;
  session.document.matchMode = 1;
  BeginSearch(session.document);
  session.job.running = 1;
  session.counts = SearchProgress{};
  session.completed = false;
  return true;
}

void StopSearch(SearchSession& session) {
  SetStopFlag(true);
  session.job.running = 0;
}

void RunScheduler(SearchSession& session) {
  ScanContext scan(session);
  session.scanContext = &scan.context;
  const IdleHook outerHook = CurrentIdleHook();
  // Every wait of this thread is the one poll between passes; the socket layer must not pause.
  SetIdleHook(nullptr);
  SetStopFlag(false);
  ResetSearchState(session.engines);

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
  while (!StopRequested() && Running(session) && e < engineCount) {
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
    if (s < 0) continue;
    StartSlot(*table->slots[s], *engine, session);
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
}

void RunSearchThread(SearchSession& session) {
  if (session.updateCheck && Running(session) && !StopRequested()) {
    if (session.callbacks.updating) OnInterface(session, [&] { session.callbacks.updating(true); });
    EngineUpdateTarget target{session.engines, session.settings, session.databasePath,
                              session.database};
    (void)AutomaticUpdateCheck(target, StopFlagCancel);
    if (session.callbacks.updating)
      OnInterface(session, [&] { session.callbacks.updating(false); });
  }
  RunScheduler(session);
}

void RunTestMode(SearchSession& session) {
  ScanContext scan(session);
  SetStopFlag(false);
  ResetSearchState(session.engines);
  if (session.mode == kSearchCapture) {
    (void)MakeDirectories((std::filesystem::path(session.home) / kTestPageFolder).string());
  }
  for (const auto& engine : session.engines) {
    if (!Running(session) || StopRequested()) break;
    if (!engine->enabled) continue;
    ++session.counts.enginesStarted;
    ReportCounts(session);
    RunEngineTestMode(session, *engine, scan.context);
    ++session.counts.enginesFinished;
    ReportCounts(session);
  }
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
