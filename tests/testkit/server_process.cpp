#include "testkit/server_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

extern char** environ;

namespace sondrel::testkit {
namespace {

constexpr int kListenChecks = 250;
constexpr auto kListenInterval = std::chrono::milliseconds(20);

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

}  // namespace

int ListenLoopback(int& port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s >= 0) ::close(s);
    return -1;
  }
  port = ntohs(address.sin_port);
  return s;
}

int FreeLoopbackPort() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  int port = 0;
  if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (s >= 0) ::close(s);
  return port;
}

bool CanConnectLoopback(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in address = Loopback(port);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(s);
  return ok;
}

pid_t SpawnProgram(std::vector<std::string> words) {
  if (words.empty()) return -1;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

ListenWait WaitUntilListening(pid_t& pid, int port, int* exitStatus) {
  for (int i = 0; i < kListenChecks; ++i) {
    if (CanConnectLoopback(port)) return ListenWait::kListening;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      if (exitStatus) *exitStatus = WEXITSTATUS(status);
      return ListenWait::kExited;
    }
    std::this_thread::sleep_for(kListenInterval);
  }
  return ListenWait::kTimedOut;
}

void StopProcess(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

}  // namespace sondrel::testkit
