#include "tasks/download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "net/ftp_control.h"
#include "net/ftp_transfer.h"
#include "net/ftp_url.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/local_file.h"
#include "net/range_reply.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "support/paths.h"
#include "tasks/download_progress.h"
#include "tasks/download_texts.h"
#include "tasks/part_file.h"
#include "tasks/gui_dispatch.h"

namespace sondrel {
namespace {

constexpr std::string_view kHttpScheme = "http";
constexpr std::string_view kHttpsScheme = "https";
constexpr std::string_view kFtpScheme = "ftp";

std::string Formatted(const char* format, std::string_view value) {
  const std::string text(value);
  const int n = std::snprintf(nullptr, 0, format, text.c_str());
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, text.c_str());
  out.resize(static_cast<std::size_t>(n));
  return out;
}

constexpr int kPartialContent = 206;
constexpr int kRangeNotSatisfiable = 416;
constexpr std::string_view kIfRange = "If-Range";
constexpr std::string_view kWeakValidator = "W/";
constexpr std::string_view kEtag = "ETag";
constexpr std::string_view kLastModified = "Last-Modified";

bool IsWebScheme(std::string_view scheme) {
  return scheme == kHttpScheme || scheme == kHttpsScheme;
}

bool IsSuccess(int status) {
  return status >= 200 && status <= 299;
}

std::string LongFormatted(const char* format, std::int64_t a, std::int64_t b) {
  char text[160];
  std::snprintf(text, sizeof text, format, static_cast<long long>(a), static_cast<long long>(b));
  return text;
}

void SetFailure(NetProgress& progress, FailureKind kind, std::string host, std::string detail) {
  progress.failure.kind = kind;
  progress.failure.host = std::move(host);
  progress.failure.detail = std::move(detail);
}

// Where a download starts: after the part when it is of the same address and version (offset
// and the validator to send with it), or after any part the user asked to continue.
struct ResumePoint {
  std::int64_t offset = 0;
  std::string validator;  // the version the part is of; empty when unknown
};

ResumePoint ResumePointOf(const PartFile& part, std::string_view url, const DownloadTarget& target) {
  ResumePoint point;
  const std::int64_t length = part.Length();
  if (target.restart || length <= 0) return point;
  PartRecord record;
  // A part of another address is never this file, whatever the user asked.
  if (part.ReadRecord(record) && record.url != url) return point;
  if (!target.resume && record.validator.empty()) return point;  // no way to tell the version
  point.offset = length;
  point.validator = record.validator;
  return point;
}

// The reply's validator for If-Range: a strong ETag, else the Last-Modified date.
std::string ValidatorOf(std::string_view header) {
  std::string value;
  if (FindHeader(value, kHeaderValueMax + 2, kEtag, header) && !value.empty() &&
      !value.starts_with(kWeakValidator)) {
    return value;
  }
  if (FindHeader(value, kHeaderValueMax + 2, kLastModified, header)) return value;
  return {};
}

// The body into the part; the whole file only when its length is the announced one.
int ReceiveIntoPart(HttpStream& stream, PartFile& part, NetProgress& progress) {
  const std::uint32_t start = NowMillis();
  progress.elapsedMs = 0;
  ReportState(progress, kNetStateData);
  std::vector<char> block(kFileBodyBlock);
  int result = kDownloadDone;
  for (;;) {
    if (CancelRequested(&progress)) {
      SetFailure(progress, FailureKind::kCancelled, {}, {});
      result = kDownloadFailed;
      break;
    }
    const long n = HttpReadBlock(stream, block.data(), block.size(), progress);
    if (n < 0) {
      result = kDownloadFailed;
      break;
    }
    if (n == 0) break;
    progress.elapsedMs = static_cast<std::uint32_t>(NowMillis() - start);
    ReportState(progress, kNetStateData);
    if (!FdWriteAll(part.fd(), std::string_view(block.data(), static_cast<std::size_t>(n)))) {
      SetFailure(progress, FailureKind::kLocalFile, {}, std::strerror(errno));
      result = kDownloadWriteFailed;
      break;
    }
  }
  stream.Close();
  if (result != kDownloadDone) return result;
  const std::int64_t length = part.direct() ? progress.transferred : part.Length();
  if (progress.total >= 0 && length != progress.total) {
    SetFailure(progress, FailureKind::kProtocol, {},
               LongFormatted(download_texts::kEndedShort, length, progress.total));
    return kDownloadFailed;
  }
  return kDownloadDone;
}

int RefusedReply(const std::string& header, NetProgress& progress) {
  if (header.empty()) return kDownloadNoConnection;
  const int status = StatusCode(header);
  if (!progress.failure) {
    progress.failure.kind = FailureKind::kHttpStatus;
    progress.failure.httpStatus = status;
  }
  return status == 401 || status == 403 ? kDownloadRefused : kDownloadFailed;
}

// One request for the file, from point on (or all of it). On a reply whose body cannot be
// placed after the part, tryWhole is set and nothing is written.
int HttpAttempt(std::string_view url, const ResumePoint& point, const HttpProxyRoute& route,
                PartFile& part, NetProgress& progress, bool& tryWhole) {
  tryWhole = false;
  HttpRequest request;
  request.url = std::string(url);
  request.useProxy = route.useProxy;
  request.proxyHost = route.host;
  request.proxyPort = route.port;
  if (point.offset > 0) {
    request.resume = true;
    request.resumeOffset = point.offset;
    // A changed file comes whole instead of its tail being glued to the old part.
    if (!point.validator.empty()) request.extraHeaders.emplace_back(kIfRange, point.validator);
  }
  progress.transferred = point.offset;
  std::string header;
  HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
  const std::int64_t offset = point.offset > 0 ? point.offset : -1;
  if (!stream) {
    const int status = StatusCode(header);
    // A range the server cannot serve, or a 206 the evaluation already refused: ask for all.
    tryWhole = offset > 0 && (status == kRangeNotSatisfiable || status == kPartialContent);
    return RefusedReply(header, progress);
  }
  const RangeCheck check = CheckRangeReply(header, offset);
  if (check.verdict == RangeVerdict::kRefused) {
    stream.Close();
    tryWhole = offset > 0 && IsSuccess(StatusCode(header));
    SetFailure(progress, FailureKind::kProtocol, {}, check.reason);
    return IsSuccess(StatusCode(header)) ? kDownloadFailed : RefusedReply(header, progress);
  }
  if (check.verdict == RangeVerdict::kFromStart) {
    if (!part.Restart()) {
      stream.Close();
      SetFailure(progress, FailureKind::kLocalFile, {}, std::strerror(errno));
      return kDownloadWriteFailed;
    }
    progress.transferred = 0;
  }
  progress.total = check.total;
  (void)part.WriteRecord(PartRecord{std::string(url), ValidatorOf(header)});
  return ReceiveIntoPart(stream, part, progress);
}

int HttpDownload(std::string_view url, const DownloadTarget& target, const HttpProxyRoute& route,
                 PartFile& part, NetProgress& progress) {
  bool tryWhole = false;
  int result = HttpAttempt(url, ResumePointOf(part, url, target), route, part, progress, tryWhole);
  if (!tryWhole) return result;
  // Once more, for the whole file; nothing of the refused reply was written.
  progress.failure = NetFailure{};
  return HttpAttempt(url, ResumePoint{}, route, part, progress, tryWhole);
}

// Login, binary type, SIZE and MDTM, then the retrieval into the part. The recorded MDTM stamp
// plays the part of If-Range: a part of another version starts over.
int FtpFileDownload(std::string_view url, const DownloadTarget& target, PartFile& part,
                    NetProgress& progress) {
  std::string path;
  if (!FtpPathOf(url, path)) {
    SetFailure(progress, FailureKind::kBadAddress, std::string(url), download_texts::kBadPath);
    return kDownloadFailed;
  }
  FtpAddress address;
  (void)FtpUrlParts(url, address);
  int code = -1;
  const int ctrl = FtpOpen(code, address.host, address.port, address.user, address.password, "",
                           &progress);
  if (ctrl < 0) return kDownloadNoConnection;
  if (code != kFtpOk) {
    CloseConnection(ctrl, &progress);
    return kDownloadNoConnection;
  }
  std::int64_t size = -1;
  progress.total = FtpSize(ctrl, size, path, &progress) == 1 ? size : -1;
  std::string stamp;
  (void)FtpModificationTime(ctrl, stamp, path, &progress);
  ResumePoint point = ResumePointOf(part, url, target);
  if (!point.validator.empty() && point.validator != stamp) point = ResumePoint{};
  if (progress.total >= 0 && point.offset > progress.total) point = ResumePoint{};
  (void)part.WriteRecord(PartRecord{std::string(url), stamp});
  const int r = FtpRetrieveToFd(ctrl, path, part.fd(), point.offset, progress);
  (void)FtpQuit(ctrl, &progress);
  if (r == kFtpWriteFailed) return kDownloadWriteFailed;
  if (r != kFtpTransferComplete) return kDownloadFailed;
  const std::int64_t length = part.direct() ? progress.transferred : part.Length();
  if (progress.total >= 0 && length != progress.total) {
    SetFailure(progress, FailureKind::kProtocol, address.host,
               LongFormatted(download_texts::kEndedShort, length, progress.total));
    return kDownloadFailed;
  }
  return kDownloadDone;
}

std::string SchemeOf(std::string_view url) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  return parts.scheme;
}

