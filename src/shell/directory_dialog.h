#pragma once
// The download-directory dialog: a drive box, the current path and a directory list whose
// pop-up menu makes and removes directories.

#include <string>

class QWidget;

namespace sondrel {

// True after OK with directory set (at most kMaxDownloadDirectory bytes); false leaves it.
bool ChooseDirectory(QWidget* parent, std::string& directory);

}  // namespace sondrel
