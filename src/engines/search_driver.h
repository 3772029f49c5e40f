#pragma once
// One search from start to end. The search thread first lets the engine update refresh the
// engine list when it is due, then runs every enabled engine at once: a table of engine slots,
// each holding one engine's connection and page extraction as a step machine, is stepped in
// turn by that one thread. Between passes the thread sleeps in one poll over all slots'
// sockets, so it wakes as soon as any engine has data and costs nothing while all wait.
// Results reach the front end through callbacks that run on the interface thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engines/engine_database.h"
#include "engines/engine_definition.h"
#include "engines/engine_pauses.h"
#include "engines/follow_up.h"
#include "engines/page_extraction.h"
#include "engines/query.h"
#include "engines/search_report.h"
#include "net/async_http_job.h"
#include "net/http_request.h"
#include "net/net_progress.h"
#include "results/result_entry.h"
#include "results/search_document.h"
#include "results/settings.h"

namespace sondrel {

// At most this many engines run at once, whatever maxConnections says.
inline constexpr int kSearchSlots = 25;
inline constexpr int kSlotPageSize = 10000;  // the page window (and the reply header limit)
inline constexpr std::size_t kRefererMax = 1997;
inline constexpr std::size_t kPageBaseMax = 1021;  // the page address links resolve against
// An engine ends after this many pages, and when its next-page link leads back to a page it
// has fetched in this search: a page that links to itself would otherwise be fetched forever
// when its entries are refused as duplicates and never reach the per-engine limit.
inline constexpr int kMaxEnginePages = 500;
// A result page past this size ends its engine (what was read of it still counts): a page
// that never ends must not keep a search running.
inline constexpr std::int64_t kMaxSearchPageBytes = 8 * 1024 * 1024;
// A page, header and body, must arrive within this time, however steadily it trickles.
inline constexpr int kSearchPageDeadlineSeconds = 120;

// The control record of the running search.
struct SearchJob {
  std::atomic<std::uint8_t> running{0};  // cleared by Stop; every slot and scan tests it
  // Called on the search thread after every extracted entry and once per scheduler pass.
  std::function<void()> idle;
  NetProgressFn onProgress = nullptr;  // the engine connections report no progress
  int attempts = 1;                    // connect attempts per connection
};

enum SlotState {
  kSlotRequest = 0,   // send the next page's request, or finish
  kSlotHeader = 1,    // waiting for the reply header
  kSlotPage = 2,      // reading and extracting the page
  kSlotNextPage = 4,  // back to kSlotRequest
  kSlotClose = 5,     // close the connection
  kSlotRelease = 6,   // release the buffers
  kSlotFinished = 7,
};

struct SearchSession;

// One engine being run.
struct EngineSlot {
  int state = kSlotFinished;
  PageExtraction extraction;
  NetProgress progress;
  AsyncHttpJob connection;
  EngineDefinition* engine = nullptr;
  SearchSession* session = nullptr;
  EngineRequest request;
  HttpRequest http;
  bool morePages = false;
  std::string getAddress;
  bool firstPage = false;
  std::string referer;
  std::string header;      // the reply header
  std::vector<char> page;  // the page window: kSlotPageSize + kPageWindowSlack bytes
  int pageSize = kSlotPageSize;
  int status = 0;                           // HTTP status of the last reply
  std::unordered_set<std::string> visited;  // method and address of every page requested
  EngineReport* report = nullptr;           // this engine's line of the search report
  NetFailure failure;                       // why the engine ended early, when it did
  std::string limit;                        // which limit stopped it: "PAGES 5", ...
  int pagesRequested = 0;                   // result pages, follow-ups not counted
  // A follow-up is being fetched: its own request, and the engine as its pages are read.
  bool inFollowUp = false;
  EngineRequest followRequest;
  EngineDefinition followEngine;
  std::uint64_t requestStarted = 0;  // NowSeconds when the current request was sent
  std::int64_t pageBytes = 0;        // body bytes of the current page
  FailureKind pageCut = FailureKind::kNone;  // the current page was cut: too large, too slow
  bool readFailed = false;                   // the current page's body could not be read
  EntryTally tallyAtPage;                    // the engine's counts when its page began
  int foundAtPage = 0;
};

// Records the request of the engine's next page; false when the engine has to end instead
// (a page requested before, or kMaxEnginePages reached).
[[nodiscard]] bool MarkPageVisited(std::unordered_set<std::string>& visited,
                                   const EngineRequest& request);

enum SearchMode {
  kSearchNormal = 0,
  kSearchCapture = 1,  // fetch every page into the test-mode folder while searching
  kSearchReplay = 2,   // search the captured pages, without network
};

struct SearchProgress {
  int enginesFinished = 0;
  int enginesStarted = 0;
  int results = 0;  // entries in the document
};

// The front end's side of a search. Every callback runs on the interface thread (through the
// session's onInterfaceThread); any may be empty.
struct SearchCallbacks {
  // An accepted result was appended as entry index of the document: add its row.
  std::function<void(const ResultEntry& entry, int index)> resultAdded;
  // An engine started or finished.
  std::function<void(const SearchProgress& progress)> progress;
  // The engine update check starts (true) and ends (false): it may replace the engine list,
  // so the preferences, which edit the enabled engines, are closed meanwhile.
  std::function<void(bool checking)> updating;
  // The search has ended: leave the busy state. Runs after every search, test runs included.
  std::function<void()> finished;
  // The search-finished hook, after finished and only after a normal search: verification
  // attaches here.
  std::function<void()> searchFinished;
};

struct SearchSession {
  SearchSession(SearchDocument& document, EngineList& engines, Settings& settings,
                LoadedDatabase& database)
      : document(document), engines(engines), settings(settings), database(database) {}
  SearchSession(const SearchSession&) = delete;
  SearchSession& operator=(const SearchSession&) = delete;

