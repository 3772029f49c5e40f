#include "net/ftp_control.h"

#include <cstdarg>
#include <cstdio>

#include "net/socket_io.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::size_t kCodeLength = 3;
constexpr std::size_t kMarkPosition = 3;  // ' ' ends a one-line reply, '-' opens a multi-line one

long FindReplyEnd(const char* buf, std::size_t n, void*) {
  return FtpReplyEnd(std::string_view(buf, n));
}

// The length up to and including the first line feed at or after from; 0 when there is none.
long LineEndAfter(std::string_view buf, std::size_t from) {
  std::size_t feed = buf.find('\n', from);
  return feed == std::string_view::npos ? 0 : static_cast<long>(feed + 1);
}

bool IsLoggedIn(int code) {
  return code == kFtpLoggedIn || code == kFtpNotNeeded;
}

}  // namespace

long FtpReplyEnd(std::string_view buf) {
  const std::size_t n = buf.size();
  if (n <= kMarkPosition + 1) return 0;
  const char mark = buf[kMarkPosition];
  if (mark == ' ') return LineEndAfter(buf, kMarkPosition + 1);
  if (mark != '-') return -1;
  // The reply ends with the line that repeats the code followed by a space; lines that repeat
  // it with '-' (or carry anything else) belong to the text.
  const std::string_view code = buf.substr(0, kCodeLength);
  for (std::size_t feed = buf.find('\n', kMarkPosition + 1); feed != std::string_view::npos;
       feed = buf.find('\n', feed + 1)) {
    const std::string_view line = buf.substr(feed + 1);
    const std::size_t seen = std::min(line.size(), kCodeLength + 1);
    bool matches =
        line.substr(0, std::min(seen, kCodeLength)) == code.substr(0, std::min(seen, kCodeLength));
    if (matches && seen > kCodeLength) matches = line[kCodeLength] == ' ';
    if (!matches) continue;
    if (seen <= kCodeLength) return 0;  // the closing line may be arriving
    // Its end is looked for after its code and space: a garbage "code" holding a line feed
    // must not end the reply inside the closing line's own prefix.
    return LineEndAfter(buf, feed + 1 + kCodeLength + 1);
  }
  return 0;
}

int FtpReplyCode(std::string_view reply) {
  return static_cast<int>(LeadingNumber(reply.substr(0, std::min(reply.size(), kCodeLength))));
}

int FtpReadReply(int ctrl, std::string& buf, std::size_t size, NetProgress* progress) {
  if (RecvUntil(ctrl, buf, size, &FindReplyEnd, nullptr, progress) != 1) {
    buf.clear();
    return -1;
  }
  if (progress) {
    progress->text = buf;
    ReportState(*progress, kNetStateReceived);
  }
  return FtpReplyCode(buf);
}

int FtpSendCommand(int ctrl, std::string_view command, std::string& buf, std::size_t size,
                   NetProgress* progress) {
  if (progress) {
    progress->text = command.find(ftp_texts::kPassWord) != std::string_view::npos
                         ? std::string(ftp_texts::kPassShown)
                         : StrCopyN(command, kFtpShownCommandMax + 1);
    ReportState(*progress, kNetStateSending);
  }
  const long length = static_cast<long>(command.size());
  if (SendAll(ctrl, command.data(), length, static_cast<long>(kSendBlock), progress) != length) {
    buf.clear();
    return -1;
  }
  return FtpReadReply(ctrl, buf, size, progress);
}

int FtpCommand(int ctrl, std::string& buf, std::size_t size, NetProgress* progress,
               const char* format, ...) {
  char text[kFtpCommandMax + 1];
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (written < 0) {
    buf.clear();
    return -1;
  }
  std::string_view command(text, std::min(static_cast<std::size_t>(written), kFtpCommandMax));
  // Only the closing line end may break the line: a CR or LF inside an argument (a path taken
  // from a page, a user name) would make the server read a second command of the page's choice.
  std::string_view body = command;
  if (body.ends_with("\r\n")) body.remove_suffix(2);
  if (body.find_first_of("\r\n") != std::string_view::npos) {
    buf.clear();
    return -1;
  }
  return FtpSendCommand(ctrl, command, buf, size, progress);
}

int FtpReadFinalReply(int ctrl, std::string& buf, std::size_t size, NetProgress* progress) {
  int code;
  do {
    code = FtpReadReply(ctrl, buf, size, progress);
  } while (code == kFtpAlreadyOpen || code == kFtpOpening);
  return code;
}

int FtpLogin(int& code, std::string_view host, int port, std::string_view user,
             std::string_view password, std::string_view account, NetProgress* progress) {
  code = -1;
  const int ctrl = ConnectHost(host, port, progress);
  if (ctrl < 0) return -1;
  const std::string userText(user), passwordText(password), accountText(account);
  std::string buf;
  int reply;
  do {
    reply = FtpReadReply(ctrl, buf, kFtpLoginReplySize, progress);
  } while (reply == kFtpReadySoon);
  bool loggedIn = false;
  if (reply == kFtpReady) {
    reply = FtpCommand(ctrl, buf, kFtpLoginReplySize, progress, ftp_texts::kUser, userText.c_str());
    if (reply == kFtpLoggedIn) {
      loggedIn = true;
    } else if (reply == kFtpNeedPassword) {
      reply = FtpCommand(ctrl, buf, kFtpLoginReplySize, progress, ftp_texts::kPass,
                         passwordText.c_str());
      if (reply == kFtpNeedAccount) {
        reply = FtpCommand(ctrl, buf, kFtpLoginReplySize, progress, ftp_texts::kAcct,
                           accountText.c_str());
      }
      loggedIn = IsLoggedIn(reply);
    } else if (reply == kFtpNeedAccount) {
      reply = FtpCommand(ctrl, buf, kFtpLoginReplySize, progress, ftp_texts::kAcct,
                         accountText.c_str());
      loggedIn = IsLoggedIn(reply);
    }
  }
  if (!loggedIn) {
    CloseConnection(ctrl, progress);
    return -1;
  }
  code = reply;
  if (progress) {
    progress->text = buf;
    ReportState(*progress, kNetStateLoggedIn);
  }
  return ctrl;
}

int FtpOpen(int& code, std::string_view host, int port, std::string_view user,
            std::string_view password, std::string_view account, NetProgress* progress) {
  const int ctrl = FtpLogin(code, host, port, user, password, account, progress);
  if (ctrl < 0) return -1;
  std::string buf;
  code = FtpCommand(ctrl, buf, kFtpReplySize, progress, ftp_texts::kTypeBinary);
  return ctrl;
}

int FtpQuit(int ctrl, NetProgress* progress) {
  std::string buf;
  const int code = FtpCommand(ctrl, buf, kFtpReplySize, progress, ftp_texts::kQuit);
  CloseConnection(ctrl, progress);
  return code;
}

}  // namespace sondrel
