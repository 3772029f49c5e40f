// Verification throughput. A plain timing main:
//   verification_bench [LINKS] [FTP_FILES]
// 1. LINKS (1,000) HTTP results on a local server that answers each request after 50 ms,
//    verified with maxConnections 20: wall time against the ideal LINKS / 20 * 50 ms.
// 2. FTP_FILES (200) files on one local vsftpd verified in one run: wall time and the number
//    of logins the server saw (must be exactly one).
// Exits 1 when a check fails, the HTTP run takes more than 1.2 times the ideal, or the FTP run
// needs more than one login.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_io.h"
#include "tasks/gui_dispatch.h"
#include "tasks/verification.h"
#include "testkit/ftp_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerDelay = std::chrono::milliseconds(50);
constexpr int kConnections = 20;
constexpr double kAllowedFactor = 1.2;

// Answers every request after kAnswerDelay, any number of connections at once.
class DelayedServer {
 public:
  DelayedServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::listen(listener_, 256) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~DelayedServer() {
    stop_ = true;
    acceptor_.join();
    std::lock_guard lock(mutex_);
    for (std::thread& t : clients_) t.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  void Accept() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::lock_guard lock(mutex_);
      clients_.emplace_back([client] { Serve(client); });
    }
  }
  static void Serve(int client) {
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    std::this_thread::sleep_for(kAnswerDelay);
    static const std::string reply =
        "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 4096\r\n\r\n";
    (void)::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::close(client);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::thread> clients_;
  std::thread acceptor_;
};

void AddEntry(sondrel::SearchDocument& document, const std::string& url) {
  auto entry = std::make_unique<sondrel::ResultEntry>(sondrel::NewEntry());
  entry->url = url;
  (void)document.entries.Append(std::move(entry));
}

// Verifies every entry with kConnections; the wall time in seconds.
double VerifyTimed(sondrel::SearchDocument& document) {
  auto queue = std::make_shared<sondrel::MainThreadQueue>();
  sondrel::InstallDispatcher(queue);
  sondrel::VerifyConfig config;
  config.maxConnections = kConnections;
  config.timeoutSeconds = 30;
  config.removeInvalid = false;
  auto run = std::make_unique<sondrel::VerifyRun>();
  const auto start = Clock::now();
  if (sondrel::VerifyAll(*run, document, config, {}) == sondrel::kVerifyStarted) {
    queue->RunUntil([&run] { return sondrel::IsFinished(run->thread); });
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  sondrel::RemoveDispatcher();
  queue->Close();
  return seconds;
}

int CountStatus(const sondrel::SearchDocument& document, std::uint8_t status) {
  int count = 0;
  for (const auto& entry : document.entries) count += entry->status == status;
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int links = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int files = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  sondrel::NetStartup();
  int failed = 0;

  {
    DelayedServer server;
    sondrel::SearchDocument document;
    for (int i = 0; i < links; ++i) {
      AddEntry(document, "http://127.0.0.1:" + std::to_string(server.port()) + "/f" +
                             std::to_string(i) + ".mp3");
    }
    const double wall = VerifyTimed(document);
    const double ideal =
        static_cast<double>(links) / kConnections * std::chrono::duration<double>(kAnswerDelay).count();
    const int valid = CountStatus(document, sondrel::kStatusValid);
    std::printf("http: %d links, %d connections, 50 ms answers: %.3f s wall, ideal %.3f s, "
                "%.2fx; %d valid\n",
                links, kConnections, wall, ideal, wall / ideal, valid);
    if (valid != links || wall > ideal * kAllowedFactor) failed = 1;
  }

  if (!sondrel::testkit::VsftpdServer::Installed()) {
    std::fprintf(stderr, "vsftpd is not installed (scripts/setup-deps): FTP part skipped\n");
  } else {
    sondrel::testkit::VsftpdServer server;
    for (const char* dir : {"a", "b", "c", "d"}) {
      const std::string path = server.Root() + "/" + dir;
      ::mkdir(path.c_str(), 0755);
      ::chmod(path.c_str(), 0755);
    }
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
      names.push_back(std::string(1, static_cast<char>('a' + i % 4)) + "/f" + std::to_string(i) +
                      ".mp3");
      server.AddFile(names.back(), std::string(1000, 'f'));
    }
    if (!server.Start()) {
      std::fprintf(stderr, "vsftpd: %s\n", server.error().c_str());
      return 1;
    }
    sondrel::SearchDocument document;
    for (const std::string& name : names) AddEntry(document, server.Url("/" + name));
    const double wall = VerifyTimed(document);
    const int valid = CountStatus(document, sondrel::kStatusValid);
    const int logins = server.LoginCount();
    std::printf("ftp: %d files on one server: %.3f s wall, %.2f ms per file, %d valid, "
                "%d login(s)\n",
                files, wall, wall * 1000 / files, valid, logins);
    if (valid != files || logins != 1) failed = 1;
  }
  sondrel::NetShutdown();
  return failed;
}
