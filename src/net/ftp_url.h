#pragma once
// FTP addresses: the acceptance check and the login parts of an ftp:// URL.

#include <string>
#include <string_view>

namespace sondrel {

inline constexpr int kDefaultFtpPort = 21;
inline constexpr std::size_t kFtpHostMax = 499;
inline constexpr std::size_t kFtpPathMax = 999;

// Accepts "ftp://host[/path[;type=X]]" (scheme in any case). host, path and type may be null.
// 1 when accepted, else 0.
[[nodiscard]] int CheckFtpUrl(std::string_view url, std::string* host, std::string* path,
                              char* type);
// An accepted FTP address with a host.
bool IsFtpUrl(std::string_view url);

struct FtpAddress {
  std::string host;
  int port = kDefaultFtpPort;
  std::string user;      // "anonymous" when the address names none
  std::string password;  // the placeholder address for anonymous logins
  std::string dir;       // "/pub"; a directory of two or more characters loses its last '/'
  std::string file;      // "f.mp3"
};

// Splits an FTP address into what the login and the transfer need. Always 1.
int FtpUrlParts(std::string_view url, FtpAddress& out);

// The server path of an ftp:// address for SIZE, MDTM and RETR: the path after the host without
// its leading '/', percent-decoded ("my%20song.mp3" is the file "my song.mp3"; '+' stays).
// False when the decoded path holds a NUL, CR or LF, which no command line can carry.
[[nodiscard]] bool FtpPathOf(std::string_view url, std::string& path);

}  // namespace sondrel
