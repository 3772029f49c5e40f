// sondrel-cli verify and download: the Verify and Download commands of the result list, with
// their progress on stderr.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/net_errors.h"
#include "cli/network_options.h"
#include "cli/json_writer.h"
#include "cli/result_output.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "results/project_file.h"
#include "results/result_entry.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "results/verification_merge.h"
#include "support/paths.h"
#include "tasks/download.h"
#include "tasks/download_progress.h"
#include "tasks/download_texts.h"
#include "tasks/gui_dispatch.h"
#include "tasks/verification.h"

namespace sondrel::cli {
namespace {

constexpr std::string_view kVerifyUsage = "verify PROJECT [OPTIONS]";
constexpr std::string_view kDownloadUsage = "download URL [OPTIONS]";

// The download that Ctrl-C cancels; set only while one runs.
std::atomic<DownloadJob*> cancellable{nullptr};

// The verification that Ctrl-C stops; set only while one runs.
std::atomic<VerifyRun*> stoppable{nullptr};
// Whether Ctrl-C stopped the verification run.
std::atomic<bool> verifyInterrupted{false};

extern "C" void StopVerifyOnInterrupt(int) {
  // Lock-free atomic loads and stores only: safe in a signal handler.
  verifyInterrupted.store(true);
  if (VerifyRun* run = stoppable.load()) StopVerification(*run);
}

// Whether Ctrl-C cancelled the download.
std::atomic<bool> downloadInterrupted{false};

extern "C" void CancelDownloadOnInterrupt(int) {
  // Lock-free atomic loads and stores only: safe in a signal handler.
  downloadInterrupted.store(true);
  if (DownloadJob* job = cancellable.load()) job->cancelRequested.store(1);
}

// The exit status of a download that did not end well.
int DownloadExitStatus(int result) {
  if (downloadInterrupted) return kExitInterrupted;
  switch (result) {
    case kDownloadNoConnection: return kExitNothingAnswered;
    case kDownloadRefused: return kExitErrorReply;
    default: return kExitFailure;
  }
}

// One line that updates in place on a terminal; elsewhere whole lines, as few as make sense.
class StatusLine {
 public:
  explicit StatusLine(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1) {}
  bool terminal() const { return terminal_; }

  void Show(const std::string& text) {
    if (quiet_) return;
    if (terminal_) {
      // Pad over the rest of a longer earlier text.
      std::string padded = text;
      if (padded.size() < width_) padded.append(width_ - padded.size(), ' ');
      width_ = text.size();
      std::cerr << '\r' << padded << std::flush;
      shown_ = true;
    } else {
      std::cerr << text << '\n';
    }
  }
  void Done() {
    if (!quiet_ && terminal_ && shown_) std::cerr << '\n';
    shown_ = false;
  }

