#include "net/http_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "net/async_http_job.h"
#include "net/http_response.h"
#include "net/net_texts.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "support/dates.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

bool IsSuccess(int status) {
  return status >= 200 && status <= 299;
}

// The result of a fetch that got no usable connection, judged from the header it got.
int NoConnectionResult(const std::string& header, int otherFailure) {
  if (header.empty()) return kFetchNoResponse;
  int status = StatusCode(header);
  if (status == 401 || status == 403) return kFetchRefused;
  // The server said yes, but the reply could not be used (its length, its body).
  if (IsSuccess(status)) return kFetchFailed;
  return otherFailure;
}

bool IsRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool NoteFailure(NetProgress& progress, FailureKind kind) {
  if (!progress.failure) progress.failure.kind = kind;
  return false;
}

// Waits for the next body bytes: false after the timeout of silence, past deadlineStart's
// timeout when it is given, or on cancel.
bool AwaitBody(HttpStream& stream, NetProgress& progress, std::uint64_t silentSince,
               const std::uint64_t* deadlineStart) {
  if (IdleHook hook = CurrentIdleHook()) hook();
  if (CancelRequested(&progress)) return NoteFailure(progress, FailureKind::kCancelled);
  if (TimedOut(&progress, silentSince) || (deadlineStart && TimedOut(&progress, *deadlineStart))) {
    return NoteFailure(progress, FailureKind::kTimedOut);
  }
  return WaitConnection(stream.connection(), kPollSliceMs) >= 0 ||
         NoteFailure(progress, FailureKind::kNoResponse);
}

// HttpReadBlock with an optional deadline for the whole body.
long ReadBlock(HttpStream& stream, char* buffer, std::size_t size, NetProgress& progress,
               const std::uint64_t* deadlineStart) {
  std::size_t got = 0;
  std::uint64_t silentSince = NowSeconds();
  while (got < size) {
    IoResult r = stream.Read(buffer + got, size - got);
    if (r.status == IoStatus::kOk) {
      got += r.bytes;
      progress.transferred += static_cast<std::int64_t>(r.bytes);
      progress.state = kNetStateData;
      silentSince = NowSeconds();
      continue;
    }
    if (r.status == IoStatus::kClosed) break;
    if (r.status == IoStatus::kFailed) {
      if (!progress.failure) progress.failure = stream.body().failure();
      return -1;
    }
    if (got > 0) break;  // hand over what arrived; the caller comes back for more
    if (!AwaitBody(stream, progress, silentSince, deadlineStart)) return -1;
  }
  return static_cast<long>(got);
}

// HttpReceiveBody that tells a failed write (kFetchWriteFailed) from a failed transfer.
int ReceiveBody(HttpStream& stream, int fd, NetProgress& progress) {
  std::vector<char> block(kFileBodyBlock);
  std::uint32_t start = NowMillis();
  for (;;) {
    long n = HttpReadBlock(stream, block.data(), block.size(), progress);
    if (n < 0) return kFetchFailed;
    if (n == 0) break;
    progress.elapsedMs = static_cast<std::uint32_t>(NowMillis() - start);
    ReportState(progress, kNetStateData);
    if (!FdWriteAll(fd, std::string_view(block.data(), static_cast<std::size_t>(n)))) {
      return kFetchWriteFailed;
    }
  }
  return kFetchDone;
}

// A short body (an error page, a small file) is read to its end so that its connection can go
// back to the pool; a longer one is not worth the bytes, and its connection is closed.
void DrainSmallBody(HttpStream& stream, NetProgress& progress) {
  const HttpBody& body = stream.body();
  bool small = body.framing() == BodyFraming::kNone ||
               (body.framing() == BodyFraming::kLength && progress.total >= 0 &&
                progress.total - progress.transferred <= static_cast<std::int64_t>(kDrainMax));
  if (!small) return;
  std::vector<char> block(kBodyBlock);
  const std::uint64_t start = NowSeconds();
  while (ReadBlock(stream, block.data(), block.size(), progress, &start) > 0) {
  }
}

void CopyFailureHost(NetProgress& progress, const HttpRequest& request) {
  if (!progress.failure || !progress.failure.host.empty()) return;
  UrlParts parts;
  SplitUrl(request.workUrl.empty() ? request.url : request.workUrl, parts);
  std::string user, password, hostport;
  SplitUserInfo(parts.netloc, user, password, hostport);
  int port = -1;
  SplitHostPort(hostport, progress.failure.host, port);
}

}  // namespace

