#pragma once
// The result layer's own fixed texts: what the list shows, the messages of its commands,
// the file names, magics and scrambling keys of the project and settings files, and the
// export layouts. Kept together so that they can be read and changed in one place.

#include <string_view>

namespace sondrel::texts {

inline constexpr std::string_view kProgramName = "Sondrel";

// Result list.
inline constexpr std::string_view kEmptyNamePlaceholder = "(untitled)";
inline constexpr std::string_view kHandMadeEngineLabel = "Added by hand";  // at most 19 characters
inline constexpr std::string_view kStatusNotVerified = "Not verified";
inline constexpr std::string_view kStatusValid = "Valid";
inline constexpr std::string_view kStatusInvalid = "Invalid";
inline constexpr std::string_view kStatusUnknown = "Unknown";  // code 3
inline constexpr std::string_view kStatusChecked = "Checked";  // 2, 0 and every other code
inline constexpr std::string_view kSizeUnknown = "???";
inline constexpr std::string_view kSizeUnitSuffix = " KB";
// "%d entries"
inline constexpr std::string_view kEntryCountSuffix = " entries";

// Find messages: the no-match text takes the find text, the count text the number and then it.
inline constexpr std::string_view kFindNoMatchBefore = "No entry matches \"";
inline constexpr std::string_view kFindNoMatchAfter = "\".";
inline constexpr std::string_view kFindCountMiddle = " entries match \"";
inline constexpr std::string_view kFindCountAfter = "\".";

// Add Entry refuses anything but HTTP and FTP addresses.
inline constexpr std::string_view kAddEntryTitle = "Add Entry";
inline constexpr std::string_view kAddEntryBadUrl =
    "The URL must be an HTTP address (http://...) or an FTP address (ftp://...).";

// Projects.
inline constexpr std::string_view kProjectMagic = "SondrelProject\x1A\x01";
inline constexpr std::string_view kProjectExtension = "sdp";  // without the dot
inline constexpr std::string_view kProjectFilter = "Sondrel projects (*.sdp)|*.sdp";
inline constexpr std::string_view kCaptionNoFile = "(no project)";
inline constexpr std::string_view kStatusOpening = "Opening project...";
inline constexpr std::string_view kStatusSaving = "Saving project...";
inline constexpr std::string_view kStatusIdle = "Ready";
inline constexpr std::string_view kSaveQuestion = "The results have changed. Save the project?";
inline constexpr std::string_view kOverwriteQuestion = "The file exists. Replace it?";
inline constexpr std::string_view kOpenDialogTitle = "Open project";
inline constexpr std::string_view kSaveDialogTitle = "Save project as";

// Settings file in the program home.
inline constexpr std::string_view kSettingsFileName = "sondrel.cfg";
inline constexpr std::string_view kSettingsMagic = "SondrelSettings\x1A\x01";
inline constexpr std::string_view kDownloadDirectoryName = "downloads";  // inside the home
// A settings file that does not read is kept beside under its name plus one of these and a time.
inline constexpr std::string_view kSettingsUnreadableSuffix = ".unreadable-";
inline constexpr std::string_view kSettingsNewerSuffix = ".newer-";
// A number setting's range: "a number from 5 to 500".
inline constexpr std::string_view kRangeFrom = "a number from ";
inline constexpr std::string_view kRangeTo = " to ";
// Each takes a path.
inline constexpr std::string_view kSettingsNoLock = "cannot lock the settings file: ";
inline constexpr std::string_view kSettingsNotWritten = "cannot write settings file ";
inline constexpr std::string_view kSettingsKeptAside =
    "the settings file did not read as settings of this version; it was kept as ";
inline constexpr std::string_view kUserDownloadFolderName = "Sondrel";  // in the user's downloads

// Export layouts. The HTML entry takes url, name, separator, preview; the text entry url,
// name, description.
inline constexpr std::string_view kHtmlBegin =
    "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
    "<title>Sondrel results</title>\n</head>\n<body>\n<h1>Sondrel results</h1>\n";
inline constexpr std::string_view kHtmlEnd = "</body>\n</html>\n";
inline constexpr std::string_view kHtmlEntryEnd = "<P>\n";
inline constexpr std::string_view kExportHtmlExt = ".htm";
inline constexpr std::string_view kExportTextExt = ".txt";
inline constexpr std::string_view kExportCdfExt = ".cdf";
inline constexpr std::string_view kExportDone = "The list was exported to ";
inline constexpr std::string_view kExportFailed = "The list could not be exported to ";
inline constexpr std::string_view kBrowserFailed = "The web browser could not be started.";

}  // namespace sondrel::texts