 private:
  bool quiet_;
  bool terminal_;
  bool shown_ = false;
  std::size_t width_ = 0;
};

Settings LoadSettings(const Context& context) {
  Settings settings;
  SettingsDefaults(settings, context.home);
  (void)ReadSettings(SettingsPath(context.home), settings);
  return settings;
}

// RunDownloadJob's result when the download thread could not be started.
constexpr int kNoThread = -1000;

// The data line is rewritten at most this often on a terminal, and written at most this often
// to a pipe; the last one always follows at the end.
constexpr std::uint32_t kTerminalLineEveryMs = 100;
constexpr std::uint32_t kPipedLineEveryMs = 1000;

// Runs job to its end on a worker, serving its hand-offs here; the result.
int RunDownloadJob(DownloadJob& job, bool quiet) {
  StatusLine line(quiet);
  std::string lastData;  // the latest data line not yet shown
  std::uint32_t lastLineAt = 0;
  bool lineWritten = false;
  job.callbacks.figures = [&](const DownloadView& view) {
    if (!view.data) {
      line.Show(view.stateLine);
      return;
    }
    const std::uint32_t now = NowMillis();
    lastData = ProgressLineText(view);
    const std::uint32_t every = line.terminal() ? kTerminalLineEveryMs : kPipedLineEveryMs;
    if (!lineWritten || now - lastLineAt >= every) {
      line.Show(lastData);
      lastData.clear();
      lastLineAt = now;
      lineWritten = true;
    }
  };

  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  struct sigaction action {};
  action.sa_handler = CancelDownloadOnInterrupt;
  struct sigaction previous {};
  cancellable = &job;
  downloadInterrupted = false;
  ::sigaction(SIGINT, &action, &previous);
  const int started = StartDownload(job);
  if (started == 1) queue->RunUntil([&job] { return IsFinished(job.thread); });
  ::sigaction(SIGINT, &previous, nullptr);
  cancellable = nullptr;
  RemoveDispatcher();
  queue->Close();
  if (!lastData.empty()) line.Show(lastData);
  line.Done();
  return started == 1 ? job.result : kNoThread;
}

}  // namespace

std::span<const OptionHelp> VerifyOptions() {
  static const OptionHelp kOptions[] = {
      {"--remove-invalid", "remove the entries found invalid (default: from the settings)"},
      {"--keep-invalid", "keep the entries found invalid (default: from the settings)"},
      {"--json", "print one JSON document instead of text (default: text)"},
      kCaCertHelp,
  };
  return kOptions;
}

std::span<const OptionHelp> DownloadOptions() {
  static const OptionHelp kOptions[] = {
      {"--dir DIR", "download into DIR (default: the download directory of the settings)"},
      {"--resume", "continue the existing file of that name (default: keep it, take a free "
                   "name)"},
      {"--restart", "start over, dropping an unfinished NAME.part (default: continue it)"},
      {"--overwrite", "replace the existing file of that name once the new one is whole "
                      "(default: keep it, take a free name)"},
      kCaCertHelp,
      kInsecureHelp,
  };
  return kOptions;
}

VerifyOutcome VerifyDocument(SearchDocument& document, const Settings& settings,
                             const VerifyChoices& choices) {
  VerifyConfig config = VerifyConfigFrom(settings);
  config.removeInvalid = choices.removeInvalid;
  NetStartup();
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  StatusLine line(choices.quiet);
  VerifyOutcome outcome;
  VerifyCallbacks callbacks;
  callbacks.progress = [&line](const std::string& text) { line.Show(text); };
  callbacks.finished = [&outcome](int removed) { outcome.removed = removed; };

  auto run = std::make_unique<VerifyRun>();
  verifyInterrupted = false;
  struct sigaction action {};
  action.sa_handler = StopVerifyOnInterrupt;
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);
  stoppable.store(run.get());
  const int started = VerifyAll(*run, document, config, std::move(callbacks));
  if (started == kVerifyStarted) queue->RunUntil([&run] { return IsFinished(run->thread); });
  ::sigaction(SIGINT, &previous, nullptr);
  stoppable.store(nullptr);
  line.Done();
  RemoveDispatcher();
  queue->Close();
  if (started == kVerifyNotStarted) {
    outcome.status = Fail("cannot start the verification thread");
  } else if (verifyInterrupted) {
    outcome.status = kExitInterrupted;
  }
  return outcome;
}

int ReportRemoved(const VerifyOutcome& outcome, bool quiet) {
  if (!quiet && outcome.status != kExitFailure) {
    std::cerr << "sondrel-cli: " << RemovedInvalidText(outcome.removed) << '\n';
  }
  return outcome.status;
}

std::string RemovedInvalidText(int removed) {
  return "removed " + std::to_string(removed) +
         (removed == 1 ? " invalid entry" : " invalid entries");
}

