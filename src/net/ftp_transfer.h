#pragma once
// FTP transfers over a logged-in control connection: the size of a file, passive data
// connections, the check used by verification and the retrieval into a local file with resume.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/net_progress.h"

namespace sondrel {

inline constexpr std::size_t kFtpWordMax = 99;  // one word of a SIZE reply
// File bodies are read in blocks of this size; progress is reported once per block. Larger than
// the socket layer's 4096-byte block: a gigabyte in 4 KiB pieces costs a quarter of a million
// receive, write and progress calls, which the download benchmark showed to matter.
inline constexpr std::size_t kFtpDataBlock = 64 * 1024;

// FtpCheckFile
inline constexpr int kFtpFileNoSize = 0;
inline constexpr int kFtpFileRetrievable = 1;
inline constexpr int kFtpFileNotRetrievable = 2;
// FtpReceiveToFile, FtpRetrieveFile
inline constexpr int kFtpTransferComplete = 2;
inline constexpr int kFtpTransferFailed = -1;
inline constexpr int kFtpWriteFailed = -2;
// FtpDownload
inline constexpr int kFtpDownloadDone = 1;
inline constexpr int kFtpDownloadFailed = -1;
inline constexpr int kFtpDownloadNoLogin = 0;

// Reads one number the way C's %i conversion does: leading white space, an optional sign, then
// hexadecimal after "0x", octal after a leading 0, decimal otherwise. Advances text past it;
// false when no digits are there. Values past the 64-bit range saturate.
bool ReadCInteger(std::string_view& text, std::int64_t& value);
// The data address of a PASV reply: the six comma-separated numbers after its '('. False when
// there is no '(', fewer than six numbers, or a number outside 0..255.
[[nodiscard]] bool FtpPassiveAddress(std::string_view reply, std::string& host, int& port);

// 1 with size set when the server answers SIZE with 213 and a readable size, else 0.
[[nodiscard]] int FtpSize(int ctrl, std::int64_t& size, std::string_view path,
                          NetProgress* progress);
// 1 with stamp set to the file's modification time as the server words it ("20261210101500")
// when it answers MDTM with 213, else 0. A changed stamp means a changed file.
[[nodiscard]] int FtpModificationTime(int ctrl, std::string& stamp, std::string_view path,
                                      NetProgress* progress);
// PASV, then a connection to the announced port on the control connection's own peer: the
// address in the reply is not trusted, so a server cannot point the client at another host.
// The data socket, or -1.
[[nodiscard]] int FtpPassive(int ctrl, NetProgress* progress);
// Whether path exists (size known) and can be retrieved; 0, 1 or 2 (see above). The data is not
// read: the retrieval is aborted as soon as the server accepted it.
[[nodiscard]] int FtpCheckFile(int ctrl, std::int64_t& size, std::string_view path,
                               NetProgress* progress);
// Writes what arrives on data into localFile (appended when resuming). 2, -1 or -2.
[[nodiscard]] int FtpReceiveToFile(int data, std::string_view localFile, bool resume,
                                   NetProgress& progress);
// Writes what arrives on data to fd, counting on from progress.transferred. With a known
// progress.total the data ends there, and data that stops short of it is a failure (-1).
[[nodiscard]] int FtpReceiveToFd(int data, int fd, NetProgress& progress);
// Retrieves path into fd, which already holds offset bytes of it (0: none): REST continues
// after them; when the server refuses REST, fd is emptied and the whole file comes. A known
// progress.total (from SIZE) is the length the data must reach. 2, -1 or -2 as below.
[[nodiscard]] int FtpRetrieveToFd(int ctrl, std::string_view path, int fd, std::int64_t offset,
                                  NetProgress& progress);
// Retrieves path into localFile, resuming a partial file when asked and the server allows it.
// 2 only when the data is complete (as long as SIZE said, when it answered) and the server
// confirmed it; -1 or -2 otherwise.
[[nodiscard]] int FtpRetrieveFile(int ctrl, std::string_view path, std::string_view localFile,
                                  bool resume, NetProgress& progress);
// A whole download of an ftp:// address: connect, log in, binary type, retrieve, quit.
// 1 done, -1 the transfer failed, 0 no connection, login refused or binary type refused.
[[nodiscard]] int FtpDownload(std::string_view localFile, std::string_view url, bool resume,
                              int timeoutSeconds, NetProgressFn onProgress,
                              NetCancelFn shouldCancel, void* userData);

}  // namespace sondrel
