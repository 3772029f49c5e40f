#pragma once
// Refreshing the engine database from the update server: at most once to an answer per program
// run, by itself before a search when the last answer is more than 5 hours old, or on demand.
// A received database replaces the file only after its magic and checksum were checked and
// every byte of it was written, so a bad reply or a full disk never costs the engines we have.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "engines/engine_database.h"
#include "engines/engine_definition.h"
#include "net/net_failure.h"
#include "net/net_progress.h"
#include "results/settings.h"
#include "support/dates.h"

namespace sondrel {

// A database larger than this cannot be received.
inline constexpr std::size_t kUpdateBodyCapacity = 30000;
inline constexpr int kUpdateConnectAttempts = 3;
inline constexpr int kUpdateTimeoutSeconds = 120;
// The check is due when the last answer is more than this many whole hours old.
inline constexpr long kUpdateDueHours = 5;

enum UpdateResult {
  // No answer, an error status (401, 404, 500, ...), a redirect loop, a transfer failure,
  // cancelled, or the new database unusable. Not stamped: the next search asks again.
  kUpdateFailed = 0,
  kUpdateReceived = 1,  // a new database was received and is the engine list now
  kUpdateNothing = 2,   // not due, checked already, or the server answered 304 (nothing new)
};

// What the check reads and replaces: the engine list in use, the settings (proxy, enabled
// engines, lastEngineUpdate) and the database file with its date.
struct EngineUpdateTarget {
  EngineUpdateTarget(EngineList& engineList, Settings& settingsRecord, std::string path,
                     LoadedDatabase& loaded)
      : engines(engineList),
        settings(settingsRecord),
        databasePath(std::move(path)),
        database(loaded) {}

  EngineList& engines;
  Settings& settings;
  std::string databasePath;
  LoadedDatabase& database;
  NetFailure failure;  // why the last check failed; kind kNone after any other result
};

// kUpdateUrl, or $SONDREL_UPDATE_URL when set.
std::string UpdateAddress();

// Whether an automatic check is due at now.
bool UpdateDue(const DateStamp& lastEngineUpdate, const DateStamp& now);

// A received body is a database we can use: longer than the magic and the checksum field,
// starting with the magic, and its stored checksum matches its content.
bool UpdateBodyValid(std::string_view body);

// The update check. onProgress and shouldCancel go into the fetch's progress record with
// userData, and cancel (the operation's own flag) too; any of them may be null.
[[nodiscard]] int UpdateCheck(EngineUpdateTarget& target, NetProgressFn onProgress,
                              NetCancelFn shouldCancel, void* userData = nullptr,
                              const CancelFlag* cancel = nullptr);

// The check before a search: UpdateCheck with a deadline for the whole check, so that a slow,
// trickling or stalled server delays the search by no more than that; the search then goes on
// with the engines it has (the failure says kTimedOut).
inline constexpr int kAutomaticUpdateSeconds = 20;
[[nodiscard]] int AutomaticUpdateCheck(EngineUpdateTarget& target, NetCancelFn shouldCancel,
                                       int deadlineSeconds = kAutomaticUpdateSeconds);
// The same, stopped by the search's own flag: the Stop of that search ends its check at once.
[[nodiscard]] int AutomaticUpdateCheck(EngineUpdateTarget& target, const CancelFlag& cancel,
                                       int deadlineSeconds = kAutomaticUpdateSeconds);

// "The search engines could not be updated: h: HTTP 500 Internal Server Error".
std::string UpdateFailureText(const NetFailure& failure);

// Whether a check has had an answer in this program run.
bool UpdateCheckedThisRun();

// The Update Engines command without its window: status gets the progress texts ("Resolving",
// "12 / 300 (4 %)", ...), bar the byte counts when the size is known. It stops when its own
// cancel flag is set (the progress window's Cancel), never on another operation's Stop; a
// cancelled command gives kUpdateFailed whatever the check got.
struct UpdateCommandView {
  std::function<void(std::string_view status)> status;
  std::function<void(std::int64_t position, std::int64_t total)> bar;
  const CancelFlag* cancel = nullptr;
};
[[nodiscard]] int RunUpdateEngines(EngineUpdateTarget& target, const UpdateCommandView& view);

// The message the command shows for a result.
std::string_view UpdateOutcomeText(int result);

}  // namespace sondrel