  SearchDocument& document;
  EngineList& engines;
  Settings& settings;
  LoadedDatabase& database;
  std::string home;          // the program home: where the test-mode folder is
  std::string databasePath;  // replaced by the engine update
  SearchCallbacks callbacks;
  int mode = kSearchNormal;
  bool updateCheck = true;  // run the engine update check before the engines
  bool keepConnections = true;  // reuse a server's open connection for its next request
  // Runs a function on the interface thread and returns after it ran (RunInGuiThread). Empty:
  // the callbacks run on the calling thread, as in a test run or a search run inline.
  std::function<void(const std::function<void()>&)> onInterfaceThread;

  SearchJob job;
  // The search's own cancel flag: set by StopSearch, read by every wait of this search.
  CancelFlag cancel;
  // Complete when callbacks.finished runs: one line per enabled engine, in database order.
  SearchReport report;
  // For tests of slow pages; the default is kSearchPageDeadlineSeconds.
  int pageDeadlineSeconds = kSearchPageDeadlineSeconds;
  std::atomic<bool> totalLimitReached{false};  // the total result limit ends every engine
  std::unordered_map<const EngineDefinition*, FollowUpQueue> followUps;  // search thread only
  EnginePauses pauses;                       // read at the start of the scheduler
  ExtractionContext* scanContext = nullptr;  // while the scheduler runs: what its slots scan with
  ConnectionPool* connections = nullptr;     // while the scheduler runs: kept-open connections
  SearchProgress counts;                     // written by the search thread only
  std::atomic<bool> completed{false};        // the completion has run
};

// Main thread, before the search thread starts (tasks/search_thread.h starts it). The document's
// query and choices are set by the caller (SetSearchChoices). False for an empty query: nothing
// was changed and kEmptyQueryText is the message. Otherwise clears the stop flag, empties the
// list unless merging, builds the duplicate set and sets the job running.
[[nodiscard]] bool PrepareSearch(SearchSession& session);
// The Stop command: sets the search's cancel flag and clears running.
void StopSearch(SearchSession& session);

// The search thread's work: the update check when asked for, then the scheduler.
void RunSearchThread(SearchSession& session);
// On the interface thread when the search thread has ended (or after a test run): the
// duplicate set is released, finished runs, then searchFinished after a normal search.
void CompleteSearch(SearchSession& session);
// A test run on the calling thread, completion included.
void RunTestSearch(SearchSession& session);
// The scheduler alone.
void RunScheduler(SearchSession& session);
// The engine test modes, on the calling thread.
void RunTestMode(SearchSession& session);

// One slot's step machine, run by the scheduler (which sets session.scanContext).
void StartSlot(EngineSlot& slot, EngineDefinition& engine, SearchSession& session);
// kAsyncAgain (3) while busy, 1 when the slot has finished.
[[nodiscard]] int StepSlot(EngineSlot& slot);

// The test-mode page file of an engine: <home>/search/<fileStem><page>.htm, and of the
// followUp-th follow-up of that page <fileStem><page>-<followUp>.htm. Empty for a fileStem that
// is not a plain name.
std::string TestPagePath(const std::string& home, const EngineDefinition& engine, int page,
                         int followUp = 0);

}  // namespace sondrel
