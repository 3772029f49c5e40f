#pragma once
// The user's own directories as the desktop names them: where settings and downloads go when
// no single program home was chosen with SONDREL_HOME or --home.

#include <string>
#include <string_view>

namespace sondrel {

// $XDG_DATA_HOME/sondrel, else ~/.local/share/sondrel: the home when SONDREL_HOME names none.
std::string DefaultProgramHome();
// Whether home is that default home, so settings and downloads follow the user's directories.
// A home named by SONDREL_HOME or --home keeps everything in one place.
bool UsesUserDirectories(std::string_view home);
// $XDG_CONFIG_HOME/sondrel, else ~/.config/sondrel.
std::string UserConfigDirectory();
// What "xdg-user-dir DOWNLOAD" prints, else ~/Downloads (also when it names the home itself,
// as it does when no download directory is set). Asked once per process.
std::string UserDownloadDirectory();

}  // namespace sondrel
