#include "net/net_progress.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "net/net_texts.h"

namespace sondrel {
namespace {

std::atomic<bool> g_stopFlag{false};
std::atomic<IdleHook> g_idleHook{&NetIdle};

std::uint64_t SteadyMillis() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

NetProgress TimedProgress(int timeoutSeconds, NetProgressFn onProgress, NetCancelFn shouldCancel,
                          void* userData) {
  NetProgress progress;
  progress.userData = userData;
  progress.onProgress = onProgress;
  progress.shouldCancel = shouldCancel;
  progress.attempts = 1;
  progress.timeoutOn = true;
  progress.timeoutSeconds = timeoutSeconds;
  return progress;
}

void ReportProgress(NetProgress& progress) {
  if (progress.onProgress) progress.onProgress(progress);
}

void ReportState(NetProgress& progress, int state) {
  progress.state = state;
  ReportProgress(progress);
}

bool CancelRequested(NetProgress* progress) {
  if (!progress) return false;
  if (progress->cancel && progress->cancel->Requested()) return true;
  return progress->shouldCancel && progress->shouldCancel(*progress);
}

std::string FormatProgress(const NetProgress& progress) {
  switch (progress.state) {
    case kNetStateResolving:
      return std::string(net_texts::kResolving);
    case kNetStateConnecting:
      return std::string(net_texts::kConnecting);
    case kNetStateConnected:
      return std::string(net_texts::kConnected);
    case kNetStateSending:
      return std::string(net_texts::kSendingRequest);
    case kNetStateWaiting:
      return std::string(net_texts::kWaitingReply);
    case kNetStateReceived:
      return std::string(net_texts::kReceivedReply);
    case kNetStateData: {
      char line[96];
      if (progress.total > 0) {
        int percent = static_cast<int>(progress.transferred * 100 / progress.total);
        std::snprintf(line, sizeof line, net_texts::kProgressOfTotal,
                      static_cast<long>(progress.transferred), static_cast<long>(progress.total),
                      percent);
      } else {
        std::snprintf(line, sizeof line, net_texts::kProgressBytes,
                      static_cast<long>(progress.transferred));
      }
      return line;
    }
    default:
      return {};
  }
}

std::uint32_t NowMillis() {
  return static_cast<std::uint32_t>(SteadyMillis());
}

std::uint64_t NowSeconds() {
  return SteadyMillis() / 1000;
}

bool TimedOut(const NetProgress* progress, std::uint64_t startSeconds) {
  if (!progress || !progress->timeoutOn) return false;
  std::uint64_t now = NowSeconds();
  return now - startSeconds >
         static_cast<std::uint64_t>(progress->timeoutSeconds < 0 ? 0 : progress->timeoutSeconds);
}

void SetStopFlag(bool value) {
  g_stopFlag.store(value);
}
bool StopRequested() {
  return g_stopFlag.load();
}
bool StopFlagCancel(NetProgress&) {
  return StopRequested();
}

void SetIdleHook(IdleHook hook) {
  g_idleHook.store(hook);
}
IdleHook CurrentIdleHook() {
  return g_idleHook.load();
}
void NetIdle() {}

}  // namespace sondrel