int RunVerify(Arguments& args, const Context& context) {
  const bool remove = args.TakeFlag("remove-invalid");
  const bool keep = args.TakeFlag("keep-invalid");
  const bool json = args.TakeFlag("json");
  const NetworkOptions network = TakeNetworkOptions(args, false);
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kVerifyUsage);
  if (words.size() != 1) return UsageError("verify takes one PROJECT", kVerifyUsage);
  if (remove && keep) {
    return UsageError("--remove-invalid and --keep-invalid exclude each other", kVerifyUsage);
  }
  const std::string& path = words[0];
  if (int status = ApplyNetworkOptions(network, context); status != kExitOk) return status;
  const Settings settings = LoadSettings(context);
  SearchDocument document;
  switch (LoadDocument(path, document)) {
    case kLoadOk:
      break;
    case kLoadDamaged:
      return Fail("project file ends early or is damaged: " + path);
    default:
      return Fail(FileLengthOf(path) >= 0 ? "not a project file: " + path
                                          : "cannot open project file " + path);
  }
  VerifyChoices choices;
  choices.removeInvalid = remove || (!keep && settings.removeInvalidAfterVerify != 0);
  choices.quiet = context.quiet;
  std::vector<std::string> checkedUrls;
  for (const auto& entry : document.entries) checkedUrls.push_back(entry->url);
  const VerifyOutcome outcome = VerifyDocument(document, settings, choices);
  NetShutdown();
  if (outcome.status == kExitFailure) return outcome.status;
  // Into the project as it is now: an entry added while the verification ran stays. An
  // interrupted run keeps what it verified so far.
  const ProjectChange saved = ChangeProjectFile(path, [&](SearchDocument& current) {
    MergeVerification(current, checkedUrls, document);
    return true;
  });
  if (saved != ProjectChange::kSaved) return Fail("cannot write project file " + path);
  (void)ReportRemoved(outcome, context.quiet);
  if (json) {
    JsonWriter writer;
    writer.BeginObject();
    writer.Key("project").String(path);
    writer.Key("removedInvalid").Number(outcome.removed);
    writer.Key("interrupted").Bool(outcome.status == kExitInterrupted);
    WriteEntriesJson(writer, document);
    writer.EndObject();
    std::cout << writer.Document();
  } else {
    PrintResultList(document);
  }
  const int flushed = FlushOutput();
  return flushed != kExitOk ? flushed : outcome.status;
}

int RunDownload(Arguments& args, const Context& context) {
  std::optional<std::string> dir = args.TakeOption("dir");
  const bool resumeFlag = args.TakeFlag("resume");
  const bool restartFlag = args.TakeFlag("restart");
  const bool overwriteFlag = args.TakeFlag("overwrite");
  const NetworkOptions network = TakeNetworkOptions(args, true);
  std::string error;
  std::vector<std::string> words = args.Finish(error);
  if (!error.empty()) return UsageError(error, kDownloadUsage);
  if (words.size() != 1) return UsageError("download takes one URL", kDownloadUsage);
  if (resumeFlag && restartFlag) {
    return UsageError("--resume and --restart exclude each other", kDownloadUsage);
  }
  const std::string& url = words[0];
  UrlParts parts;
  (void)SplitUrl(url, parts);
  if (parts.scheme != "http" && parts.scheme != "https" && parts.scheme != "ftp") {
    return Fail("not an http://, https:// or ftp:// address: " + url);
  }

  if (int status = ApplyNetworkOptions(network, context); status != kExitOk) return status;
  const Settings settings = LoadSettings(context);
  DownloadConfig config = DownloadConfigFrom(settings, context.home);
  if (dir) config.directory = *dir;
  // An existing file is kept (the download takes a free name) unless --overwrite or --resume
  // say otherwise; a partial download of the same file is continued by itself.
  DownloadChoices choices;
  choices.overwrite = overwriteFlag;
  choices.resume = resumeFlag;
  choices.restart = restartFlag;
  DownloadTarget target;
  if (PlanDownload(target, url, config.directory, -1, choices) != 1) {
    return Fail("no free file name for " + url + " in directory " + config.directory);
  }
  const std::string& localPath = target.localFile;

  NetStartup();
  auto job = std::make_unique<DownloadJob>();
  job->url = url;
  job->localFile = localPath;
  job->resume = target.resume;
  job->restart = target.restart;
  job->overwrite = target.overwrite;
  job->config = config;
  const int result = RunDownloadJob(*job, context.quiet);
  NetShutdown();
  if (result == kNoThread) return Fail("cannot start the download thread");
  if (result != kDownloadDone) {
    const int status = downloadInterrupted ? kExitInterrupted
                       : job->failure      ? ExitStatusFor(job->failure)
                                           : DownloadExitStatus(result);
    std::string message = DownloadResultText(result, url, localPath, job->failure);
    // The closing text gives a detail when there is one; the cause and host otherwise.
    if (job->failure && job->failure.detail.empty()) message += " " + DescribeFailure(job->failure);
    return FailWith(status, message);
  }
  std::cout << localPath << '\n';
  return FlushOutput();
}

}  // namespace sondrel::cli
