#include "testkit/nginx_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include "testkit/server_process.h"

namespace sondrel::testkit {
namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

}  // namespace

NginxServer::NginxServer(std::string extraServerLines) : extra_(std::move(extraServerLines)) {
  ::mkdir(Root().c_str(), 0755);
}

NginxServer::~NginxServer() {
  Stop();
}

bool NginxServer::Installed() {
  return ::access(kNginx, X_OK) == 0;
}

std::string NginxServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string NginxServer::TlsUrl(std::string_view path) const {
  return "https://127.0.0.1:" + std::to_string(tlsPort_) + std::string(path);
}

std::string NginxServer::AccessLog() const {
  return dir_.Read("access.log");
}

bool NginxServer::Start() {
  const std::string& t = dir_.path();
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreeLoopbackPort();
    std::string listen = "    listen 127.0.0.1:" + std::to_string(port_) + ";\n";
    if (!tls_.cert.empty()) {
      do {
        tlsPort_ = FreeLoopbackPort();
      } while (tlsPort_ == port_);
      listen += "    listen 127.0.0.1:" + std::to_string(tlsPort_) + " ssl;\n    ssl_certificate " +
                tls_.cert + ";\n    ssl_certificate_key " + tls_.key +
                ";\n    ssl_protocols TLSv1.2 TLSv1.3;\n"
                "    ssl_session_cache shared:tls:1m;\n";
    }
    std::string log = accessLog_ ? "  log_format reuse '$connection $connection_requests "
                                   "$request';\n  access_log " +
                                       t + "/access.log reuse;\n"
                                 : "  access_log off;\n";
    std::string config;
    // Workers of a root master would drop to nobody and could not read the private directory.
    if (::geteuid() == 0) config += "user root;\n";
    config +=
        "worker_processes 1;\npid " + t +
        "/nginx.pid;\nevents { worker_connections 64; }\n"
        "http {\n  include /etc/nginx/mime.types;\n  default_type application/octet-stream;\n" +
        log +
        "  sendfile on;\n  if_modified_since before;\n"
        "  client_body_temp_path " +
        t +
        "/client_body;\n"
        "  proxy_temp_path " +
        t + "/proxy;\n  fastcgi_temp_path " + t +
        "/fastcgi;\n"
        "  uwsgi_temp_path " +
        t + "/uwsgi;\n  scgi_temp_path " + t +
        "/scgi;\n"
        "  server {\n" +
        listen + "    root " + Root() + ";\n" + extra_ + "\n  }\n}\n";
    dir_.Write("nginx.conf", config);
    std::string errorLog = t + "/error.log";
    std::string conf = t + "/nginx.conf";
    pid_ = SpawnProgram({kNginx, "-p", t, "-e", errorLog, "-c", conf, "-g", "daemon off;"});
    if (pid_ < 0) {
      error_ = "cannot start nginx";
      return false;
    }
    if (WaitUntilListening(pid_, port_) == ListenWait::kListening) return true;
    Stop();
    error_ = "nginx did not come up: " + dir_.Read("error.log");
  }
  return false;
}

void NginxServer::Stop() {
  StopProcess(pid_);
}

}  // namespace sondrel::testkit