std::string DownloadOutcomeText(int result, std::string_view url, std::string_view localFile) {
  switch (result) {
    case kDownloadNoConnection:
      return Formatted(download_texts::kNoConnection, url);
    case kDownloadDone:
      return Formatted(download_texts::kComplete, localFile);
    case kDownloadWriteFailed:
      return Formatted(download_texts::kWriteFailed, localFile);
    case kDownloadInUse:
      return Formatted(download_texts::kInUse, localFile);
    case kDownloadExists:
      return Formatted(download_texts::kExists, localFile);
    default:
      return Formatted(download_texts::kFailed, url);
  }
}

void DownloadThread(WorkerThread& thread) {
  DownloadJob& job = *static_cast<DownloadJob*>(thread.arg);
  (void)RunInGuiThread([&job] {
    if (job.callbacks.bar) job.callbacks.bar(0, kDownloadBarStart);
    if (job.callbacks.lines) {
      job.callbacks.lines(DownloadSourceLine(job.url), DownloadDestinationLine(job.localFile));
    }
  });
  DownloadTarget target;
  target.localFile = job.localFile;
  target.resume = job.resume;
  target.restart = job.restart;
  target.overwrite = job.overwrite;
  NetProgress progress = TimedProgress(job.config.timeoutSeconds, DownloadProgress,
                                       DownloadCancelled, &job);
  job.result = DownloadUrl(job.url, target, job.config, progress);
  job.failure = progress.failure;
}

