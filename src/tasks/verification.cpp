#include "tasks/verification.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>

#include "net/content_type.h"
#include "net/ftp_control.h"
#include "net/ftp_transfer.h"
#include "net/ftp_url.h"
#include "net/http_connection.h"
#include "net/net_progress.h"
#include "net/url.h"
#include "tasks/gui_dispatch.h"
#include "tasks/worker_pool.h"

namespace sondrel {
namespace {

constexpr std::string_view kHttpScheme = "http";
constexpr std::string_view kHttpsScheme = "https";
constexpr std::string_view kFtpScheme = "ftp";

std::string SchemeOf(std::string_view url) {
  UrlParts parts;
  (void)SplitUrl(url, parts);
  return parts.scheme;
}

void StoreOutcome(VerifyRun& run, const VerifyJob& job) {
  if (ResultEntry* entry = run.document->entries.Get(job.entry)) {
    entry->status = job.status;
    entry->size = job.size;
  }
}

// Hands one report to the interface thread and waits for it, under the run mutex so that
// reports come strictly one at a time. job null opens a pass or an FTP host.
void ReportJob(VerifyRun& run, const VerifyJob* job) {
  std::lock_guard<std::mutex> lock(run.mutex);
  run.current = job;
  const bool ran = RunInGuiThread([&run] {
    if (run.current) {
      StoreOutcome(run, *run.current);
      ++run.done;
      if (run.callbacks.rowUpdated) run.callbacks.rowUpdated(run.current->entry);
    }
    if (run.callbacks.progress) run.callbacks.progress(VerifyProgressText(run.done, run.total));
  }) == 1;
  if (!ran && run.current) {
    // Nobody serves an interface thread: nothing else reads the document now.
    StoreOutcome(run, *run.current);
    ++run.done;
  }
  run.current = nullptr;
}

// Reports a finished check. A failure while Stop is pending says nothing about the file: the
// check was cut short, so the entry keeps the status it had.
void ReportCheck(VerifyRun& run, VerifyJob& job, std::uint8_t status, std::int64_t size) {
  if (status == kStatusInvalid && run.cancel.Requested()) return;
  job.status = status;
  job.size = status == kStatusInvalid ? -1 : EntrySizeOf(size);
  ReportJob(run, &job);
}

VerifyRun& RunOfSlot(WorkerThread& thread, WorkerSlot*& slot) {
  slot = static_cast<WorkerSlot*>(thread.arg);
  return *static_cast<VerifyRun*>(slot->run);
}

// The waits of a check end when their run is stopped, and only then.
bool RunCancelled(NetProgress& progress) {
  return static_cast<const CancelFlag*>(progress.userData)->Requested();
}

// One GET whose reply header is judged; the body is never read.
int ProbeUrl(VerifyRun& run, std::string_view url, bool viaFtpProxy, std::int64_t& total,
             std::string& contentType) {
  const VerifyConfig& c = run.config;
  const HttpProxyRoute route = HttpProxyFor(c, viaFtpProxy);
  return HttpProbe(total, contentType, url, route.useProxy, route.host, route.port, std::nullopt,
                   std::nullopt, c.timeoutSeconds, /*useHead=*/false, nullptr, RunCancelled,
                   &run.cancel, &run.connections);
}

void HttpWorker(WorkerThread& thread) {
  WorkerSlot* slot = nullptr;
  VerifyRun& run = RunOfSlot(thread, slot);
  VerifyJob& job = run.jobs[static_cast<std::size_t>(slot->job)];
  std::int64_t total = -1;
  std::string contentType;
  const int result = ProbeUrl(run, job.url, false, total, contentType);
  ReportCheck(run, job, HttpCheckStatus(result, contentType), total);
}

void FtpThroughProxy(VerifyRun& run, const FtpHostGroup& group) {
  for (const FtpDirGroup& dir : group.dirs) {
    for (int index : dir.jobs) {
      if (run.cancel.Requested()) return;
      VerifyJob& job = run.jobs[static_cast<std::size_t>(index)];
      std::int64_t total = -1;
      std::string contentType;
      // The proxy answers for the FTP server: no page-or-file judgement on its type.
      const int result = ProbeUrl(run, job.url, true, total, contentType);
      ReportCheck(run, job, result == 1 ? kStatusValid : kStatusInvalid, total);
    }
  }
}

// All files of one host with one login: the first job's user, password and port.
void FtpWorker(WorkerThread& thread) {
  WorkerSlot* slot = nullptr;
  VerifyRun& run = RunOfSlot(thread, slot);
  const FtpHostGroup& group = run.ftpGroups[static_cast<std::size_t>(slot->job)];
  ReportJob(run, nullptr);
  if (group.dirs.empty() || group.dirs.front().jobs.empty()) return;
  if (FtpProxyUsable(run.config)) {
    FtpThroughProxy(run, group);
    return;
  }

  NetProgress progress = TimedProgress(run.config.timeoutSeconds, nullptr, nullptr, nullptr);
  progress.cancel = &run.cancel;
  FtpAddress address;
  (void)FtpUrlParts(run.jobs[static_cast<std::size_t>(group.dirs.front().jobs.front())].url,
                    address);
  int code = -1;
  const int ctrl = FtpOpen(code, address.host, address.port, address.user, address.password, "",
                           &progress);
  for (const FtpDirGroup& dir : group.dirs) {
    for (int index : dir.jobs) {
      // After Stop the rest of the host stays as it was: none of it was looked at.
      if (run.cancel.Requested()) break;
      VerifyJob& job = run.jobs[static_cast<std::size_t>(index)];
      if (ctrl < 0) {
        ReportCheck(run, job, kStatusInvalid, -1);
        continue;
      }
      std::int64_t size = -1;
      std::string path;
      const int r = FtpPathOf(job.url, path) ? FtpCheckFile(ctrl, size, path, &progress)
                                             : kFtpFileNoSize;
      if (r == kFtpFileRetrievable) {
        ReportCheck(run, job, kStatusValid, size);
      } else if (r == kFtpFileNotRetrievable) {
        ReportCheck(run, job, kStatusChecked, size);
      } else {
        ReportCheck(run, job, kStatusInvalid, -1);
      }
    }
  }
  if (ctrl >= 0) (void)FtpQuit(ctrl, &progress);
}

void RunThread(WorkerThread& thread) {
  VerifyRun& run = *static_cast<VerifyRun*>(thread.arg);
  // done and total were set when the run started.
  run.ftpGroups = GroupFtpJobs(run.jobs);
  const int limit = std::clamp(run.config.maxConnections, 1, kPoolSlots);

  if (!run.ftpGroups.empty()) {
    ReportJob(run, nullptr);
    DispatchPass ftp;
    ftp.jobCount = static_cast<int>(run.ftpGroups.size());
    ftp.limit = limit;
    ftp.run = &run;
    ftp.proc = FtpWorker;
    ftp.stopRequested = [&run] { return run.cancel.Requested(); };
    (void)RunDispatchLoop(ftp);
  }

  ReportJob(run, nullptr);
  DispatchPass http;
  http.jobCount = static_cast<int>(run.jobs.size());
  http.limit = limit;
  http.run = &run;
  http.proc = HttpWorker;
  http.handles = [&run](int job) { return IsHttpJob(run.jobs[static_cast<std::size_t>(job)]); };
  http.stopRequested = [&run] { return run.cancel.Requested(); };
  (void)RunDispatchLoop(http);
  run.connections.Clear();
}

// Interface thread, once the run thread is done (stopped or not).
void VerifyFinished(WorkerThread& thread) {
  VerifyRun& run = *static_cast<VerifyRun*>(thread.arg);
  run.removed = 0;
  if (run.config.removeInvalid && run.document) {
    run.removed = DeleteInvalidEntries(*run.document, run.rows);
  }
  run.jobs.clear();
  run.ftpGroups.clear();
  if (run.callbacks.finished) run.callbacks.finished(run.removed);
}

}  // namespace

VerifyConfig VerifyConfigFrom(const Settings& settings) {
  VerifyConfig config;
  CopyTransferSettings(settings, config);
  config.maxConnections = settings.maxConnections;
  config.removeInvalid = settings.removeInvalidAfterVerify != 0;
  return config;
}

std::uint8_t HttpCheckStatus(int probeResult, std::string_view contentType) {
  return probeResult == 1 && !IsHtmlContentType(contentType) ? kStatusValid : kStatusInvalid;
}

std::int32_t EntrySizeOf(std::int64_t size) {
  if (size < 0) return -1;
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

std::string VerifyProgressText(int done, int total) {
  char text[64];
  std::snprintf(text, sizeof text, kVerifyProgressFormat, done, total);
  return text;
}

bool IsHttpJob(const VerifyJob& job) {
  const std::string scheme = SchemeOf(job.url);
  return scheme == kHttpScheme || scheme == kHttpsScheme;
}

std::vector<FtpHostGroup> GroupFtpJobs(const std::vector<VerifyJob>& jobs) {
  // std::string orders by unsigned bytes: the exact byte comparison the groups want.
  std::map<std::string, std::map<std::string, std::vector<int>>> hosts;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (SchemeOf(jobs[i].url) != kFtpScheme) continue;
    FtpAddress address;
    (void)FtpUrlParts(jobs[i].url, address);
    hosts[address.host][address.dir].push_back(static_cast<int>(i));
  }
  std::vector<FtpHostGroup> groups;
  groups.reserve(hosts.size());
  for (auto& [host, dirs] : hosts) {
    FtpHostGroup group;
    group.host = host;
    for (auto& [dir, indexes] : dirs) group.dirs.push_back({dir, std::move(indexes)});
    groups.push_back(std::move(group));
  }
  return groups;
}

int StartVerification(VerifyRun& run, SearchDocument& document, const std::vector<int>& entries,
                      const VerifyConfig& config, VerifyCallbacks callbacks, RowView* rows) {
  if (run.started && !IsFinished(run.thread)) return kVerifyNotStarted;
  std::vector<VerifyJob> jobs;
  jobs.reserve(entries.size());
  for (int index : entries) {
    const ResultEntry* entry = document.entries.Get(index);
    if (!entry) continue;
    VerifyJob job;
    job.entry = index;
    job.url = entry->url;
    jobs.push_back(std::move(job));
  }
  if (jobs.empty()) return kVerifyNothingToDo;

  run.document = &document;
  run.rows = rows;
  run.config = config;
  run.callbacks = std::move(callbacks);
  run.jobs = std::move(jobs);
  run.ftpGroups.clear();
  run.done = 0;
  run.total = static_cast<int>(run.jobs.size());
  run.current = nullptr;
  run.removed = 0;
  // A fresh start of this run; a Stop meant for a search or another run stays where it was.
  run.cancel.Reset();
  document.modified = true;
  if (StartWorker(run.thread, 0, RunThread, &run, VerifyFinished) != 1) {
    run.jobs.clear();
    return kVerifyNotStarted;
  }
  run.started = true;
  return kVerifyStarted;
}

void StopVerification(VerifyRun& run) {
  run.cancel.Cancel();
}

int VerifySelected(VerifyRun& run, SearchDocument& document, RowView& rows,
                   const VerifyConfig& config, VerifyCallbacks callbacks) {
  std::vector<int> chosen;
  for (int i = 0; i < document.entries.Count(); ++i) {
    if (rows.IsSelected(i)) chosen.push_back(i);
  }
  return StartVerification(run, document, chosen, config, std::move(callbacks), &rows);
}

int VerifyAll(VerifyRun& run, SearchDocument& document, const VerifyConfig& config,
              VerifyCallbacks callbacks, RowView* rows) {
  std::vector<int> all;
  for (int i = 0; i < document.entries.Count(); ++i) all.push_back(i);
  return StartVerification(run, document, all, config, std::move(callbacks), rows);
}

}  // namespace sondrel
