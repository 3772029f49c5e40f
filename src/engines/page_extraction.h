#pragma once
// Reading result entries and the next-page address out of an engine's result page while it
// arrives. The page is never held whole: a fixed window is refilled chunk by chunk, each chunk
// is cleaned and scanned, and entries that begin in a window's second half wait for the next
// chunk so that an entry straddling a chunk boundary is always seen whole.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "engines/query.h"
#include "engines/url_building.h"
#include "results/result_entry.h"

namespace sondrel {

struct EngineDefinition;
struct SearchDocument;
struct Settings;

inline constexpr int kPageWindowSize = 10000;
inline constexpr int kPageWindowSlack = 10;  // the window's buffer is this much larger
// A search never holds more than this many results, whatever maxResultsTotal says.
inline constexpr int kResultListMax = 16000;
inline constexpr std::size_t kNextAddressSize = 2026;  // holds at most 2025 characters
inline constexpr std::size_t kMorePieceSize = 2048;
inline constexpr std::size_t kVariableValueSize = 2000;  // a decoded value, at most 1999

// What a scan needs from the search that runs it.
struct ExtractionContext {
  SearchDocument& document;
  const Settings& settings;
  std::function<void()> idle;  // after every extracted entry
  // An accepted result was appended; index is its place in document.entries.
  std::function<void(const ResultEntry& entry, int index)> resultAdded;
  std::function<bool()> running;  // false once the search is stopped; unset means running
  // Runs the append of an accepted result and its resultAdded as one step on the interface
  // thread, so the entry array only changes where the front end reads it and never while it
  // does. Unset: both run on the scanning thread.
  std::function<void(const std::function<void()>&)> onInterfaceThread;
  // The total result limit was reached: the whole search is to end (every engine stops).
  std::function<void()> totalLimitReached;
  // An engine with a follow-up request found an item on its page; false when the engine may
  // take no more items (its follow-up limit). Unset: items are dropped.
  std::function<bool(EngineDefinition& engine, const ResultEntry& item,
                     const CapturedValues& values, const EngineRequest& request)>
      itemFound;
};

// Reads the next bytes of the page into dst[lastRead, room) and advances lastRead, refreshing
// lastActivity whenever data comes. Results as for a non-blocking block read.
using PageReader =
    std::function<int(char* dst, int room, int& lastRead, std::uint64_t& lastActivity)>;
enum PageReadResult {
  kReadFailed = 0,    // failure, timeout or cancellation
  kReadFull = 1,      // dst is full (lastRead == room)
  kReadComplete = 2,  // the page is complete or the server closed
  kReadPending = 3,   // nothing more yet
};

enum ExtractionState {
  kExtractReading = 0,
  kExtractScanning = 1,
  kExtractFinal = 2,
  kExtractDone = 3,
};

// One per engine slot.
struct PageExtraction {
  int state = kExtractDone;
  bool going = false;  // the engine may continue
  int held = 0;        // unconsumed page text at the start of the buffer
  int room = 0;        // free bytes for the next read: bufferSize - 1 - held
  int length = 0;      // page text in the buffer after the last chunk was added
  int added = 0;       // bytes the last chunk added (after cleaning)
  int consumed = 0;    // the last scan took entries up to here
  bool varsFound = false;
  bool nextPage = false;  // when done: request has been rewritten for the following page
  int lastRead = 0;       // bytes read into the free room since the last scan
  PageReader connection;
  char* buffer = nullptr;  // the slot's window: bufferSize + kPageWindowSlack bytes
  int bufferSize = 0;
  EngineDefinition* engine = nullptr;
  EngineRequest* request = nullptr;  // url: the page's own address
  ExtractionContext* job = nullptr;
  std::uint64_t lastActivity = 0;
  // Uncleaned line-break characters at the end of the held text: whether they go or become a
  // space depends on the byte that follows them, which has not arrived yet.
  int rawTail = 0;
  char previousByte = 0;  // the last byte dropped from the window: what the held text follows
  // The following page's request, built while the page is scanned and put into request only
  // when the page is finished, so the page's later links still resolve against its own address.
  EngineRequest nextRequest;
};

// Starts a page once its reply header arrived with a 2xx status. buffer holds the window and
// its slack (at least bufferSize + kPageWindowSlack bytes; a smaller one shrinks the window).
void BeginPage(PageExtraction& extraction, PageReader connection, std::span<char> buffer,
               int bufferSize, EngineDefinition& engine, EngineRequest& request,
               ExtractionContext& job);

// Advances the machine by one step: kReadPending (3) while busy, 1 when done. Never blocks
// beyond what connection does.
[[nodiscard]] int StepPageExtraction(PageExtraction& extraction);

// Cleans line breaks in place: runs of LF, CR, tab and form feed after a '>' or before a '<'
// vanish, CR LF becomes one space, any other of them a space. previous is the byte before text
// (0 when none). The cleaned length.
int CleanChunk(char* text, int length, char previous = 0);

// Takes entries out of text from consumed on (final: the page has ended) and looks for the
// page variables; consumed becomes where the next scan starts. When the next-page address is
// built, nextPage is set and nextRequest holds the following page's request. Returns going.
[[nodiscard]] bool Scan(std::string_view text, EngineDefinition& engine,
                        const EngineRequest& request, ExtractionContext& job, bool final,
                        int& consumed, bool& nextPage, bool& varsFound, EngineRequest& nextRequest);

// Captures, in text, every page variable of the engine not yet captured. Whether all are.
[[nodiscard]] bool CaptureVariables(std::string_view text, EngineDefinition& engine);

// Rewrites request (whose url is the current page) into the request of the following page
// from the engine's MORE template and the captured variables. False when MORE names a
// variable no pattern provides; request is then unchanged. An address longer than
// kNextAddressSize - 1 characters is cut there.
[[nodiscard]] bool BuildNextPageRequest(EngineRequest& request, const EngineDefinition& engine);

}  // namespace sondrel
