#pragma once
// The small modal dialogs of the commands: find, add entry, the HTTP and FTP entry views and the
// about box. Each lives for one call.

#include <cstddef>
#include <string>
#include <string_view>

#include "results/find_expression.h"  // kMaxFindText: the longest find text
#include "results/result_entry.h"     // kMaxEntryUrl, kMaxEntryName

class QWidget;

namespace sondrel {

// The find text buffer of the main window: AskFind's size, terminator included.
inline constexpr std::size_t kFindTextBuffer = kMaxFindText + 1;

// The find dialog: EdFind = text, CBSelect = selectMatching. After OK the field (at most
// size - 1 bytes) and the box are stored back and the result is true; otherwise nothing changes.
bool AskFind(QWidget* parent, std::string& text, std::size_t size, bool& selectMatching);

// The entry dialog with caption; after OK url (<= kMaxEntryUrl) and name (<= kMaxEntryName) are
// set; a URL that is neither HTTP nor FTP gets the warning box and the dialog stays open. True
// when url is not empty after OK.
bool AskEntry(QWidget* parent, std::string& url, std::string& name, std::string_view caption);

// Read-only views of an entry's address: server and path, or the FTP parts.
void ShowHttpEntry(QWidget* parent, std::string_view url);
void ShowFtpEntry(QWidget* parent, std::string_view url);

// The about box: the program's image and text in Id1.
void ShowAbout(QWidget* parent, std::string_view caption, std::string_view text);

}  // namespace sondrel
