// sondrel-cli fetch: one blocking HTTP fetch with its progress states on stderr, for developers
// and bug reports.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "tasks/download.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kFetchUsage =
    "fetch URL [-o FILE] [--resume] [--head] [--proxy HOST:PORT] [--timeout S]";
constexpr int kDefaultTimeoutSeconds = 30;
constexpr std::uint32_t kDataLineEveryMs = 250;  // data progress is shown at most this often

// What the progress callback needs and what it keeps for the closing message.
struct FetchView {
  bool quiet = false;
  bool terminal = false;
  int lastState = -1;
  std::uint32_t lastDataLine = 0;
  std::size_t lastWidth = 0;
  std::string header;  // the last response header seen

  void Show(const std::string& text) {
    if (text.empty()) return;
    if (terminal) {
      std::string line = "\r" + text;
      if (text.size() < lastWidth) line.append(lastWidth - text.size(), ' ');
      lastWidth = text.size();
      std::fputs(line.c_str(), stderr);
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
  }
  void Finish(const NetProgress& progress) {
    if (quiet) return;
    if (progress.state == kNetStateData) Show(FormatProgress(progress));
    if (terminal && lastWidth > 0) std::fputc('\n', stderr);
  }
};

void OnProgress(NetProgress& progress) {
  FetchView& view = *static_cast<FetchView*>(progress.userData);
  if (progress.state == kNetStateReceived) view.header = progress.text;
  if (view.quiet) return;
  bool changed = progress.state != view.lastState;
  view.lastState = progress.state;
  if (progress.state == kNetStateData) {
    std::uint32_t now = NowMillis();
    if (!changed && now - view.lastDataLine < kDataLineEveryMs) return;
    view.lastDataLine = now;
  } else if (!changed) {
    return;
  }
  view.Show(FormatProgress(progress));
}

std::string FirstLine(const std::string& header) {
  return header.substr(0, header.find_first_of("\r\n"));
}

std::string Reason(int result, const std::string& header) {
  if (result == kFetchNoResponse || header.empty()) return "no response";
  if (result == kFetchRefused) return "refused: " + FirstLine(header);
  int status = StatusCode(header);
  if (status >= 200 && status <= 299) return "transfer failed after " + FirstLine(header);
  return FirstLine(header);
}

// The body goes to FILE.part and takes the name FILE once it is whole, as a download's does;
// --resume continues FILE (or its part) and the reply to the range is checked.
int FetchIntoFile(const HttpRequest& request, const std::string& file, bool resume,
                  int timeoutSeconds, NetProgress& progress) {
  DownloadTarget target;
  target.localFile = file;
  target.resume = resume;
  target.overwrite = true;  // -o names the file to write
  DownloadConfig config;
  config.timeoutSeconds = timeoutSeconds;
  config.webProxyOn = request.useProxy;
  config.webProxyHost = request.proxyHost;
  config.webProxyPort = request.proxyPort;
  switch (DownloadUrl(NormalizeHttpUrl(request.url), target, config, progress)) {
    case kDownloadDone: return kFetchDone;
    case kDownloadNoConnection: return kFetchNoResponse;
    case kDownloadRefused: return kFetchRefused;
    default: return kFetchFailed;
  }
}

bool ParseNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int RunFetch(Arguments& args, const Context& context) {
  std::optional<std::string> output = args.TakeShort('o');
  bool resume = args.TakeFlag("resume");
  bool head = args.TakeFlag("head");
  std::optional<std::string> proxy = args.TakeOption("proxy");
  std::optional<std::string> timeout = args.TakeOption("timeout");
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kFetchUsage);
  if (words.size() != 1) return UsageError("fetch takes exactly one URL", kFetchUsage);
  if (resume && !output) return UsageError("--resume needs -o FILE", kFetchUsage);
  if (head && output) return UsageError("--head prints the header; it takes no -o", kFetchUsage);

  HttpRequest request;
  request.url = words.front();
  long timeoutSeconds = kDefaultTimeoutSeconds;
  if (timeout && !ParseNumber(*timeout, 1, 86400, timeoutSeconds)) {
    return UsageError("--timeout needs a number of seconds", kFetchUsage);
  }
  if (proxy) {
    std::size_t colon = proxy->rfind(':');
    long port = 0;
    if (colon == std::string::npos || colon == 0 ||
        !ParseNumber(proxy->substr(colon + 1), 1, 65535, port)) {
      return UsageError("--proxy needs HOST:PORT", kFetchUsage);
    }
    request.useProxy = true;
    request.proxyHost = proxy->substr(0, colon);
    request.proxyPort = static_cast<int>(port);
  }

  FetchView view;
  view.quiet = context.quiet;
  view.terminal = ::isatty(STDERR_FILENO) == 1;
  NetProgress progress =
      TimedProgress(static_cast<int>(timeoutSeconds), OnProgress, StopFlagCancel, &view);
  SetStopFlag(false);
  NetStartup();

  int result = kFetchFailed;
  std::string header;
  if (head || !output) {
    if (head) request.method = kHttpHead;
    HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
    if (!stream) {
      result = header.empty() ? kFetchNoResponse : kFetchFailed;
    } else if (head) {
      stream.Close();
      std::cout << header << std::flush;
      result = std::cout ? kFetchDone : kFetchFailed;
    } else {
      result = HttpReceiveBody(stream, STDOUT_FILENO, progress);
      stream.Close();
    }
  } else {
    result = FetchIntoFile(request, *output, resume, static_cast<int>(timeoutSeconds), progress);
    header = view.header;
  }
  view.Finish(progress);
  NetShutdown();
  if (result == kFetchDone) return kExitOk;
  if (result == kFetchFailed && output && header.empty() && view.header.empty()) {
    return Fail(request.url + ": cannot fetch into " + *output);
  }
  // No reply at all: the failure names why (a certificate, a timeout, a refusal).
  if (progress.failure && header.empty() && view.header.empty()) {
    return Fail(request.url + ": " + DescribeFailure(progress.failure));
  }
  return Fail(request.url + ": " + Reason(result, header.empty() ? view.header : header));
}

}  // namespace sondrel::cli
