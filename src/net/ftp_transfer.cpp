#include "net/ftp_transfer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <vector>

#include "net/ftp_control.h"
#include "net/ftp_url.h"
#include "net/socket_io.h"
#include "net/url.h"
#include "support/paths.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr int kPassiveNumbers = 6;
constexpr std::int64_t kPassiveNumberMax = 255;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The words of a reply are separated by spaces, carriage returns and line feeds.
std::string_view NthWord(std::string_view text, int index) {
  constexpr std::string_view kSeparators = " \r\n";
  std::size_t at = 0;
  for (int i = 0;; ++i) {
    at = text.find_first_not_of(kSeparators, at);
    if (at == std::string_view::npos) return {};
    std::size_t end = text.find_first_of(kSeparators, at);
    if (end == std::string_view::npos) end = text.size();
    if (i == index) return text.substr(at, std::min(end - at, kFtpWordMax));
    at = end;
  }
}

// A size word: decimal digits, read up to the first other character. False when it has no
// digits or does not fit, so that a hostile reply never yields a negative or wrapped total.
bool ReadSize(std::string_view word, std::int64_t& size) {
  if (word.empty() || DigitValue(word.front()) > 9) return false;
  std::int64_t value = 0;
  for (char c : word) {
    const int digit = DigitValue(c);
    if (digit > 9) break;
    if (value > (kInt64Max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  size = value;
  return true;
}

// The length of a local file, -1 when it cannot be examined.
std::int64_t LocalFileLength(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool IsPreliminary(int code) {
  return code == kFtpAlreadyOpen || code == kFtpOpening;
}

// Abandons the retrieval on the server. The data connection goes first: a server blocked on
// sending to a reader that stopped only notices the abort once its send fails.
bool IsRegularFd(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// The dotted address of the far end of s.
bool PeerAddress(int s, std::string& address) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
      peer.sin_family != AF_INET) {
    return false;
  }
  char text[INET_ADDRSTRLEN];
  if (!::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text)) return false;
  address = text;
  return true;
}

void AbortRetrieval(int ctrl, int& data, NetProgress* progress) {
  CloseConnection(data, progress);
  data = kNoSocket;
  std::string buf;
  (void)FtpCommand(ctrl, buf, kFtpReplySize, progress, ftp_texts::kAbort);
}

}  // namespace

bool ReadCInteger(std::string_view& text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    base = 8;
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    }
  }
  const std::size_t first = i;
  std::int64_t result = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit >= base) break;
    result = result > (kInt64Max - digit) / base ? kInt64Max : result * base + digit;
  }
  if (i == first) return false;
  value = negative ? -result : result;
  text.remove_prefix(i);
  return true;
}

bool FtpPassiveAddress(std::string_view reply, std::string& host, int& port) {
  const std::size_t open = reply.find('(');
  if (open == std::string_view::npos) return false;
  std::string_view text = reply.substr(open + 1);
  std::int64_t numbers[kPassiveNumbers];
  for (int i = 0; i < kPassiveNumbers; ++i) {
    if (i > 0) {
      if (text.empty() || text.front() != ',') return false;
      text.remove_prefix(1);
    }
    if (!ReadCInteger(text, numbers[i])) return false;
    // Each number is one byte of an address or a port; anything else is not an address.
    if (numbers[i] < 0 || numbers[i] > kPassiveNumberMax) return false;
  }
  char dotted[16];
  std::snprintf(dotted, sizeof dotted, "%d.%d.%d.%d", static_cast<int>(numbers[0]),
                static_cast<int>(numbers[1]), static_cast<int>(numbers[2]),
                static_cast<int>(numbers[3]));
  host = dotted;
  port = static_cast<int>(numbers[4] * 256 + numbers[5]);
  return true;
}