void DownloadDone(WorkerThread& thread) {
  DownloadJob& job = *static_cast<DownloadJob*>(thread.arg);
  if (job.callbacks.done) job.callbacks.done(job.result);
}

}  // namespace

DownloadConfig DownloadConfigFrom(const Settings& settings, std::string_view home) {
  DownloadConfig config;
  CopyTransferSettings(settings, config);
  config.directory = settings.downloadDirectory.empty() ? DefaultDownloadDirectory(home)
                                                        : settings.downloadDirectory;
  return config;
}

int PrepareDownloadPath(std::string& localPath, std::string_view url,
                        const std::string& directory) {
  if (!directory.empty()) (void)::mkdir(directory.c_str(), 0777);
  return LocalFileForUrl(localPath, url, directory);
}

SaveDecision DecideSave(std::int64_t existing, std::int64_t knownSize) {
  if (existing < 0) return kSaveFromStart;
  if (knownSize >= 0 && existing < knownSize) return kSaveAskResume;
  return kSaveAskOverwrite;
}

int AskSaveFile(std::string& path, std::int64_t knownSize, const SaveFileAsker& asker) {
  if (asker.choosePath && !asker.choosePath(path)) return kSaveCancel;
  switch (DecideSave(FileLengthOf(path), knownSize)) {
    case kSaveFromStart:
      return kSaveStart;
    case kSaveAskOverwrite: {
      const SaveAnswer answer = asker.askOverwrite ? asker.askOverwrite(path) : kAnswerNo;
      return answer == kAnswerYes ? kSaveStart : kSaveCancel;
    }
    case kSaveAskResume: {
      const SaveAnswer answer = asker.askResume ? asker.askResume(path) : kAnswerYes;
      if (answer == kAnswerYes) return kSaveResume;
      return answer == kAnswerNo ? kSaveStart : kSaveCancel;
    }
  }
  return kSaveCancel;
}