HttpStream HttpOpen(HttpRequest& request, std::string& header, std::size_t headerSize,
                    NetProgress& progress) {
  AsyncHttpJob job;
  job.Start(request, nullptr, header, headerSize, progress);
  if (RunJob(job) != kAsyncDone) {
    CopyFailureHost(progress, request);
    return {};
  }
  return job.TakeStream();
}

long HttpReadBlock(HttpStream& stream, char* buffer, std::size_t size, NetProgress& progress) {
  if (CancelRequested(&progress)) {
    NoteFailure(progress, FailureKind::kCancelled);
    return -1;
  }
  return ReadBlock(stream, buffer, size, progress, nullptr);
}

int HttpReceiveBody(HttpStream& stream, int fd, NetProgress& progress) {
  int result = ReceiveBody(stream, fd, progress);
  return result == kFetchWriteFailed ? kFetchFailed : result;
}

int HttpBodyToFile(HttpStream& stream, const HttpRequest& request, NetProgress& progress) {
  DateStamp began = DateStamp::CurrentLocal();
  progress.elapsedMs = 0;
  ReportState(progress, kNetStateData);
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (request.resume ? O_APPEND : O_TRUNC);
  int fd = ::open(request.fileName.c_str(), flags, 0666);
  if (fd < 0) {
    stream.Close();
    progress.failure.kind = FailureKind::kLocalFile;
    progress.failure.host = request.fileName;
    return kFetchWriteFailed;
  }
  int result = ReceiveBody(stream, fd, progress);
  stream.Close();
  bool regular = IsRegularFile(fd);
  if (::close(fd) != 0 && result == kFetchDone) result = kFetchWriteFailed;
  if (result == kFetchWriteFailed && !progress.failure) {
    progress.failure.kind = FailureKind::kLocalFile;
    progress.failure.host = request.fileName;
  }
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
  HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (!stream) return NoConnectionResult(header, kFetchFailed);
  if (StatusCode(header) == 304) return kFetchNotModified;
  int result = HttpBodyToFile(stream, request, progress);
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
  HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (!stream) return NoConnectionResult(header, kFetchHttpError);
  request.body.clear();
  if (StatusCode(header) == 304) return kFetchNotModified;
  auto tooLarge = [&] {
    progress.failure.kind = FailureKind::kTooLarge;
    progress.failure.detail = std::string(net_texts::kBodyTooLarge);
    CopyFailureHost(progress, request);
    return kFetchFailed;
  };
  if (progress.total >= 0 && static_cast<std::uint64_t>(progress.total) >= request.bodyCapacity) {
    return tooLarge();
  }
  std::vector<char> block(kBodyBlock);
  const std::uint64_t bodyStart = NowSeconds();
  long n = 0;
  while ((n = ReadBlock(stream, block.data(), block.size(), progress, &bodyStart)) > 0) {
    ReportState(progress, kNetStateData);  // the update dialog shows how much has arrived
    // The body must stay below the capacity; a longer one is not read on to its end.
    if (request.body.size() + static_cast<std::size_t>(n) >= request.bodyCapacity) {
      return tooLarge();
    }
    request.body.append(block.data(), static_cast<std::size_t>(n));
  }
  CopyFailureHost(progress, request);
  return n == 0 ? kFetchDone : kFetchFailed;
}

int HttpProbe(std::int64_t& totalOut, std::string& contentTypeOut, std::string_view url,
              bool useProxy, std::string_view proxyHost, int proxyPort,
              std::optional<std::string> referer, std::optional<std::string> userAgent,
              int timeoutSeconds, bool useHead, NetProgressFn onProgress, NetCancelFn shouldCancel,
              void* userData, ConnectionPool* pool) {
  totalOut = -1;
  HttpRequest request;
  request.url = std::string(url);
  request.pool = pool;
  request.method = useHead ? kHttpHead : kHttpGet;
  request.useProxy = useProxy;
  request.proxyHost = std::string(proxyHost);
  request.proxyPort = proxyPort;
  request.referer = std::move(referer);
  request.userAgent = std::move(userAgent);
  NetProgress progress = TimedProgress(timeoutSeconds, onProgress, shouldCancel, userData);
  progress.attempts = 3;
  std::string header;
  HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (!stream) return -1;
  int status = StatusCode(header);
  if (pool) DrainSmallBody(stream, progress);
  stream.Close();
  if (IsSuccess(status)) {
    contentTypeOut = StrCopyN(request.contentType, kContentTypeMax + 1);
    totalOut = progress.total;
    return 1;
  }
  return 0;
}

}  // namespace sondrel
