#pragma once
// TFDown: one modeless window per download, showing its source, destination, state and
// progress, with a Cancel button. Several downloads run at once.

#include <string>

#include "results/result_entry.h"
#include "results/settings.h"

class QWidget;

namespace sondrel {

// The Download File command for one entry: plans it into the download directory (asking about
// a file in the way: resume, replace, keep both or cancel), opens a download window and starts
// it. True when a download started (the caller sets the row's icon to 1).
bool DownloadSelected(QWidget* parent, const ResultEntry& entry, Settings& settings, const std::string& home);
// Shut-down: cancels every running download and waits (bounded) for their threads.
void CancelAllDownloads();

}  // namespace sondrel
