#pragma once
// The download's own texts: the progress lines, the outcome messages, the questions asked before
// a download and the default directory's name.

namespace sondrel::download_texts {

inline constexpr const char* kCaption = "Download";
inline constexpr const char* kSourceLine = "From: %s";
inline constexpr const char* kDestinationLine = "To: %s";
inline constexpr const char* kResolving = "Resolving %s...";
inline constexpr const char* kConnecting = "Connecting...";
inline constexpr const char* kConnected = "Connected to %s:%d";
// Below 1000 bytes a second: bytes so far and the rate.
inline constexpr const char* kReceivedBytes = "%lld bytes received (%lld bytes/s)";
// From 1000 bytes a second: bytes so far, whole KB/s and one digit of the rest.
inline constexpr const char* kReceivedKilobytes = "%lld bytes received (%lld.%d KB/s)";
inline constexpr const char* kRemainingTime = "Remaining time: %s";
// The data line before any time has passed.
inline constexpr const char* kReceivedBytesNoRate = "%lld bytes received";
// After the data line in a one-line view: percentage and total.
inline constexpr const char* kShareOfTotal = ", %lld %% of %lld bytes";
inline constexpr const char* kDurationFormat = "%02d:%02d:%02d";
inline constexpr const char* kDurationTooLong = "99:99:99";

inline constexpr const char* kNoConnection = "Could not connect to the server of %s.";
inline constexpr const char* kComplete = "Download complete: %s";
inline constexpr const char* kFailed = "Download of %s failed.";
inline constexpr const char* kWriteFailed = "Download failed: cannot write %s";
inline constexpr const char* kInUse = "%s is already being downloaded.";
inline constexpr const char* kExists = "%s already exists; it was not replaced.";
inline constexpr const char* kCancelQuestion = "Cancel this download?";

// Why a local file was refused (the detail of a local-file failure).
inline constexpr const char* kNoFileName = "no file name";
inline constexpr const char* kIsALink = "is a symbolic link; not followed";
inline constexpr const char* kNotARegularFile = "is not a regular file";
inline constexpr const char* kBeingDownloaded = "is already being downloaded";
inline constexpr const char* kExistsNotReplaced = "already exists; not replaced";
// Why a transfer was refused (the detail of a protocol failure).
inline constexpr const char* kEndedShort = "the transfer ended after %lld of %lld bytes";
inline constexpr const char* kBadPath = "the address holds a line break or a NUL";

inline constexpr const char* kSaveTitle = "Save file as";
inline constexpr const char* kSaveDefaultExtension = "mp3";
inline constexpr const char* kSaveFilter = "All files (*)";
inline constexpr const char* kOverwriteQuestion =
    "%s already exists with the same size. Download it again?";
inline constexpr const char* kResumeQuestion =
    "%s already exists and is smaller than the file. Resume the download?\n"
    "(No downloads it again from the start.)";
inline constexpr const char* kAlreadyComplete = "%s is already complete.";

}  // namespace sondrel::download_texts
