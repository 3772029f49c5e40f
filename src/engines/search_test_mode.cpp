// The engine test modes: every page of every enabled engine fetched into the program home's
// test folder while it is extracted (capture), or read back from there without network
// (replay), one engine after the other on the calling thread. Follow-up pages have files of
// their own: <FILE><page>-<follow-up>.htm.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engines/request_failure.h"
#include "engines/search_driver.h"
#include "engines/search_driver_internal.h"
#include "engines/search_texts.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "support/paths.h"

namespace sondrel {
namespace {

using namespace detail;

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

// What a test run of one engine works with.
struct TestRun {
  SearchSession& session;
  EngineDefinition& engine;
  ExtractionContext& context;
  EngineReport& report;
  PageExtraction extraction;
  std::vector<char> window = std::vector<char>(kSlotPageSize + kPageWindowSlack);
  std::string referer;
  NetFailure failure;
};

// Fetches the request's page into path while extracting it. False when no page arrived.
bool CapturePage(TestRun& run, EngineDefinition& engine, EngineRequest& request,
                 const std::string& path) {
  SearchSession& session = run.session;
  HttpRequest http;
  FillBlockingRequest(http, session);
  if (!run.referer.empty()) http.referer = run.referer;
  AddEngineHeaders(http, request, run.engine);
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
  if (!connection) {
    run.failure = ConnectionFailure(progress, http.url, FailureKind::kNoResponse);
    return false;
  }
  const int status = StatusCode(header);
  run.report.httpStatus = status;
  if (status < 200 || status > 299) {
    std::int64_t retryAfter = 0;
    run.failure = StatusFailure(header, status, http.workUrl, UnixNow(), retryAfter);
    return false;
  }
  FileCloser file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (file.fd < 0) return false;
  if (!request.followUp) run.referer = Cut(http.workUrl, kRefererMax);
  request.url = Cut(http.workUrl, request.followUp ? kFollowUpAddressMax : kPageBaseMax);
  bool intact = true;
  std::int64_t bytes = 0;
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
    bytes += n;
    if (bytes > kMaxSearchPageBytes) {
      intact = false;
      return static_cast<int>(kReadFailed);
    }
    lastRead += static_cast<int>(n);
    lastActivity = NowSeconds();
    return static_cast<int>(lastRead == room ? kReadFull : kReadPending);
  };
  ExtractWhole(run.extraction, std::move(reader), run.window, engine, request, run.context);
  connection.Close();
  run.report.bytes += bytes;
  ++run.report.pages;
  // The page's address names where it came from; the user's key is no part of it.
  const std::string trailer = TrailerOf(WithoutUserKey(http.workUrl, request.fields.userKey));
  if (!intact || !FdWriteAll(file.fd, trailer)) {
    // A page cut short would replay as a different page.
    ::unlink(path.c_str());
  }
  return true;
}

// Reads a captured page; the address it came from is taken from its trailer. False when the
// file is not there.
bool ReplayPage(TestRun& run, EngineDefinition& engine, EngineRequest& request,
                const std::string& path) {
  std::string image;
  if (!FileReadAll(path, image)) return false;
  run.report.bytes += static_cast<std::int64_t>(image.size());
  ++run.report.pages;
  std::string_view page(image);
  const std::size_t trailer = page.rfind(kTestPageTrailerStart);
  if (trailer != std::string_view::npos && page.ends_with(kTestPageTrailerEnd)) {
    const std::size_t from = trailer + kTestPageTrailerStart.size();
    const std::string_view address =
        page.substr(from, page.size() - from - kTestPageTrailerEnd.size());
    if (address.find('\n') == std::string_view::npos && !address.empty()) {
      request.url = Cut(address, request.followUp ? kFollowUpAddressMax : kPageBaseMax);
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
  ExtractWhole(run.extraction, std::move(reader), run.window, engine, request, run.context);
  return true;
}

// One page of the test run: read from its file when it is there, else (capturing) fetched.
bool TestPage(TestRun& run, EngineDefinition& engine, EngineRequest& request,
              const std::string& path) {
  if (FileExists(path)) return ReplayPage(run, engine, request, path);
  if (run.session.mode != kSearchCapture) return false;
  return CapturePage(run, engine, request, path);
}

// The follow-ups the last page's items asked for, each from its own page file.
void TestFollowUps(TestRun& run, const EngineRequest& pageRequest) {
  FollowUpQueue& queue = run.session.followUps[&run.engine];
  EngineDefinition view;
  PrepareFollowUpEngine(view, run.engine);
  while (!queue.pending.empty() && Running(run.session)) {
    const FollowUp followUp = std::move(queue.pending.front());
    queue.pending.pop_front();
    EngineRequest request = FollowUpRequest(followUp, pageRequest);
    TakeSearchCounters(view, run.engine);
    run.failure = NetFailure{};
    const bool read = TestPage(run, view, request,
                               TestPagePath(run.session.home, run.engine, followUp.page,
                                            followUp.index));
    TakeSearchCounters(run.engine, view);
    if (!read) ++queue.failed;
    if (run.failure.kind == FailureKind::kRateLimited) return;
    if (run.engine.foundCount >= run.session.settings.maxResultsPerEngine) queue.pending.clear();
  }
  run.failure = NetFailure{};
}

void RunEngineTestMode(SearchSession& session, EngineDefinition& engine,
                       ExtractionContext& context, EngineReport& report) {
  engine.foundCount = 0;
  EngineRequest request;
  BuildRequest(request, FieldsFor(session, engine), engine);
  TestRun run{session, engine, context, report};
  std::string limit;
  if (TestPagePath(session.home, engine, 1).empty()) {
    run.failure.kind = FailureKind::kLocalFile;
    run.failure.detail = "FILE is not a plain name";
    FinishReport(session, engine, run.failure, limit, report);
    return;
  }
  FollowUpQueue& queue = session.followUps[&engine];
  if (session.mode == kSearchCapture) {
    CaptureHomePage(session, engine);
    if (engine.action.empty()) {
      FinishReport(session, engine, run.failure, limit, report);
      return;
    }
    run.referer = Cut(engine.homeUrl, kRefererMax);
  }
  std::unordered_set<std::string> visited;
  bool more = true;
  for (int page = 1; more && Running(session) && MarkPageVisited(visited, request); ++page) {
    if (page > engine.PageLimit()) {
      limit = "PAGES " + std::to_string(engine.PageLimit());
      break;
    }
    queue.page = page;
    queue.pageIndex = 0;
    if (!TestPage(run, engine, request, TestPagePath(session.home, engine, page))) break;
    more = run.extraction.nextPage;
    TestFollowUps(run, request);
    if (engine.foundCount >= session.settings.maxResultsPerEngine) {
      limit = "results per engine " + std::to_string(session.settings.maxResultsPerEngine);
    }
  }
  FinishReport(session, engine, run.failure, limit, report);
}

}  // namespace

void RunTestMode(SearchSession& session) {
  ExtractionContext scan = MakeScanContext(session);
  ResetSearchState(session.engines);
  session.followUps.clear();
  const std::vector<int> reportLines = BeginReport(session);
  if (session.mode == kSearchCapture) {
    (void)MakeDirectories((std::filesystem::path(session.home) / kTestPageFolder).string());
  }
  for (int i = 0; i < session.engines.Count(); ++i) {
    if (!Running(session)) break;
    EngineDefinition& engine = *session.engines.Get(i);
    if (!engine.enabled) continue;
    EngineReport& report =
        session.report.engines[static_cast<std::size_t>(reportLines[static_cast<std::size_t>(i)])];
    if (SkipEngine(session, engine, report)) continue;
    ++session.counts.enginesStarted;
    ReportCounts(session);
    RunEngineTestMode(session, engine, scan, report);
    ++session.counts.enginesFinished;
    ReportCounts(session);
  }
}

}  // namespace sondrel
