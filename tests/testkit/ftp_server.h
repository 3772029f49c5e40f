#pragma once
// vsftpd on 127.0.0.1 from a config in a temporary directory: anonymous, read-only, passive
// only, serving the files of Root(). Its protocol log shows every command and login.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "testkit/temp_dir.h"

namespace sondrel::testkit {

class VsftpdServer {
 public:
  VsftpdServer();
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  static bool Installed();
  // Starts the server; false (with the reason in error()) when it would not come up.
  bool Start();
  void Stop();

  std::string Root() const { return dir_.File("root"); }
  // Writes a file under Root() that the server's unprivileged user can read.
  void AddFile(const std::string& name, const std::string& content) const;
  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;  // "ftp://127.0.0.1:PORT/path"
  const std::string& error() const { return error_; }

  std::string Log() const;
  // The commands clients sent, in order ("USER anonymous", "REST 4000", ...).
  std::vector<std::string> Commands() const;
  int LoginCount() const;

 private:
  TempDir dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  std::string error_;
};

}  // namespace sondrel::testkit