int FtpSize(int ctrl, std::int64_t& size, std::string_view path, NetProgress* progress) {
  std::string buf;
  const std::string pathText(path);
  if (FtpCommand(ctrl, buf, kFtpSizeReplySize, progress, ftp_texts::kSize, pathText.c_str()) !=
      kFtpFileStatus) {
    return 0;
  }
  return ReadSize(NthWord(buf, 1), size) ? 1 : 0;
}

int FtpModificationTime(int ctrl, std::string& stamp, std::string_view path,
                        NetProgress* progress) {
  std::string buf;
  const std::string pathText(path);
  stamp.clear();
  if (FtpCommand(ctrl, buf, kFtpSizeReplySize, progress, ftp_texts::kModificationTime,
                 pathText.c_str()) != kFtpFileStatus) {
    return 0;
  }
  stamp = std::string(NthWord(buf, 1));
  return stamp.empty() ? 0 : 1;
}

int FtpPassive(int ctrl, NetProgress* progress) {
  std::string buf;
  if (FtpCommand(ctrl, buf, kFtpReplySize, progress, ftp_texts::kPassive) != kFtpPassiveMode) {
    return kNoSocket;
  }
  std::string announced;
  int port = 0;
  if (!FtpPassiveAddress(buf, announced, port) || port == 0) return kNoSocket;
  std::string peer;
  if (!PeerAddress(ctrl, peer)) return kNoSocket;
  return ConnectHost(peer, port, progress);
}

int FtpCheckFile(int ctrl, std::int64_t& size, std::string_view path, NetProgress* progress) {
  if (FtpSize(ctrl, size, path, progress) != 1) return kFtpFileNoSize;
  int data = FtpPassive(ctrl, progress);
  if (data < 0) return kFtpFileNotRetrievable;
  std::string buf;
  const std::string pathText(path);
  int result = kFtpFileNotRetrievable;
  if (IsPreliminary(
          FtpCommand(ctrl, buf, kFtpReplySize, progress, ftp_texts::kRetrieve, pathText.c_str()))) {
    result = kFtpFileRetrievable;
    AbortRetrieval(ctrl, data, progress);
    (void)FtpReadFinalReply(ctrl, buf, kFtpReplySize, progress);
  }
  CloseConnection(data, progress);
  return result;
}

int FtpReceiveToFd(int data, int fd, NetProgress& progress) {
  const std::uint32_t start = NowMillis();
  progress.elapsedMs = 0;
  ReportState(progress, kNetStateData);
  // With a known size the file ends there, even when the server keeps the connection open,
  // and a connection that closes before it is a cut-off transfer, not the end of the file.
  const bool bounded = progress.total >= 0;
  if (bounded && progress.transferred >= progress.total) return kFtpTransferComplete;
  std::vector<char> block(kFtpDataBlock);
  for (;;) {
    const long got = RecvWait(data, block.data(), block.size(), 0, &progress);
    if (got < 0) return kFtpTransferFailed;
    if (got == 0) {
      return bounded && progress.transferred < progress.total ? kFtpTransferFailed
                                                              : kFtpTransferComplete;
    }
    std::int64_t n = got;
    bool end = false;
    if (bounded && progress.transferred + n >= progress.total) {
      n = progress.total - progress.transferred;
      end = true;
    }
    progress.transferred += n;
    progress.elapsedMs = static_cast<std::uint32_t>(NowMillis() - start);
    ReportState(progress, kNetStateData);
    if (!FdWriteAll(fd, std::string_view(block.data(), static_cast<std::size_t>(n)))) {
      return kFtpWriteFailed;
    }
    if (end) return kFtpTransferComplete;
  }
}

int FtpReceiveToFile(int data, std::string_view localFile, bool resume, NetProgress& progress) {
  if (!resume) progress.transferred = 0;
  const std::string path(localFile);
  const int fd = resume ? ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)
                        : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return kFtpTransferFailed;
  int result = FtpReceiveToFd(data, fd, progress);
  if (::close(fd) != 0 && result == kFtpTransferComplete) result = kFtpWriteFailed;
  return result;
}

