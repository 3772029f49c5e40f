#include "testkit/ftp_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "testkit/server_process.h"

namespace sondrel::testkit {
namespace {

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr std::string_view kCommandMark = "FTP command: Client \"127.0.0.1\", \"";
constexpr std::string_view kLoginMark = "OK LOGIN:";

}  // namespace

VsftpdServer::VsftpdServer() {
  // The server chroots into the root and drops to the ftp user: both directories must be
  // readable by it, and the root must not be writable by it.
  ::mkdir(Root().c_str(), 0755);
  ::mkdir(dir_.File("empty").c_str(), 0755);
}

VsftpdServer::~VsftpdServer() {
  Stop();
}

bool VsftpdServer::Installed() {
  return ::access(kVsftpd, X_OK) == 0;
}

void VsftpdServer::AddFile(const std::string& name, const std::string& content) const {
  std::string path = Root() + "/" + name;
  {
    std::ofstream out(path, std::ios::binary);
    out << content;
  }
  ::chmod(path.c_str(), 0644);
}

std::string VsftpdServer::Url(std::string_view path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

bool VsftpdServer::Start() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreeLoopbackPort();
    std::string config =
        "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port_) +
        "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\n"
        "anon_root=" +
        Root() +
        "\nlocal_enable=NO\nwrite_enable=NO\n"
        "pasv_enable=YES\npasv_min_port=30000\npasv_max_port=30999\npasv_address=127.0.0.1\n"
        "secure_chroot_dir=" +
        dir_.File("empty") +
        "\n"
        "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
        "vsftpd_log_file=" +
        dir_.File("vsftpd.log") + "\n";
    // Unprivileged it cannot chroot or switch users; it then serves as the caller.
    if (::geteuid() != 0) config += "run_as_launching_user=YES\n";
    // The config is written by this process, so it is owned by the user who starts the server.
    dir_.Write("vsftpd.conf", config);
    std::string conf = dir_.File("vsftpd.conf");
    pid_ = SpawnProgram({kVsftpd, conf});
    if (pid_ < 0) {
      error_ = "cannot start vsftpd";
      return false;
    }
    int status = 0;
    switch (WaitUntilListening(pid_, port_, &status)) {
      case ListenWait::kListening:
        return true;
      case ListenWait::kExited:
        error_ = "vsftpd exited with status " + std::to_string(status);
        break;
      case ListenWait::kTimedOut:
        break;
    }
    Stop();
    if (error_.empty()) error_ = "vsftpd did not come up";
  }
  return false;
}

void VsftpdServer::Stop() {
  StopProcess(pid_);
}

std::string VsftpdServer::Log() const {
  return dir_.Read("vsftpd.log");
}

std::vector<std::string> VsftpdServer::Commands() const {
  std::vector<std::string> commands;
  std::string log = Log();
  for (std::size_t at = log.find(kCommandMark); at != std::string::npos;
       at = log.find(kCommandMark, at + 1)) {
    std::size_t start = at + kCommandMark.size();
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) break;
    // The line ends with the command's closing quote.
    commands.push_back(log.substr(start, end - start - 1));
  }
  return commands;
}

int VsftpdServer::LoginCount() const {
  int count = 0;
  std::string log = Log();
  for (std::size_t at = log.find(kLoginMark); at != std::string::npos;
       at = log.find(kLoginMark, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace sondrel::testkit
