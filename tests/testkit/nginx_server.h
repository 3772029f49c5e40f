#pragma once
// nginx on 127.0.0.1 from a config in a temporary directory, serving the files of Root().

#include <sys/types.h>

#include <string>
#include <string_view>

#include "testkit/server_process.h"  // FreeLoopbackPort, for the users of this server
#include "testkit/temp_dir.h"
#include "testkit/test_certificates.h"

namespace sondrel::testkit {

class NginxServer {
 public:
  // extraServerLines go inside the server block (locations, returns).
  explicit NginxServer(std::string extraServerLines = "");
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  static bool Installed();
  // Before Start: also serve https on TlsPort() with this certificate.
  void EnableTls(const CertificatePair& pair) { tls_ = pair; }
  // Before Start: log "$connection $connection_requests $request" per request to AccessLog().
  void EnableAccessLog() { accessLog_ = true; }
  // Starts the server; false (with the reason in error()) when it would not come up.
  bool Start();
  void Stop();

  std::string Root() const { return dir_.File("www"); }
  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;  // "http://127.0.0.1:PORT/path"
  int tlsPort() const { return tlsPort_; }
  std::string TlsUrl(std::string_view path = "/") const;  // "https://127.0.0.1:TLSPORT/path"
  // The access log so far (nginx writes each line when its request ends).
  std::string AccessLog() const;
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;
  std::string extra_;
  int port_ = 0;
  int tlsPort_ = 0;
  CertificatePair tls_;
  bool accessLog_ = false;
  pid_t pid_ = -1;
  std::string error_;
};

}  // namespace sondrel::testkit
