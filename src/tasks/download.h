#pragma once
// Downloading one result into the download directory over HTTP or FTP (directly, or through
// the FTP proxy). The data goes to NAME.part (part_file.h) and takes the final name only when
// all of it arrived; a part is continued only when it is of the same address and version, or
// when the user asked to continue it. An existing file is never replaced or extended without
// the user's word. Each download runs on its own worker thread; its progress and its end reach
// the front end on the interface thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/net_progress.h"
#include "results/settings.h"
#include "tasks/download_progress.h"
#include "tasks/transfer_config.h"
#include "tasks/worker_thread.h"

namespace sondrel {

inline constexpr std::size_t kDownloadLineWidth = 35;  // source and destination lines
inline constexpr std::int64_t kDownloadBarStart = 30000;

enum DownloadResult {
  kDownloadNoConnection = 0,  // no response, no connection, login or binary type refused
  kDownloadDone = 1,
  kDownloadFailed = -1,       // broken, refused or cancelled transfer, HTTP failure
  kDownloadWriteFailed = -2,  // the local file could not be written (or is a planted link)
  kDownloadInUse = -3,        // another download is writing the same file
  kDownloadExists = -4,       // the target exists and the user did not agree to replace it
  kDownloadNotModified = 304,
  kDownloadRefused = 401,
};

struct DownloadConfig : TransferConfig {
  std::string directory;  // the download directory
};
// An empty download directory becomes the program's default one under home.
DownloadConfig DownloadConfigFrom(const Settings& settings, std::string_view home);

// Creates directory (one level; an existing one or an error is ignored) and puts the file of
// url directly inside it. 1, or 0 when no local name fits.
[[nodiscard]] int PrepareDownloadPath(std::string& localPath, std::string_view url,
                                      const std::string& directory);

// What to do with a local file of length existing (-1: none) for a file of knownSize (-1:
// unknown) before downloading.
enum SaveDecision {
  kSaveFromStart,     // no file
  kSaveAskOverwrite,  // same size, larger, or the size is unknown: ask Yes/No, default No
  kSaveAskResume,     // smaller: ask Yes (resume) / No (start over) / Cancel
};
SaveDecision DecideSave(std::int64_t existing, std::int64_t knownSize);

enum SaveChoice { kSaveCancel = 0, kSaveStart = 1, kSaveResume = 2 };
enum SaveAnswer { kAnswerCancel = 0, kAnswerYes = 1, kAnswerNo = 2 };

// The front end's dialogs for AskSaveFile.
struct SaveFileAsker {
  // The save dialog with the path preset; false when cancelled, else path is the choice.
  std::function<bool(std::string& path)> choosePath;
  std::function<SaveAnswer(const std::string& path)> askOverwrite;  // Yes or No
  std::function<SaveAnswer(const std::string& path)> askResume;     // Yes, No or Cancel
};
// 0 cancel, 1 download from the start, 2 resume. A missing dialog counts as accepted, a
// missing question as its default answer (overwrite: No; resume: Yes). Every existing file
// is asked about, so 1 for an existing path is the user's word to replace it.
int AskSaveFile(std::string& path, std::int64_t knownSize, const SaveFileAsker& asker);

// Where one download goes and what the user agreed to.
struct DownloadTarget {
  std::string localFile;   // the final name; the data goes to localFile + ".part" until complete
  bool resume = false;     // continue the part (or the file itself) even without a validator
  bool restart = false;    // start over even when the part could be continued
  bool overwrite = false;  // an existing localFile may be replaced
};

// A file in the way of a download, as the front end's question shows it.
struct ExistingFile {
  std::string path;
  std::int64_t length = -1;     // -1: not a regular file (a link, a directory)
  std::int64_t knownSize = -1;  // the server's size, -1 when unknown
};
enum class ExistingFileAnswer : std::uint8_t {
  kCancel,   // do not download
  kReplace,  // replace it once the new file is complete
  kResume,   // continue it
  kNewName,  // keep it and download to a free name ("song (1).mp3")
};
// What the user said before the download (command-line flags, the window's answers).
struct DownloadChoices {
  bool overwrite = false;  // replace an existing file without asking
  bool resume = false;     // continue an existing file or its part
  bool restart = false;    // never continue a part
  // Asked when a file is in the way, on the caller's thread; null: a free name is taken.
  std::function<ExistingFileAnswer(const ExistingFile&)> askExisting;
};
// Decides the target of url in directory (created when missing). 1 to go ahead; 0 when the
// user cancelled, no local name fits or no free name is left.
[[nodiscard]] int PlanDownload(DownloadTarget& target, std::string_view url,
                               const std::string& directory, std::int64_t knownSize,
                               const DownloadChoices& choices);

// The front end's side of a running download; every hook runs on the interface thread.
struct DownloadCallbacks {
  std::function<void(const std::string& source, const std::string& destination)> lines;
  std::function<void(const std::string& text)> stateLine;
  std::function<void(const std::string& text)> remainingLine;
  std::function<void(std::int64_t position, std::int64_t maximum)> bar;
  std::function<void(int result)> done;
  // Every report with its figures, for front ends that word the progress themselves.
  std::function<void(const DownloadView& view)> figures;
};

// One download; the front end keeps it until IsFinished(thread).
struct DownloadJob {
  std::string url;
  std::string localFile;
  bool resume = false;
  bool restart = false;
  bool overwrite = false;  // the user agreed to replace an existing localFile
  std::atomic<std::uint8_t> cancelRequested{0};  // set by Cancel, read by the transfer
  DownloadConfig config;
  DownloadCallbacks callbacks;
  DownloadMeter meter;  // used by the download thread's progress reports only
  int result = kDownloadNoConnection;
  NetFailure failure;  // why it failed, for the closing message
  WorkerThread thread;
};

// Fetches url into target.localFile by its scheme (exactly "http", "https" or "ftp"); any other
// scheme -1. Runs on the calling thread; progress.failure says why it failed. A local file that
// cannot be written, a planted link and a download already running are found out before the
// network is touched.
[[nodiscard]] int DownloadUrl(std::string_view url, const DownloadTarget& target,
                              const DownloadConfig& config, NetProgress& progress);
// The same with a progress record of its own (no replacing, no restart).
[[nodiscard]] int DownloadUrl(std::string_view url, const std::string& localFile, bool resume,
                              const DownloadConfig& config, NetProgressFn onProgress,
                              NetCancelFn shouldCancel, void* userData);
// The job's progress reporter (userData is the DownloadJob): hands its lines to the
// interface thread.
void DownloadProgress(NetProgress& progress);
bool DownloadCancelled(NetProgress& progress);

// Starts job's thread; done(result) follows on the interface thread. 1, or 0 when no thread
// could be started.
[[nodiscard]] int StartDownload(DownloadJob& job);

// The size of the file at url as its server tells it, -1 when it does not say.
std::int64_t RemoteFileSize(std::string_view url, const DownloadConfig& config,
                            NetCancelFn shouldCancel, void* userData);

// The message that ends a download; a failure's detail ("is a symbolic link; not followed",
// "the transfer ended after 1000 of 300000 bytes") is added in parentheses.
std::string DownloadResultText(int result, std::string_view url, std::string_view localFile,
                               const NetFailure& failure = {});
std::string DownloadSourceLine(std::string_view url);
std::string DownloadDestinationLine(std::string_view localFile);

}  // namespace sondrel
