#pragma once
// The FTP control connection: reading replies, sending commands, logging in and out. Blocking,
// over the socket layer, with the caller's NetProgress for progress, timeout and cancellation.

#include <cstddef>
#include <string>
#include <string_view>

#include "net/net_progress.h"

namespace sondrel {

// Reply buffers: the login may meet long multi-line greetings; SIZE answers one short line.
inline constexpr std::size_t kFtpLoginReplySize = 8192;
inline constexpr std::size_t kFtpSizeReplySize = 200;
inline constexpr std::size_t kFtpReplySize = 4096;
inline constexpr std::size_t kFtpCommandMax = 1999;
inline constexpr std::size_t kFtpShownCommandMax = 89;

namespace ftp_texts {
// Every command goes through FtpCommand with one of these formats.
inline constexpr const char* kUser = "USER %s\r\n";
inline constexpr const char* kPass = "PASS %s\r\n";
inline constexpr const char* kAcct = "ACCT %s\r\n";
inline constexpr const char* kTypeBinary = "TYPE I\r\n";
inline constexpr const char* kSize = "SIZE %s\r\n";
inline constexpr const char* kModificationTime = "MDTM %s\r\n";
inline constexpr const char* kPassive = "PASV\r\n";
inline constexpr const char* kRestart = "REST %ld\r\n";
inline constexpr const char* kRetrieve = "RETR %s\r\n";
inline constexpr const char* kQuit = "QUIT\r\n";
// Abandons a retrieval; servers answer with the transfer's reply (226 or 426), then their own.
inline constexpr const char* kAbort = "ABOR\r\n";
// A command containing this word is shown masked, so a password never reaches the display.
inline constexpr std::string_view kPassWord = "PASS";
inline constexpr std::string_view kPassShown = "PASS xxxx";
}  // namespace ftp_texts

// Reply codes the client acts on.
enum FtpCode {
  kFtpReadySoon = 120,
  kFtpAlreadyOpen = 125,
  kFtpOpening = 150,
  kFtpOk = 200,
  kFtpNotNeeded = 202,
  kFtpFileStatus = 213,
  kFtpReady = 220,
  kFtpPassiveMode = 227,
  kFtpLoggedIn = 230,
  kFtpNeedPassword = 331,
  kFtpNeedAccount = 332,
  kFtpPending = 350,
};

// The length of the complete reply at the start of buf; 0 while it is incomplete, -1 when the
// fourth character is neither a space nor '-' (such a reply never completes).
long FtpReplyEnd(std::string_view buf);
// The value of the first three characters read as a leading decimal number; non-digits give 0.
int FtpReplyCode(std::string_view reply);

// Reads exactly one reply of at most size - 1 bytes into buf. Its code, or -1 with buf empty
// when the connection broke, timed out, was cancelled or the reply never completed.
[[nodiscard]] int FtpReadReply(int ctrl, std::string& buf, std::size_t size, NetProgress* progress);
// Shows the command (a password masked), sends it and reads the reply. -1 when the send fails.
[[nodiscard]] int FtpSendCommand(int ctrl, std::string_view command, std::string& buf,
                                 std::size_t size, NetProgress* progress);
// Formats a command of at most kFtpCommandMax characters and sends it. -1 without sending when
// an argument would smuggle a line break (and with it a second command) into the text.
[[nodiscard]] int FtpCommand(int ctrl, std::string& buf, std::size_t size, NetProgress* progress,
                             const char* format, ...) __attribute__((format(printf, 5, 6)));
// Reads replies while they are preliminary (125, 150); the code of the last one.
[[nodiscard]] int FtpReadFinalReply(int ctrl, std::string& buf, std::size_t size,
                                    NetProgress* progress);

// Connects and logs in. The control socket, or -1 with code -1 (a refusal is not passed on).
// On success code is the last reply and the progress shows it with state 10.
[[nodiscard]] int FtpLogin(int& code, std::string_view host, int port, std::string_view user,
                           std::string_view password, std::string_view account,
                           NetProgress* progress);
// FtpLogin, then binary type. code is the reply to TYPE I, which the caller judges; the socket
// is returned whatever it was.
[[nodiscard]] int FtpOpen(int& code, std::string_view host, int port, std::string_view user,
                          std::string_view password, std::string_view account,
                          NetProgress* progress);
// Says goodbye and closes the connection in any case. The reply code, or -1.
int FtpQuit(int ctrl, NetProgress* progress);

}  // namespace sondrel