int PlanDownload(DownloadTarget& target, std::string_view url, const std::string& directory,
                 std::int64_t knownSize, const DownloadChoices& choices) {
  target = DownloadTarget{};
  if (PrepareDownloadPath(target.localFile, url, directory) != 1) return 0;
  target.resume = choices.resume;
  target.restart = choices.restart;
  if (!PathExists(target.localFile)) {
    // Nothing has the name, but a part beside it may be another address's download.
    target.localFile = FreeDownloadName(target.localFile, url);
    return target.localFile.empty() ? 0 : 1;
  }
  if (choices.overwrite) {
    target.overwrite = true;
    return 1;
  }
  ExistingFileAnswer answer = choices.resume ? ExistingFileAnswer::kResume
                                             : ExistingFileAnswer::kNewName;
  if (choices.askExisting) {
    struct stat info {};
    ExistingFile existing;
    existing.path = target.localFile;
    if (::lstat(existing.path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      existing.length = static_cast<std::int64_t>(info.st_size);
    }
    existing.knownSize = knownSize;
    answer = choices.askExisting(existing);
  }
  switch (answer) {
    case ExistingFileAnswer::kCancel:
      return 0;
    case ExistingFileAnswer::kReplace:
      target.overwrite = true;
      return 1;
    case ExistingFileAnswer::kResume:
      target.resume = true;
      return 1;
    case ExistingFileAnswer::kNewName:
      break;
  }
  target.resume = false;
  target.localFile = FreeDownloadName(target.localFile, url);
  return target.localFile.empty() ? 0 : 1;
}

int DownloadUrl(std::string_view url, const DownloadTarget& target, const DownloadConfig& config,
                NetProgress& progress) {
  const std::string scheme = SchemeOf(url);
  if (!IsWebScheme(scheme) && scheme != kFtpScheme) {
    SetFailure(progress, FailureKind::kBadAddress, std::string(url), {});
    return kDownloadFailed;
  }
  // The user's word to continue a file that has its final name: it becomes the part.
  if (target.resume && !PathExists(PartPathOf(target.localFile))) {
    (void)AdoptAsPart(target.localFile);
  }
  PartFile part;
  switch (part.Open(target.localFile, progress.failure)) {
    case PartOpen::kOpened: break;
    case PartOpen::kBusy: return kDownloadInUse;
    case PartOpen::kRefused: return kDownloadWriteFailed;
  }
  if (!part.direct() && !target.overwrite && PathExists(target.localFile)) {
    SetFailure(progress, FailureKind::kLocalFile, target.localFile,
               download_texts::kExistsNotReplaced);
    part.DiscardIfEmpty();
    return kDownloadExists;
  }
  int result = kDownloadFailed;
  if (IsWebScheme(scheme) || FtpProxyUsable(config)) {
    result = HttpDownload(url, target, HttpProxyFor(config, scheme == kFtpScheme, url), part, progress);
  } else {
    result = FtpFileDownload(url, target, part, progress);
  }
  if (result == kDownloadDone && !part.Commit(target.overwrite, progress.failure)) {
    result = PathExists(target.localFile) ? kDownloadExists : kDownloadWriteFailed;
  }
  if (result != kDownloadDone) part.DiscardIfEmpty();
  return result;
}

int DownloadUrl(std::string_view url, const std::string& localFile, bool resume,
                const DownloadConfig& config, NetProgressFn onProgress, NetCancelFn shouldCancel,
                void* userData) {
  DownloadTarget target;
  target.localFile = localFile;
  target.resume = resume;
  NetProgress progress = TimedProgress(config.timeoutSeconds, onProgress, shouldCancel, userData);
  return DownloadUrl(url, target, config, progress);
}

void DownloadProgress(NetProgress& progress) {
  auto* job = static_cast<DownloadJob*>(progress.userData);
  if (!job) return;
  DownloadView view;
  if (!job->meter.Describe(progress, view)) return;
  (void)RunInGuiThread([job, &view] {
    if (job->callbacks.figures) job->callbacks.figures(view);
    if (job->callbacks.stateLine) job->callbacks.stateLine(view.stateLine);
    if (view.remainingLine && job->callbacks.remainingLine) {
      job->callbacks.remainingLine(*view.remainingLine);
    }
    if (view.barPosition && job->callbacks.bar) job->callbacks.bar(*view.barPosition, view.barMaximum);
  });
}

bool DownloadCancelled(NetProgress& progress) {
  const auto* job = static_cast<const DownloadJob*>(progress.userData);
  return job && job->cancelRequested.load() != 0;
}

int StartDownload(DownloadJob& job) {
  job.cancelRequested = 0;
  job.result = kDownloadNoConnection;
  job.meter = DownloadMeter{};
  return StartWorker(job.thread, 0, DownloadThread, &job, DownloadDone);
}

std::int64_t RemoteFileSize(std::string_view url, const DownloadConfig& config,
                            NetCancelFn shouldCancel, void* userData) {
  const std::string scheme = SchemeOf(url);
  std::int64_t total = -1;
  std::string contentType;
  if (IsWebScheme(scheme) || (scheme == kFtpScheme && FtpProxyUsable(config))) {
    const HttpProxyRoute route = HttpProxyFor(config, scheme == kFtpScheme, url);
    if (HttpProbe(total, contentType, url, route.useProxy, route.host, route.port, std::nullopt,
                  std::nullopt, config.timeoutSeconds, /*useHead=*/false, nullptr, shouldCancel,
                  userData) != 1) {
      return -1;
    }
    return total;
  }
  if (scheme != kFtpScheme) return -1;
  NetProgress progress = TimedProgress(config.timeoutSeconds, nullptr, shouldCancel, userData);
  FtpAddress address;
  (void)FtpUrlParts(url, address);
  int code = -1;
  const int ctrl = FtpOpen(code, address.host, address.port, address.user, address.password, "",
                           &progress);
  if (ctrl < 0) return -1;
  std::string path;
  if (!FtpPathOf(url, path) || FtpSize(ctrl, total, path, &progress) != 1) total = -1;
  (void)FtpQuit(ctrl, &progress);
  return total;
}

std::string DownloadResultText(int result, std::string_view url, std::string_view localFile,
                               const NetFailure& failure) {
  std::string text = DownloadOutcomeText(result, url, localFile);
  if (result != kDownloadDone && !failure.detail.empty()) text += " (" + failure.detail + ")";
  return text;
}

std::string DownloadSourceLine(std::string_view url) {
  return Formatted(download_texts::kSourceLine, ShortenMiddle(url, kDownloadLineWidth));
}

std::string DownloadDestinationLine(std::string_view localFile) {
  return Formatted(download_texts::kDestinationLine, ShortenMiddle(localFile, kDownloadLineWidth));
}

}  // namespace sondrel
