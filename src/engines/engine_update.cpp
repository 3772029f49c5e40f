#include "engines/engine_update.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "engines/engine_texts.h"
#include "engines/engine_update_internal.h"
#include "engines/update_texts.h"
#include "net/environment_proxy.h"
#include "net/http_connection.h"
#include "net/http_request.h"
#include "support/paths.h"
#include "support/string_list.h"

namespace sondrel {
namespace {

constexpr std::size_t kChecksumFieldSize = 4;

// Written by whichever thread runs the check (the search thread or the interface thread), never
// by two at once; atomic so that a reader on the other thread sees it whole.
std::atomic<bool> checkedThisRun{false};

int MapFetchResult(int fetched) {
  switch (fetched) {
    case kFetchDone:
      return kUpdateReceived;
    case kFetchNotModified:
    case kFetchRefused:
    case kFetchHttpError:
      return kUpdateNothing;
    default:
      return kUpdateFailed;
  }
}

// Puts a checked database image in place of the file and loads it. False leaves the file (when
// it could not be replaced) and the engine list as they were.
bool InstallDatabase(EngineUpdateTarget& target, std::string_view image) {
  if (FileReplaceAll(target.databasePath, image) != 1) return false;
  EngineList fresh;
  LoadedDatabase info;
  if (!LoadDatabase(target.databasePath, fresh, info)) return false;
  target.engines = std::move(fresh);
  target.database = info;
  // Engines that kept their names keep their choice, new ones start disabled, and names of
  // engines that are gone leave the list.
  ApplyEnabledNames(target.engines, target.settings.enabledEngines);
  RebuildEnabledNames(target.engines, target.settings.enabledEngines);
  return true;
}

struct CommandState {
  const UpdateCommandView* view;
};

void CommandProgress(NetProgress& progress) {
  const auto* state = static_cast<const CommandState*>(progress.userData);
  if (!state || !state->view) return;
  std::string text = FormatProgress(progress);
  if (text.empty()) return;  // states without a text leave the line as it was
  if (progress.state == kNetStateData && progress.total >= 1 && state->view->bar) {
    state->view->bar(progress.transferred, progress.total);
  }
  if (state->view->status) state->view->status(text);
}

}  // namespace

std::string UpdateAddress() {
  const char* value = std::getenv(kUpdateUrlVariable);
  if (value && *value) return value;
  return std::string(kUpdateUrl);
}

bool UpdateDue(const DateStamp& lastEngineUpdate, const DateStamp& now) {
  if (lastEngineUpdate.IsEmpty()) return true;
  return HoursBetween(now, lastEngineUpdate) > kUpdateDueHours;
}

bool UpdateBodyValid(std::string_view body) {
  if (body.size() <= kDatabaseMagic.size() + kChecksumFieldSize) return false;
  if (body.substr(0, kDatabaseMagic.size()) != kDatabaseMagic) return false;
  std::uint32_t computed = 0;
  if (!DatabaseChecksumOf(body, computed)) return false;
  const auto* field = reinterpret_cast<const unsigned char*>(body.data() + kDatabaseMagic.size());
  const std::uint32_t stored =
      static_cast<std::uint32_t>(field[0]) | static_cast<std::uint32_t>(field[1]) << 8 |
      static_cast<std::uint32_t>(field[2]) << 16 | static_cast<std::uint32_t>(field[3]) << 24;
  return stored == computed;
}

int UpdateCheck(EngineUpdateTarget& target, NetProgressFn onProgress, NetCancelFn shouldCancel,
                void* userData) {
  if (checkedThisRun.load()) return kUpdateNothing;
  if (!UpdateDue(target.settings.lastEngineUpdate, DateStamp::CurrentLocal())) {
    checkedThisRun = true;
    return kUpdateNothing;
  }

  HttpRequest request;
  request.url = UpdateAddress();
  request.method = kHttpGet;
  if (!target.database.date.IsEmpty()) request.ifModifiedSince = target.database.date;
  request.useProxy = target.settings.webProxyOn != 0;
  request.proxyHost = target.settings.webProxyAddress;
  request.proxyPort = target.settings.webProxyPort;
  ApplyEnvironmentProxy(request);
  request.bodyCapacity = kUpdateBodyCapacity;

  NetProgress progress;
  progress.userData = userData;
  progress.onProgress = onProgress;
  progress.shouldCancel = shouldCancel;
  progress.attempts = kUpdateConnectAttempts;
  progress.timeoutSeconds = kUpdateTimeoutSeconds;
  progress.timeoutOn = true;

  int result = MapFetchResult(HttpFetchToMemory(request, progress));
  // A body that is not a whole database of ours, or that cannot be put in place, is a failed
  // check: nothing changes and the next search asks again.
  if (result == kUpdateReceived && !detail::AcceptUpdateBody(target, request.body)) {
    result = kUpdateFailed;
  }
  if (result != kUpdateFailed) {
    target.settings.lastEngineUpdate = DateStamp::CurrentLocal();
    checkedThisRun = true;
  }
  return result;
}

bool UpdateCheckedThisRun() {
  return checkedThisRun.load();
}

int RunUpdateEngines(EngineUpdateTarget& target, const UpdateCommandView& view) {
  SetStopFlag(false);
  CommandState state{&view};
  int result = UpdateCheck(target, CommandProgress, StopFlagCancel, &state);
  if (StopRequested()) result = kUpdateFailed;
  return result;
}

std::string_view UpdateOutcomeText(int result) {
  switch (result) {
    case kUpdateReceived:
      return kUpdateDoneText;
    case kUpdateNothing:
      return kUpdateNothingNewText;
    default:
      return kUpdateFailedText;
  }
}

namespace detail {

void ResetUpdateCheck() {
  checkedThisRun = false;
}

bool AcceptUpdateBody(EngineUpdateTarget& target, std::string_view body) {
  return UpdateBodyValid(body) && InstallDatabase(target, body);
}

}  // namespace detail

}  // namespace sondrel
