#pragma once
// Verification of results: every chosen entry is checked against its server and gets a status
// (1 valid, 2 size known but not retrievable, 4 invalid) and a size. HTTP entries are probed
// with one GET each; FTP entries are grouped by host so that all files of a server cost one
// login. A run thread dispatches the checks, at most maxConnections at once per pass.
//
// Only the interface thread writes the document: a check hands its outcome to the interface
// thread (RunInGuiThread), which stores it in the entry and updates the row. Without an
// installed dispatcher the outcome is stored by the checking thread itself.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/connection_pool.h"
#include "net/net_progress.h"
#include "results/row_commands.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "tasks/transfer_config.h"
#include "tasks/worker_thread.h"

namespace sondrel {

// The second status-bar panel while a run goes on: done, total.
inline constexpr const char* kVerifyProgressFormat = "VERIFY: %d/%d processed";

// What a run needs of the settings, copied when it starts.
struct VerifyConfig : TransferConfig {
  int maxConnections = 7;  // kept within 1..kPoolSlots
  bool removeInvalid = true;  // remove status-4 entries when the run ends
};
VerifyConfig VerifyConfigFrom(const Settings& settings);

// The front end's hooks; all of them run on the interface thread and may be empty.
struct VerifyCallbacks {
  std::function<void(int entryIndex)> rowUpdated;  // the entry got its new status and size
  std::function<void(const std::string& text)> progress;  // kVerifyProgressFormat filled in
  // The run ended (stopped or not), after the removal of invalid entries; removed counts them.
  std::function<void(int removed)> finished;
};

struct VerifyJob {
  int entry = -1;   // index into the document's entries
  std::string url;  // copied when the run starts: the checks never read the document
  // The outcome, handed to the interface thread with the report.
  std::uint8_t status = 0;
  std::int32_t size = -1;
};

struct FtpDirGroup {
  std::string directory;
  std::vector<int> jobs;  // in job order
};
struct FtpHostGroup {
  std::string host;
  std::vector<FtpDirGroup> dirs;  // by directory name, byte order
};

// One verification. The front end owns it and must not release or restart it before
// IsFinished(thread).
struct VerifyRun {
  SearchDocument* document = nullptr;
  RowView* rows = nullptr;  // for the removal of invalid entries; may be null
  VerifyConfig config;
  VerifyCallbacks callbacks;
  std::vector<VerifyJob> jobs;
  std::vector<FtpHostGroup> ftpGroups;  // by host name, byte order
  int done = 0;   // jobs reported so far
  int total = 0;  // jobs of the run
  const VerifyJob* current = nullptr;  // the job being reported; null for a pass or host start
  std::mutex mutex;                    // around current and each report
  int removed = 0;
  bool started = false;  // thread was started at least once
  CancelFlag cancel;     // this run's Stop; no other operation's
  WorkerThread thread;
  mutable ConnectionPool connections;  // kept open between checks of one server
};

enum VerifyStartResult {
  kVerifyNotStarted = 0,  // the run thread could not be started, or a run is still going
  kVerifyStarted = 1,     // finished() follows on the interface thread
  kVerifyNothingToDo = 2  // no entries chosen: nothing was started
};

// Starts a run over the given entries (indexes, in the order given; unknown ones are skipped).
// Clears the run's cancel flag and marks the document modified.
[[nodiscard]] int StartVerification(VerifyRun& run, SearchDocument& document,
                                    const std::vector<int>& entries, const VerifyConfig& config,
                                    VerifyCallbacks callbacks, RowView* rows = nullptr);
// Stops the run: no further check starts, the running ones end at their next wait and their
// entries keep the status they had. Safe in a signal handler (one atomic store).
void StopVerification(VerifyRun& run);
// Every selected row, in row order.
[[nodiscard]] int VerifySelected(VerifyRun& run, SearchDocument& document, RowView& rows,
                                 const VerifyConfig& config, VerifyCallbacks callbacks);
// Every entry of the document.
[[nodiscard]] int VerifyAll(VerifyRun& run, SearchDocument& document, const VerifyConfig& config,
                            VerifyCallbacks callbacks, RowView* rows = nullptr);

// The status of an HTTP check from HttpProbe's result and the reply's content type: an HTML
// page (in any spelling, with any parameters) is a page about the file, not the file.
std::uint8_t HttpCheckStatus(int probeResult, std::string_view contentType);
// An entry's size from a server's 64-bit one: -1 stays unknown, larger sizes stop at the top.
std::int32_t EntrySizeOf(std::int64_t size);
// "VERIFY: done/total processed".
std::string VerifyProgressText(int done, int total);

// The FTP jobs of a run grouped by host and directory (exact, case-sensitive scheme "ftp").
std::vector<FtpHostGroup> GroupFtpJobs(const std::vector<VerifyJob>& jobs);
// Whether a job is checked by the HTTP pass: scheme exactly "http".
bool IsHttpJob(const VerifyJob& job);

}  // namespace sondrel
