#include "testkit/scripted_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace sondrel::testkit {
namespace {

constexpr int kSliceMs = 20;
constexpr int kAcceptWaitMs = 5000;

int Listen(int& port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s >= 0) ::close(s);
    return -1;
  }
  port = ntohs(address.sin_port);
  return s;
}

// Sends everything unless the peer goes away or the server stops.
bool SendText(int s, std::string_view text, const std::atomic<bool>& stop) {
  while (!text.empty() && !stop) {
    pollfd p{s, POLLOUT, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    ssize_t n = ::send(s, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return text.empty();
}

std::string Upper(std::string_view word) {
  std::string out;
  for (char c : word) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

void CloseIf(int& s) {
  if (s >= 0) ::close(s);
  s = -1;
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(FtpScript script) : script_(std::move(script)) {
  listener_ = Listen(port_);
  if (listener_ < 0) throw std::runtime_error("scripted ftp server: cannot listen");
  thread_ = std::thread([this] { Run(); });
}

ScriptedFtpServer::~ScriptedFtpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string ScriptedFtpServer::Url(std::string_view path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> ScriptedFtpServer::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool ScriptedFtpServer::Received(std::string_view line) const {
  for (const std::string& command : Commands()) {
    if (command == line) return true;
  }
  return false;
}

void ScriptedFtpServer::Run() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int control = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (control < 0) continue;
    Serve(control);
    ::close(control);
  }
}

bool ScriptedFtpServer::SendReply(int control, std::string_view text) {
  if (script_.tricklePauseMs <= 0) return SendText(control, text, stop_);
  for (std::size_t i = 0; i < text.size() && !stop_; ++i) {
    if (!SendText(control, text.substr(i, 1), stop_)) return false;
    for (int waited = 0; waited < script_.tricklePauseMs && !stop_; waited += kSliceMs) {
      ::poll(nullptr, 0, std::min(kSliceMs, script_.tricklePauseMs - waited));
    }
  }
  return !stop_;
}

void ScriptedFtpServer::Serve(int control) {
  int passive = -1;  // listener of the announced data port
  int data = -1;     // data connection held open after a transfer
  long long offset = 0;
  for (const std::string& part : script_.greeting) {
    if (!SendReply(control, part)) return;
  }
  std::string pending;
  char buf[4096];
  while (!stop_) {
    std::size_t feed = pending.find('\n');
    if (feed == std::string::npos) {
      pollfd p{control, POLLIN, 0};
      if (::poll(&p, 1, kSliceMs) <= 0) continue;
      ssize_t got = ::recv(control, buf, sizeof buf, 0);
      if (got <= 0) break;
      pending.append(buf, static_cast<std::size_t>(got));
      continue;
    }
    std::string line = pending.substr(0, feed);
    pending.erase(0, feed + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(line);
    }
    std::string reply = Answer(line, control, passive, data, offset);
    if (!SendReply(control, reply)) break;
    if (Upper(line.substr(0, 4)) == "QUIT") break;
  }
  CloseIf(passive);
  CloseIf(data);
}

std::string ScriptedFtpServer::Answer(const std::string& line, int control, int& passive, int& data,
                                      long long& offset) {
  std::size_t space = line.find(' ');
  std::string verb = Upper(line.substr(0, space));
  std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
  auto scripted = script_.replies.find(verb);
  const bool overridden = scripted != script_.replies.end();

  if (verb == "PASV") {
    CloseIf(passive);
    int port = 0;
    passive = Listen(port);
    if (passive < 0) return "425 Cannot listen.\r\n";
    if (overridden) return scripted->second;
    int numbers[6] = {127, 0, 0, 1, port / 256, port % 256};
    const char* at = script_.passiveHost.c_str();
    for (int i = 0; i < 4 && *at; ++i) {
      char* end = nullptr;
      numbers[i] = static_cast<int>(std::strtol(at, &end, 10));
      at = *end == ',' ? end + 1 : end;
    }
    std::string text = "227 Entering Passive Mode (";
    for (int i = 0; i < 6; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, script_.octalPassive ? "0%o" : "%d", numbers[i]);
      text += (i ? "," : "") + std::string(number);
    }
    return text + ").\r\n";
  }
  if (overridden) return scripted->second;
  if (verb == "USER") return "331 Password please.\r\n";
  if (verb == "PASS") return "230 Logged in.\r\n";
  if (verb == "ACCT") return "230 Account accepted.\r\n";
  if (verb == "TYPE") return "200 Binary it is.\r\n";
  if (verb == "SIZE") return "213 " + std::to_string(script_.file.size()) + "\r\n";
  if (verb == "QUIT") return "221 Goodbye.\r\n";
  if (verb == "ABOR") {
    CloseIf(data);
    return "225 Nothing to abort.\r\n";
  }
  if (verb == "REST") {
    offset = std::strtoll(argument.c_str(), nullptr, 10);
    return "350 Restarting at " + argument + ".\r\n";
  }
  if (verb != "RETR") return "502 Not implemented.\r\n";

  if (passive < 0) return "425 Use PASV first.\r\n";
  if (!SendText(control, script_.opening, stop_)) return {};
  CloseIf(data);
  for (int waited = 0; data < 0 && waited < kAcceptWaitMs && !stop_; waited += kSliceMs) {
    pollfd p{passive, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) > 0) data = ::accept4(passive, nullptr, nullptr, SOCK_CLOEXEC);
  }
  CloseIf(passive);
  if (data < 0) return "425 No data connection.\r\n";
  std::string_view body = script_.file;
  body.remove_prefix(
      std::min<std::size_t>(static_cast<std::size_t>(std::max(0LL, offset)), body.size()));
  offset = 0;
  bool sent = SendText(data, body, stop_);
  if (!script_.keepDataOpen) CloseIf(data);
  return sent ? script_.afterData : "426 Connection closed; transfer aborted.\r\n";
}

}  // namespace sondrel::testkit