int FtpRetrieveToFd(int ctrl, std::string_view path, int fd, std::int64_t offset,
                    NetProgress& progress) {
  const std::string pathText(path);
  int data = FtpPassive(ctrl, &progress);
  if (data < 0) return kFtpTransferFailed;
  std::string buf;
  bool resuming = false;
  if (offset > 0) {
    resuming = FtpCommand(ctrl, buf, kFtpReplySize, &progress, ftp_texts::kRestart,
                          static_cast<long>(offset)) == kFtpPending;
  }
  progress.transferred = resuming ? offset : 0;
  // The data is written after what fd holds of the file, or from its start; a device such as
  // /dev/null has no start to go back to.
  if (IsRegularFd(fd) && (::ftruncate(fd, progress.transferred) != 0 ||
                          ::lseek(fd, static_cast<off_t>(progress.transferred), SEEK_SET) < 0)) {
    CloseConnection(data, &progress);
    return kFtpWriteFailed;
  }
  if (!IsPreliminary(FtpCommand(ctrl, buf, kFtpReplySize, &progress, ftp_texts::kRetrieve,
                                pathText.c_str()))) {
    CloseConnection(data, &progress);
    return kFtpTransferFailed;
  }
  const int received = FtpReceiveToFd(data, fd, progress);
  if (received == kFtpWriteFailed || CancelRequested(&progress)) {
    AbortRetrieval(ctrl, data, &progress);
  } else if (received != kFtpTransferComplete) {
    // Nobody reads the rest: hang up, so the server ends the transfer and answers at once.
    CloseConnection(data, &progress);
    data = kNoSocket;
  }
  const int final = FtpReadFinalReply(ctrl, buf, kFtpReplySize, &progress);
  int result = received;
  if (received == kFtpTransferComplete && (final < 200 || final > 299)) {
    result = kFtpTransferFailed;  // all data arrived, but the server does not vouch for it
  }
  CloseConnection(data, &progress);
  return result;
}

int FtpRetrieveFile(int ctrl, std::string_view path, std::string_view localFile, bool resume,
                    NetProgress& progress) {
  std::int64_t size = 0;
  std::int64_t offset = 0;
  const std::string file(localFile);
  if (FtpSize(ctrl, size, path, &progress) == 1) {
    progress.total = size;
    // A local file longer than the server's is not a part of it: start over.
    if (resume) offset = std::max<std::int64_t>(LocalFileLength(file), 0);
    if (offset > size) offset = 0;
  }
  const bool existed = LocalFileLength(file) >= 0;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kFtpTransferFailed;
  int result = FtpRetrieveToFd(ctrl, path, fd, offset, progress);
  if (::close(fd) != 0 && result == kFtpTransferComplete) result = kFtpWriteFailed;
  // A retrieval that got nothing leaves no empty file behind.
  if (result != kFtpTransferComplete && !existed && LocalFileLength(file) == 0) {
    (void)::unlink(file.c_str());
  }
  return result;
}

int FtpDownload(std::string_view localFile, std::string_view url, bool resume, int timeoutSeconds,
                NetProgressFn onProgress, NetCancelFn shouldCancel, void* userData) {
  NetProgress progress = TimedProgress(timeoutSeconds, onProgress, shouldCancel, userData);
  std::string path;
  if (!FtpPathOf(url, path)) return kFtpDownloadFailed;
  FtpAddress address;
  (void)FtpUrlParts(url, address);
  int code = -1;
  const int ctrl =
      FtpOpen(code, address.host, address.port, address.user, address.password, "", &progress);
  if (ctrl < 0) return kFtpDownloadNoLogin;
  if (code != kFtpOk) {
    CloseConnection(ctrl, &progress);
    return kFtpDownloadNoLogin;
  }
  const int retrieved = FtpRetrieveFile(ctrl, path, localFile, resume, progress);
  (void)FtpQuit(ctrl, &progress);
  return retrieved == kFtpTransferComplete ? kFtpDownloadDone : kFtpDownloadFailed;
}

}  // namespace sondrel
