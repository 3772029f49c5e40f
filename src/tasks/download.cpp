#include "tasks/download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "net/ftp_control.h"
#include "net/ftp_transfer.h"
#include "net/ftp_url.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/local_file.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "support/paths.h"
#include "tasks/download_progress.h"
#include "tasks/download_texts.h"
#include "tasks/gui_dispatch.h"

namespace sondrel {
namespace {

constexpr std::string_view kHttpScheme = "http";
constexpr std::string_view kHttpsScheme = "https";
constexpr std::string_view kFtpScheme = "ftp";

bool IsWebScheme(std::string_view scheme) {
  return scheme == kHttpScheme || scheme == kHttpsScheme;
}

std::string Formatted(const char* format, std::string_view value) {
  const std::string text(value);
  const int n = std::snprintf(nullptr, 0, format, text.c_str());
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, text.c_str());
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Whether localFile can be written, without changing it. A file made for the test is removed
// again, so a download that never connects leaves nothing behind.
bool LocalFileWritable(const std::string& localFile) {
  int fd = ::open(localFile.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != ENOENT) return false;
  fd = ::open(localFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(localFile.c_str());
  return true;
}

int HttpDownload(std::string_view url, const std::string& localFile, bool resume,
                 const HttpProxyRoute& route, NetProgress& progress) {
  HttpRequest request;
  request.url = std::string(url);
  request.fileName = localFile;
  request.useProxy = route.useProxy;
  request.proxyHost = route.host;
  request.proxyPort = route.port;
  if (resume) SetResumeFromFile(request, progress);
  std::string header;
  HttpStream connection = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (!connection) {
    if (header.empty()) return kDownloadNoConnection;
    const int status = StatusCode(header);
    return status == 401 || status == 403 ? kDownloadRefused : kDownloadFailed;
  }
  if (StatusCode(header) == 304) return kDownloadNotModified;
  switch (HttpBodyToFile(connection, request, progress)) {
    case kFetchDone: return kDownloadDone;
    case kFetchWriteFailed: return kDownloadWriteFailed;
    default: return kDownloadFailed;
  }
}

// FtpDownload's steps, keeping a local write failure apart from a broken transfer.
int FtpFileDownload(std::string_view url, const std::string& localFile, bool resume,
                    NetProgress& progress) {
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
  const int r = FtpRetrieveFile(ctrl, UrlPathTail(url), localFile, resume, progress);
  (void)FtpQuit(ctrl, &progress);
  if (r == kFtpTransferComplete) return kDownloadDone;
  return r == kFtpWriteFailed ? kDownloadWriteFailed : kDownloadFailed;
}

std::string SchemeOf(std::string_view url) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  return parts.scheme;
}

void DownloadThread(WorkerThread& thread) {
  DownloadJob& job = *static_cast<DownloadJob*>(thread.arg);
  (void)RunInGuiThread([&job] {
    if (job.callbacks.bar) job.callbacks.bar(0, kDownloadBarStart);
    if (job.callbacks.lines) {
      job.callbacks.lines(DownloadSourceLine(job.url), DownloadDestinationLine(job.localFile));
    }
  });
  job.result = DownloadUrl(job.url, job.localFile, job.resume, job.config, DownloadProgress,
                           DownloadCancelled, &job);
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
  if (existing == knownSize) return kSaveAskOverwrite;
  if (existing < knownSize) return kSaveAskResume;
  return kSaveFromStart;
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

int DownloadUrl(std::string_view url, const std::string& localFile, bool resume,
                const DownloadConfig& config, NetProgressFn onProgress, NetCancelFn shouldCancel,
                void* userData) {
  const std::string scheme = SchemeOf(url);
  if (!IsWebScheme(scheme) && scheme != kFtpScheme) return kDownloadFailed;
  if (!LocalFileWritable(localFile)) return kDownloadWriteFailed;
  NetProgress progress = TimedProgress(config.timeoutSeconds, onProgress, shouldCancel, userData);
  if (IsWebScheme(scheme) || FtpProxyUsable(config)) {
    return HttpDownload(url, localFile, resume, HttpProxyFor(config, scheme == kFtpScheme),
                        progress);
  }
  return FtpFileDownload(url, localFile, resume, progress);
}

void DownloadProgress(NetProgress& progress) {
  auto* job = static_cast<DownloadJob*>(progress.userData);
  if (!job) return;
  DownloadView view;
  if (!DescribeDownloadProgress(progress, view)) return;
  (void)RunInGuiThread([job, &view] {
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
  return StartWorker(job.thread, 0, DownloadThread, &job, DownloadDone);
}

std::int64_t RemoteFileSize(std::string_view url, const DownloadConfig& config,
                            NetCancelFn shouldCancel, void* userData) {
  const std::string scheme = SchemeOf(url);
  std::int64_t total = -1;
  std::string contentType;
  if (IsWebScheme(scheme) || (scheme == kFtpScheme && FtpProxyUsable(config))) {
    const HttpProxyRoute route = HttpProxyFor(config, scheme == kFtpScheme);
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
  if (FtpSize(ctrl, total, UrlPathTail(url), &progress) != 1) total = -1;
  (void)FtpQuit(ctrl, &progress);
  return total;
}

std::string DownloadResultText(int result, std::string_view url, std::string_view localFile) {
  switch (result) {
    case kDownloadNoConnection:
      return Formatted(download_texts::kNoConnection, url);
    case kDownloadDone:
      return Formatted(download_texts::kComplete, localFile);
    case kDownloadWriteFailed:
      return Formatted(download_texts::kWriteFailed, localFile);
    default:
      return Formatted(download_texts::kFailed, url);
  }
}

std::string DownloadSourceLine(std::string_view url) {
  return Formatted(download_texts::kSourceLine, ShortenMiddle(url, kDownloadLineWidth));
}

std::string DownloadDestinationLine(std::string_view localFile) {
  return Formatted(download_texts::kDestinationLine, ShortenMiddle(localFile, kDownloadLineWidth));
}

}  // namespace sondrel
