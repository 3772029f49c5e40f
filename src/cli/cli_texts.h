#pragma once
// The fixed texts of sondrel-cli: its help and the headers of its output.

#include <string_view>

namespace sondrel::cli::cli_texts {

inline constexpr std::string_view kCommonOptions =
    "common options:\n"
    "  --home DIR      the program home for this run (default: $SONDREL_HOME, else the\n"
    "                  XDG directories of the user)\n"
    "  -q, --quiet     no progress and no report on stderr (default: shown)\n"
    "  -h, --help      print this help and exit\n"
    "  -V, --version   print the version and exit\n"
    "  --              end of options: every later word is an argument, even one that\n"
    "                  starts with '-'\n";

inline constexpr std::string_view kExitStatuses =
    "exit status:\n"
    "  0    success (a search that found nothing has succeeded)\n"
    "  1    failure\n"
    "  2    usage error\n"
    "  3    nothing answered: no engine answered a search, no response to a fetch or download\n"
    "  4    the server answered with an HTTP or FTP error reply\n"
    "  130  interrupted\n";

inline constexpr char kCompileDetails[] =
    "NUMBER fills the database's checksum field until the checksum is written over it: any\n"
    "32-bit decimal number will do, such as 0. Problems in the text are printed as\n"
    "DEFINITIONS:LINE: text; with errors nothing is written.\n";

inline constexpr char kConfigDetails[] =
    "  config                     every setting as KEY=VALUE\n"
    "  config KEY                 one setting\n"
    "  config KEY VALUE           set it in the settings file (\"\" for an empty text)\n"
    "  config caFile FILE         also trust the certificates in this PEM file for https\n"
    "                             (\"\" for the system's certificates alone)\n"
    "  config engineKey.NAME KEY  set the key (client id) engine NAME needs, e.g.\n"
    "                             config engineKey.Jamendo CLIENTID; \"\" removes it.\n"
    "                             Keys are printed as NAME=***, never as they are.\n"
    "\n"
    "recentProjects, searchHistory, blockList, lastEngineUpdate, enabledEngines and\n"
    "engineKeys are only printed (engines --enable/--disable choose the engines).\n";

inline constexpr char kDownloadDetails[] =
    "The file arrives as NAME.part, beside NAME.part.meta (the address and the server's ETag,\n"
    "Last-Modified or MDTM date), and takes its name once all of it is there. A later download\n"
    "of the same address continues the part while the server still has that version, and\n"
    "starts over when it changed. An existing NAME is never replaced or extended unasked.\n";

// The first line of every result list.
inline constexpr std::string_view kResultHeader = "Name\tURL\tSize\tStatus\tPos\tEngine";

}  // namespace sondrel::cli::cli_texts
