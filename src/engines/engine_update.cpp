#include "engines/engine_update.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engines/engine_texts.h"
#include "engines/engine_update_internal.h"
#include "engines/update_texts.h"
#include "net/environment_proxy.h"
#include "net/http_connection.h"
#include "net/http_request.h"
#include "net/http_response.h"
#include "support/paths.h"
#include "support/string_list.h"

namespace sondrel {
namespace {

constexpr std::size_t kChecksumFieldSize = 4;

// Written by whichever thread runs the check (the search thread or the interface thread), never
// by two at once; atomic so that a reader on the other thread sees it whole.
std::atomic<bool> checkedThisRun{false};

// Only a database or a 304 is an answer; an error status, a refusal or a redirect loop says
// nothing about whether there is a newer database, so the check stays due.
int MapFetchResult(int fetched) {
  switch (fetched) {
    case kFetchDone:
      return kUpdateReceived;
    case kFetchNotModified:
      return kUpdateNothing;
    default:
      return kUpdateFailed;
  }
}

// "HTTP/1.1 500 Internal Server Error" -> "Internal Server Error".
std::string ReasonPhrase(std::string_view header) {
  std::string_view line = header.substr(0, header.find_first_of("\r\n"));
  const std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return {};
  return std::string(line.substr(second + 1, 80));
}

// Why the fetch gave no database: what the network layer recorded, else what the last reply
// header says.
NetFailure FetchFailure(int fetched, const HttpRequest& request, const NetProgress& progress,
                        const CancelFlag* cancel) {
  NetFailure failure = progress.failure;
  if (cancel && cancel->Requested()) failure.kind = FailureKind::kCancelled;
  // The whole address: the user may have set it (kUpdateUrlVariable) and should see which.
  failure.host = request.url;
  if (failure) return failure;
  const int status = StatusCode(progress.text);
  if (fetched == kFetchNoResponse || progress.text.empty()) {
    failure.kind = FailureKind::kNoResponse;
  } else if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
    failure.kind = FailureKind::kProtocol;
    failure.httpStatus = status;
    failure.detail = kUpdateRedirectLoopText;
  } else if (status >= 300) {
    failure.kind = FailureKind::kHttpStatus;
    failure.httpStatus = status;
    failure.reason = ReasonPhrase(progress.text);
  } else if (progress.total > static_cast<std::int64_t>(request.bodyCapacity) ||
             progress.transferred >= static_cast<std::int64_t>(request.bodyCapacity)) {
    failure.kind = FailureKind::kTooLarge;
  } else {
    failure.kind = FailureKind::kProtocol;
    failure.detail = kUpdateTransferFailedText;
  }
  return failure;
}

// Puts a checked database image in place of the file and loads it. False leaves the file (when
// it could not be replaced) and the engine list as they were.
// The image is loaded from a file of its own first: one that passes its checksum but does not
// load (a FILE that leaves its folder, a record cut short) never takes the place of the
// database that works. problem says why it did not load; it stays empty when a write failed.
bool InstallDatabase(EngineUpdateTarget& target, std::string_view image, std::string& problem) {
  const std::string candidate = target.databasePath + std::string(kUpdateCandidateSuffix);
  if (FileReplaceAll(candidate, image) != 1) return false;
  EngineList fresh;
  LoadedDatabase info;
  if (!LoadDatabase(candidate, fresh, info)) {
    problem = info.problem;
    (void)std::remove(candidate.c_str());
    return false;
  }
  if (std::rename(candidate.c_str(), target.databasePath.c_str()) != 0) {
    (void)std::remove(candidate.c_str());
    return false;
  }
  target.engines = std::move(fresh);
  target.database = info;
  // Engines that kept their names keep their choice, new ones start disabled, and names of
  // engines that are gone leave the list.
  // Until engines were chosen, every engine is.
  if (!EngineChoiceMade(target.settings)) {
    SetAllEnabled(target.engines, true);
    return true;
  }
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
                void* userData, const CancelFlag* cancel) {
  target.failure = NetFailure{};
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
  progress.cancel = cancel;
  progress.attempts = kUpdateConnectAttempts;
  progress.timeoutSeconds = kUpdateTimeoutSeconds;
  progress.timeoutOn = true;

  const int fetched = HttpFetchToMemory(request, progress);
  int result = MapFetchResult(fetched);
  if (result == kUpdateFailed) target.failure = FetchFailure(fetched, request, progress, cancel);
  // A body that is not a whole database of ours, or that cannot be put in place, is a failed
  // check: nothing changes and the next search asks again.
  if (result == kUpdateReceived) {
    if (!UpdateBodyValid(request.body)) {
      target.failure = {
          FailureKind::kProtocol, request.url, 0, 0, {}, std::string(kUpdateNotDatabaseText)};
      result = kUpdateFailed;
    } else if (std::string problem; !InstallDatabase(target, request.body, problem)) {
      target.failure = problem.empty()
                           ? NetFailure{FailureKind::kLocalFile, target.databasePath, 0, 0, {}, {}}
                           : NetFailure{FailureKind::kProtocol, request.url, 0, 0, {}, problem};
      result = kUpdateFailed;
    }
  }
  if (result != kUpdateFailed) {
    target.settings.lastEngineUpdate = DateStamp::CurrentLocal();
    checkedThisRun = true;
  }
  return result;
}

namespace {

struct DeadlineState {
  NetCancelFn outer;
  std::uint64_t deadline;
  bool passed = false;
};

bool PastDeadline(NetProgress& progress) {
  auto* state = static_cast<DeadlineState*>(progress.userData);
  if (state->outer && state->outer(progress)) return true;
  if (NowSeconds() < state->deadline) return false;
  state->passed = true;
  return true;
}

int CheckByDeadline(EngineUpdateTarget& target, NetCancelFn shouldCancel,
                    const CancelFlag* cancel, int deadlineSeconds) {
  DeadlineState state{shouldCancel, NowSeconds() + static_cast<std::uint64_t>(deadlineSeconds)};
  const int result = UpdateCheck(target, nullptr, PastDeadline, &state, cancel);
  if (result == kUpdateFailed && state.passed) {
    target.failure.kind = FailureKind::kTimedOut;
    target.failure.detail.clear();
  }
  return result;
}

}  // namespace

int AutomaticUpdateCheck(EngineUpdateTarget& target, NetCancelFn shouldCancel,
                         int deadlineSeconds) {
  return CheckByDeadline(target, shouldCancel, nullptr, deadlineSeconds);
}

int AutomaticUpdateCheck(EngineUpdateTarget& target, const CancelFlag& cancel,
                         int deadlineSeconds) {
  return CheckByDeadline(target, nullptr, &cancel, deadlineSeconds);
}

bool UpdateCheckedThisRun() {
  return checkedThisRun.load();
}

int RunUpdateEngines(EngineUpdateTarget& target, const UpdateCommandView& view) {
  CommandState state{&view};
  int result = UpdateCheck(target, CommandProgress, nullptr, &state, view.cancel);
  if (view.cancel && view.cancel->Requested()) {
    result = kUpdateFailed;
    target.failure.kind = FailureKind::kCancelled;
  }
  return result;
}

std::string UpdateFailureText(const NetFailure& failure) {
  std::string text(kUpdateFailedText);
  if (failure) text.append(" ").append(DescribeFailure(failure));
  return text;
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
  std::string problem;
  return UpdateBodyValid(body) && InstallDatabase(target, body, problem);
}

}  // namespace detail

}  // namespace sondrel
