#include "testkit/music_index.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "testkit/server_process.h"

extern char** environ;

namespace sondrel::testkit {
namespace {

constexpr const char* kDebianPython = "/usr/bin/python3";
constexpr int kStartSeconds = 20;
constexpr std::string_view kPortPlaceholder = "@PORT@";

std::string Python() { return ::access(kDebianPython, X_OK) == 0 ? kDebianPython : "python3"; }

std::string ValueAfter(const std::string& text, std::string_view key) {
  std::size_t at = text.find(std::string(key) + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 1;
  return text.substr(at, text.find('\n', at) - at);
}

int ToInt(const std::string& text) {
  int value = 0;
  bool negative = !text.empty() && text[0] == '-';
  for (std::size_t i = negative ? 1 : 0; i < text.size() && value < 1000000; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::string MusicIndexDefinitionTemplate() {
  return std::string(SONDREL_SOURCE_DIR) + "/tools/music-index/demo.def.in";
}

MusicIndex::MusicIndex() = default;

MusicIndex::~MusicIndex() { Stop(); }

bool MusicIndex::Installed() {
  if (::access(kDebianPython, X_OK) == 0) return true;
  return std::system("command -v python3 >/dev/null 2>&1") == 0;
}

std::string MusicIndex::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string MusicIndex::FtpUrl(std::string_view path) const {
  return "ftp://127.0.0.1:" + std::to_string(ftpPort_) + std::string(path);
}

std::string MusicIndex::DefinitionText() const {
  std::ifstream in(MusicIndexDefinitionTemplate(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string result = text.str();
  const std::string port = std::to_string(port_);
  for (std::size_t at = result.find(kPortPlaceholder); at != std::string::npos;
       at = result.find(kPortPlaceholder, at + port.size())) {
    result.replace(at, kPortPlaceholder.size(), port);
  }
  return result;
}

bool MusicIndex::Start(bool withFtp) {
  Stop();
  error_.clear();
  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return false;
  }
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]);
    ::close(input[1]);
    error_ = "pipe failed";
    return false;
  }
  std::string script = std::string(SONDREL_SOURCE_DIR) + "/tools/music-index/server.py";
  std::vector<std::string> words = {Python(), script, "--port", "0",
                                    "--ftp-port", withFtp ? "0" : "-1",
                                    "--root", dir_.File("site"), "--watch-stdin", "--quiet"};
  if (withFtp) words.push_back("--require-ftp");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  int spawned = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  stdinFd_ = input[1];
  if (spawned != 0) {
    pid_ = -1;
    ::close(output[0]);
    error_ = "cannot start " + words[0];
    return false;
  }

  // The site prints its ports, then READY; it closes its output only when it ends.
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (text.find("READY\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error_ = "the music index did not come up in time";
      break;
    }
    pollfd waiting{output[0], POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
    char block[512];
    ssize_t got = ::read(output[0], block, sizeof block);
    if (got <= 0) {
      error_ = "the music index exited before it was ready";
      break;
    }
    text.append(block, static_cast<std::size_t>(got));
  }
  ::close(output[0]);
  if (!error_.empty()) {
    Stop();
    return false;
  }
  port_ = ToInt(ValueAfter(text, "HTTP_PORT"));
  ftpPort_ = ToInt(ValueAfter(text, "FTP_PORT"));
  if (port_ <= 0) {
    error_ = "the music index reported no port: " + text;
    Stop();
    return false;
  }
  return true;
}

void MusicIndex::Stop() {
  if (stdinFd_ >= 0) {
    ::close(stdinFd_);
    stdinFd_ = -1;
  }
  StopProcess(pid_);
}

}  // namespace sondrel::testkit
