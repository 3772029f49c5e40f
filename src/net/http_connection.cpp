#include "net/http_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "net/cookies.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "support/dates.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

long FindHeaderEnd(const char* buf, std::size_t n, void*) {
  return static_cast<long>(HeaderEnd(buf, n));
}

bool IsSuccess(int status) {
  return status >= 200 && status <= 299;
}

// The result of a fetch that got no usable connection, judged from the header it got.
int NoConnectionResult(const std::string& header, int otherFailure) {
  if (header.empty()) return kFetchNoResponse;
  int status = StatusCode(header);
  if (status == 401 || status == 403) return kFetchRefused;
  return otherFailure;
}

bool IsRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// HttpReceiveBody that tells a failed write (kFetchWriteFailed) from a failed transfer.
int ReceiveBody(int connection, int fd, NetProgress& progress) {
  std::vector<char> block(kFileBodyBlock);
  std::uint32_t start = NowMillis();
  for (;;) {
    if (CancelRequested(&progress)) return kFetchFailed;
    long n = HttpReadBlock(connection, block.data(), block.size(), progress);
    if (n < 0) return kFetchFailed;
    if (n == 0) break;
    progress.elapsedMs = static_cast<std::uint32_t>(NowMillis() - start);
    ReportState(progress, kNetStateData);
    if (!FdWriteAll(fd, std::string_view(block.data(), static_cast<std::size_t>(n)))) {
      return kFetchWriteFailed;
    }
  }
  // A connection that closes before the announced length is a broken transfer, not a file.
  if (progress.total >= 0 && progress.transferred < progress.total) return kFetchFailed;
  return kFetchDone;
}

}  // namespace

int HttpExchange(const HttpFetchState& state, HttpRequest& request, std::string& header,
                 std::size_t headerSize, NetProgress& progress) {
  header.clear();
  int s = ConnectHost(state.connectHost, state.connectPort, &progress);
  if (s == kNoSocket) return -1;
  std::string text = state.requestText;
  if (request.useCookies) AddCookieHeader(text, kRequestTextMax, GlobalCookies(), request.workUrl);
  progress.text = text;
  ReportState(progress, kNetStateSending);
  bool sent = SendAll(s, text.data(), static_cast<long>(text.size()), static_cast<long>(kSendBlock),
                      &progress) >= 0;
  if (sent && request.method == kHttpPost && !request.postBody.empty()) {
    sent = SendAll(s, request.postBody.data(), static_cast<long>(request.postBody.size()),
                   static_cast<long>(kSendBlock), &progress) >= 0;
  }
  if (!sent) {
    CloseConnection(s, &progress);
    return -1;
  }
  ReportState(progress, kNetStateWaiting);
  if (RecvUntil(s, header, headerSize, FindHeaderEnd, nullptr, &progress) != 1) {
    CloseConnection(s, &progress);
    return -1;
  }
  if (request.useCookies) StoreCookies(GlobalCookies(), header, request.workUrl);
  progress.text = header;
  ReportState(progress, kNetStateReceived);
  return s;
}

int HttpOpen(HttpRequest& request, std::string& header, std::size_t headerSize,
             NetProgress& progress) {
  HttpFetchState state;
  PrepareHttpFetch(request, state);
  header.clear();
  int result = -1;
  for (;;) {
    if (CancelRequested(&progress)) break;
    int s = HttpExchange(state, request, header, headerSize, progress);
    if (s < 0) break;
    int verdict = EvaluateResponse(state, request, header, progress);
    if (verdict == kEvaluateDone) {
      result = s;
      break;
    }
    // Never leave a connection open behind a retry or a redirect.
    CloseConnection(s, &progress);
    if (verdict != kEvaluateAgain) break;
  }
  request.method = state.startMethod;
  return result;
}

long HttpReadBlock(int connection, char* buffer, std::size_t size, NetProgress& progress) {
  auto cut = [&](std::size_t wanted) -> std::size_t {
    if (progress.total < 0) return wanted;
    std::int64_t left = progress.total - progress.transferred;
    return left <= 0 ? 0 : std::min<std::size_t>(wanted, static_cast<std::size_t>(left));
  };
  std::size_t rest = cut(size);
  std::size_t got = 0;
  while (rest > 0) {
    if (CancelRequested(&progress)) return -1;
    long r = RecvWait(connection, buffer + got, rest, 0, &progress);
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
    progress.transferred += r;
    progress.state = kNetStateData;
    rest = cut(size - got);
  }
  return static_cast<long>(got);
}

int HttpReceiveBody(int connection, int fd, NetProgress& progress) {
  int result = ReceiveBody(connection, fd, progress);
  return result == kFetchWriteFailed ? kFetchFailed : result;
}

