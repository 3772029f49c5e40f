#pragma once
// The desktop application's own fixed texts: captions, messages, questions, addresses. One
// section per window or concern; the texts the core already owns (results_texts.h,
// download_texts.h, ...) are used from there.

#include <string_view>

namespace sondrel::shell_texts {

// The program
inline constexpr std::string_view kProgramName = "Sondrel";

// The command line
inline constexpr std::string_view kUsageText =
    "Usage: sondrel [OPTION]... [PROJECT.sdp]\n"
    "A metasearch tool for music files: one query to many search engines, the results in one\n"
    "list. With PROJECT, that project is opened instead of the last one.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "  --             end of the options: a project name may begin with '-'\n"
    "\n"
    "The engine tools: --compile-engines TEXT DATABASE NUMBER, --capture-engines,\n"
    "--replay-engines. Qt's own options (-platform, -style, ...) are accepted too.\n"
    "SONDREL_HOME puts the settings, the engine database and the projects in one directory.\n";
inline constexpr std::string_view kUnknownOption = "sondrel: unknown option ";
inline constexpr std::string_view kUsageHint = "Try 'sondrel --help' for the options.";

// Message boxes

// Main window and its commands
inline constexpr std::string_view kStatusHelp = "For Help press F1";
inline constexpr std::string_view kSearchForLabel = "Search for:";
inline constexpr std::string_view kMergeCheck = "&Merge with existing entries";
inline constexpr std::string_view kDuplicatesLabel = "Duplicates:";
inline constexpr std::string_view kFilteringLabel = "Filtering:";
inline constexpr std::string_view kKeepDuplicatesItem = "DO NOT Remove Duplicate";
inline constexpr std::string_view kRemoveDuplicatesItem = "Remove Duplicate URL";
inline constexpr std::string_view kFilterNoneItem = "NONE";
inline constexpr std::string_view kFilterNameItem = "NAME must include query string";
inline constexpr std::string_view kFilterUrlItem = "URL must include query string";
inline constexpr std::string_view kFindPage = "Find";
inline constexpr std::string_view kFiltersPage = "Filters";
inline constexpr std::string_view kStartButton = "&Start Search";
inline constexpr std::string_view kStopButton = "Sto&p";
inline constexpr std::string_view kNewSearchButton = "&New Search";
inline constexpr std::string_view kHintNew = "New Project";
inline constexpr std::string_view kHintOpen = "Open project";
inline constexpr std::string_view kHintSave = "Save current project";
inline constexpr std::string_view kHintOptions = "Options";
inline constexpr std::string_view kHintSearch = "Search";
inline constexpr std::string_view kHintView = "View Result";
inline constexpr std::string_view kHintHelp = "Online Help";
// The two link buttons of the toolbar and the maker's pages.
inline constexpr std::string_view kLinkButton1 = "Music news";
inline constexpr std::string_view kLinkButton1Url = "https://sondrel.example.org/news/";
inline constexpr std::string_view kLinkButton2 = "Free music";
inline constexpr std::string_view kLinkButton2Url = "https://sondrel.example.org/free-music/";
inline constexpr std::string_view kOnlineHelpUrl = "https://sondrel.example.org/help/";
inline constexpr std::string_view kProgramHomeUrl = "https://sondrel.example.org/";
inline constexpr std::string_view kAuthorHomeUrl = "https://sondrel.example.org/author/";
// Information box when an address cannot be opened; the address follows.
inline constexpr std::string_view kAddressFailed = "The address could not be opened:\n";
// A project named on the command line that is not there; the path follows.
inline constexpr std::string_view kProjectMissing = "The project cannot be opened:\n";
// Open Entry, Server or Directory when the program would not start; the program follows.
inline constexpr std::string_view kProgramFailed = "The program could not be started:\n";
// Fatal start-up error; the database path follows.
inline constexpr std::string_view kDatabaseFailed =
    "The search engine database cannot be loaded. Reinstall the program or copy an engine "
    "database to:\n";
// A settings file that did not read at start-up: %1 its path, then where it was kept (%2).
inline constexpr std::string_view kSettingsDamaged =
    "The settings file %1 breaks off; the settings before the break are used.";
inline constexpr std::string_view kSettingsForeign =
    "The settings file %1 is not a settings file of this program; the defaults are used.";
inline constexpr std::string_view kSettingsNewer =
    "The settings file %1 was written by a newer version; the defaults are used.";
inline constexpr std::string_view kSettingsKeptAs = "The old file was kept as %2.";
inline constexpr std::string_view kSettingsNotKept =
    "It could not be kept aside and is left as it was.";
// The about box: the two parts are joined with an empty line.
inline constexpr std::string_view kAboutText1 =
    "Sondrel 0.1\nA metasearch tool for music files: one query to many search engines, the "
    "results in one list.";
inline constexpr std::string_view kAboutText2 =
    "Verify, download, export and save your searches. Free software; no warranty.";
inline constexpr std::string_view::size_type kMaxAboutText = 3999;
inline constexpr std::string_view kHelpManualMissing = "The manual is not installed.";
// The status bar and the tip under the query box while the window is at work.
inline constexpr const char* kStatusSearching = "Searching: %d of %d engines, %d results";
inline constexpr const char* kStatusVerifying = "Verifying %d of %d";
inline constexpr const char* kStatusSearchDone = "Search done: %d results";
inline constexpr const char* kStatusEnginesFailed = "%d of %d engines failed";
inline constexpr const char* kStatusVerifyDone = "Verified %d entries";
inline constexpr const char* kStatusInvalidRemoved = "Verified %d entries, %d invalid removed";
inline constexpr std::string_view kTipSearching =
    "The engines are being searched; Stop ends the search and keeps what was found.";
inline constexpr std::string_view kTipVerifying =
    "Each server is asked whether its file is still there; Stop ends the check.";
// Menus
inline constexpr std::string_view kMenuFile = "&File";
inline constexpr std::string_view kMenuEdit = "&Edit";
inline constexpr std::string_view kMenuEntry = "E&ntry";
inline constexpr std::string_view kMenuOptions = "&Options";
inline constexpr std::string_view kMenuArrange = "&Arrange Icons";
inline constexpr std::string_view kMenuHelp = "&Help";
inline constexpr std::string_view kMenuExport = "&Export";
inline constexpr std::string_view kMenuReopen = "&Reopen";

// Result list: the column titles in column order
inline constexpr std::string_view kColumnTitles[] = {"Name", "URL", "Size", "Status", "Pos", "Engine"};

// The search report pane
inline constexpr std::string_view kReportColumns[] = {
    "Engine", "Outcome", "Reason", "HTTP", "Pages", "Bytes", "Matched", "Refused", "Duplicates",
    "Kept"};
inline constexpr std::string_view kReportEmpty = "No search has run yet.";
inline constexpr std::string_view kOutcomeDone = "done";
inline constexpr std::string_view kOutcomeAtLimit = "stopped at its limit";
inline constexpr std::string_view kOutcomeFailed = "failed";
inline constexpr std::string_view kOutcomeSkipped = "skipped";
inline constexpr std::string_view kOutcomeStopped = "stopped";

// Dialogs
inline constexpr std::string_view kDialogOk = "&OK";
inline constexpr std::string_view kDialogCancel = "&Cancel";
inline constexpr std::string_view kDialogClose = "&Close";
inline constexpr std::string_view kFindDialogCaption = "Find";
inline constexpr std::string_view kFindDialogLabel = "Search For:";
inline constexpr std::string_view kFindDialogSelect = "Select matching results";
inline constexpr std::string_view kEntryDialogUrl = "URL:";
inline constexpr std::string_view kEntryDialogName = "Name:";
inline constexpr std::string_view kEntryDialogUrlWarning =
    "This is not a web or FTP address. Enter a URL that begins with http://, https:// or "
    "ftp:// and names a server.";
inline constexpr std::string_view kHttpEntryCaption = "HTTP Entry";
inline constexpr std::string_view kFtpEntryCaption = "FTP Entry";
inline constexpr std::string_view kEntryViewUrl = "URL";
inline constexpr std::string_view kEntryViewServer = "Server:";
inline constexpr std::string_view kEntryViewPath = "Path";
inline constexpr std::string_view kEntryViewPort = "Port:";
inline constexpr std::string_view kEntryViewUser = "User:";
inline constexpr std::string_view kEntryViewPassword = "Password:";
inline constexpr std::string_view kEntryViewDirectory = "Directory";
inline constexpr std::string_view kEntryViewFile = "File";
inline constexpr std::string_view kFtpEntryNote = "Copy this fields to clipboard to use an FTP client.";
inline constexpr std::string_view kAboutCaption = "About Sondrel";
inline constexpr std::string_view kProgressCaption = "Processing";
// The banner's tips, shown in turn.
inline constexpr std::string_view kBannerTips[] = {
    "Press F4 to start a search; Stop ends it at once and keeps what was found.",
    "Tick \"Merge with existing entries\" to add a new search to the results you have.",
    "On the Filters page, \"Remove Duplicate URL\" keeps each address only once.",
    "F5 asks each server whether the selected files are still there and how large they are.",
    "F6 or a double click downloads a file; a partial file is resumed.",
    "Ctrl+F finds entries by words, \"phrases\", AND, OR and NOT; Ctrl+G finds the next one.",
    "Insert adds an entry of your own; F9 shows the parts of an entry's address.",
    "Save a search as a project with F2 and open it again later with F3.",
    "Export the list as HTML, plain text or comma-delimited text from the File menu.",
    "Preferences (Ctrl+O) choose the engines, the connections and the download directory.",
};

// Preferences and the directory dialog
inline constexpr std::string_view kPreferencesCaption = "Preferences";
inline constexpr std::string_view kPreferencesSelectAll = "&Select All";
inline constexpr std::string_view kPreferencesUnselectAll = "&Unselect All";
inline constexpr std::string_view kPreferencesVisitEngine = "&Visit Engine";
inline constexpr std::string_view kPreferencesEngineKey = "&Key...";
inline constexpr std::string_view kEngineKeyCaption = "Engine Key";
// %1: the engine's name.
inline constexpr std::string_view kEngineKeyPrompt =
    "The key or client id %1 gave you (empty for none):";
inline constexpr std::string_view kEngineNeedsKey = "Needs a key of your own (Key...)";
inline constexpr std::string_view kTrustGroup = "Trusted Certificates";
inline constexpr std::string_view kCaFileLabel = "Extra CA certificates (PEM file):";
inline constexpr std::string_view kChooseCaFileTitle = "Choose a CA certificate file";
inline constexpr std::string_view kCaFileFilter = "PEM certificates (*.pem *.crt);;All files (*)";
inline constexpr std::string_view kChooseProgramTitle = "Choose a program";
inline constexpr std::string_view kAllFilesFilter = "All files (*)";
inline constexpr std::string_view kDirectoryCaption = "Change Directory";
inline constexpr std::string_view kDirectoryHeading = "Select download directory";
inline constexpr std::string_view kMakeDirectoryItem = "&Make new directory";
inline constexpr std::string_view kRemoveDirectoryItem = "&Remove directory";
inline constexpr std::string_view kMakeDirectoryCaption = "Make directory";
inline constexpr std::string_view kMakeDirectoryPrompt = "Enter the directory name:";
inline constexpr std::string_view kMakeDirectoryFailed = "It is not possible to create the directory";
inline constexpr std::string_view kRemoveDirectoryQuestion = " Are you sure ?";  // then the path
inline constexpr std::string_view kRemoveDirectoryFailed = "It is not possible to remove the directory";
inline constexpr std::string_view kDirectoryTooLong =
    "The path of this directory is too long for a download directory (at most %d characters)";

// Launching

// Download window
// The download's own lines, questions and outcomes are in tasks/download_texts.h.
// The first takes the address and the directory, the second the address.
inline constexpr const char* kDownloadNoFileName = "No file name fits %s in the directory %s.";
inline constexpr const char* kDownloadNotStarted = "The download of %s could not be started.";
// The buttons of a finished download's box.
inline constexpr std::string_view kDownloadOpen = "&Open";
inline constexpr std::string_view kDownloadShowFolder = "Show in &Folder";
// The question about a file in the way of a download: the path, then the name Keep Both takes.
// The same-size text is the download's own (download_texts.h).
inline constexpr const char* kExistingSmaller =
    "%s already exists and is smaller than the file. Resume the download?";
inline constexpr const char* kExistingLarger = "%s already exists and is larger than the file.";
inline constexpr const char* kExistingUnknownSize =
    "%s already exists; the server does not say how large the file is.";
inline constexpr const char* kExistingNotAFile = "%s already exists and is not a regular file.";
inline constexpr const char* kExistingKeepBothName = "Keep Both saves the download as %s.";
inline constexpr std::string_view kExistingResume = "&Resume";
inline constexpr std::string_view kExistingReplace = "Re&place";
inline constexpr std::string_view kExistingKeepBoth = "&Keep Both";
// A failed download: the outcome, then why.
inline constexpr std::string_view kDownloadFailureReason = "Reason: ";

}  // namespace sondrel::shell_texts