int HttpBodyToFile(int connection, const HttpRequest& request, NetProgress& progress) {
  DateStamp began = DateStamp::CurrentLocal();
  progress.elapsedMs = 0;
  ReportState(progress, kNetStateData);
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (request.resume ? O_APPEND : O_TRUNC);
  int fd = ::open(request.fileName.c_str(), flags, 0666);
  if (fd < 0) {
    CloseConnection(connection, &progress);
    return kFetchWriteFailed;
  }
  int result = ReceiveBody(connection, fd, progress);
  CloseConnection(connection, &progress);
  bool regular = IsRegularFile(fd);
  if (::close(fd) != 0 && result == kFetchDone) result = kFetchWriteFailed;
  // The file carries the time its body began to arrive; devices such as /dev/null keep theirs.
  if (regular) SetFileModifiedStamp(request.fileName.c_str(), began);
  return result;
}

void SetResumeFromFile(HttpRequest& request, NetProgress& progress) {
  struct stat info {};
  if (::stat(request.fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  request.resume = true;
  request.resumeOffset = static_cast<std::int64_t>(info.st_size);
  progress.transferred = request.resumeOffset;
}

int HttpFetchFile(HttpRequest& request, NetProgress& progress) {
  std::string header;
  int s = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (s < 0) return NoConnectionResult(header, kFetchFailed);
  if (StatusCode(header) == 304) {
    CloseConnection(s, &progress);
    return kFetchNotModified;
  }
  int result = HttpBodyToFile(s, request, progress);
  return result == kFetchWriteFailed ? kFetchFailed : result;
}

int HttpFetchToFile(const std::string& fileName, std::string_view url, bool resume, bool useProxy,
                    std::string_view proxyHost, int proxyPort, int timeoutSeconds,
                    NetProgressFn onProgress, NetCancelFn shouldCancel, void* userData) {
  HttpRequest request;
  request.url = std::string(url);
  request.fileName = fileName;
  request.useProxy = useProxy;
  request.proxyHost = std::string(proxyHost);
  request.proxyPort = proxyPort;
  NetProgress progress = TimedProgress(timeoutSeconds, onProgress, shouldCancel, userData);
  if (resume) SetResumeFromFile(request, progress);
  return HttpFetchFile(request, progress);
}

int HttpFetchIfModified(HttpRequest& request, NetProgress& progress) {
  int result = HttpFetchFile(request, progress);
  if (result == kFetchNotModified && !request.fileName.empty() &&
      ::access(request.fileName.c_str(), F_OK) == 0) {
    SetFileModifiedStamp(request.fileName.c_str(), DateStamp::CurrentLocal());
  }
  return result;
}

int HttpFetchToMemory(HttpRequest& request, NetProgress& progress) {
  std::string header;
  int s = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (s < 0) return NoConnectionResult(header, kFetchHttpError);
  if (progress.total >= 0 && static_cast<std::uint64_t>(progress.total) > request.bodyCapacity) {
    CloseConnection(s, &progress);
    return kFetchFailed;
  }
  if (StatusCode(header) == 304) {
    CloseConnection(s, &progress);
    return kFetchNotModified;
  }
  request.body.clear();
  std::vector<char> block(kBodyBlock);
  bool fits = true;
  long n = 0;
  while ((n = HttpReadBlock(s, block.data(), block.size(), progress)) > 0) {
    ReportState(progress, kNetStateData);  // the update dialog shows how much has arrived
    // The body must stay below the capacity; the rest is still read to the end.
    if (request.body.size() + static_cast<std::size_t>(n) < request.bodyCapacity) {
      request.body.append(block.data(), static_cast<std::size_t>(n));
    } else {
      fits = false;
    }
  }
  CloseConnection(s, &progress);
  bool complete = n == 0 && (progress.total < 0 || progress.transferred >= progress.total);
  return fits && complete ? kFetchDone : kFetchFailed;
}

int HttpProbe(std::int64_t& totalOut, std::string& contentTypeOut, std::string_view url,
              bool useProxy, std::string_view proxyHost, int proxyPort,
              std::optional<std::string> referer, std::optional<std::string> userAgent,
              int timeoutSeconds, bool useHead, NetProgressFn onProgress, NetCancelFn shouldCancel,
              void* userData) {
  totalOut = -1;
  HttpRequest request;
  request.url = std::string(url);
  request.method = useHead ? kHttpHead : kHttpGet;
  request.useProxy = useProxy;
  request.proxyHost = std::string(proxyHost);
  request.proxyPort = proxyPort;
  request.referer = std::move(referer);
  request.userAgent = std::move(userAgent);
  NetProgress progress = TimedProgress(timeoutSeconds, onProgress, shouldCancel, userData);
  progress.attempts = 3;
  std::string header;
  int s = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (s < 0) return -1;
  int status = StatusCode(header);
  CloseConnection(s, &progress);
  if (IsSuccess(status)) {
    contentTypeOut = StrCopyN(request.contentType, kContentTypeMax + 1);
    totalOut = progress.total;
    return 1;
  }
  return 0;
}

}  // namespace sondrel
