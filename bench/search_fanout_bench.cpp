// How close one search thread comes to running its engines truly in parallel, and what it costs
// while it waits. 25 local engines each answer 300 ms after their request; with 20 connections
// the ideal search takes two rounds, 600 ms. The search thread's CPU time shows whether the
// scheduler sleeps between passes or spins.
//
//   build/bench/search_fanout_bench [RUNS] [--https]
//
// With --https the engines are reached over TLS: nginx with a test certificate stands in front
// of the same delayed server, and the ideal adds one handshake per connection in each round.
//
// Exits 1 when the median wall time is above 1.15 x the ideal (1.10 x over https) or the search
// thread's CPU time is above 5 % of its wall time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine_database.h"
#include "engines/search_driver.h"
#include "net/http_connection.h"
#include "net/socket_io.h"
#include "net/tls_context.h"
#include "net/tls_options.h"
#include "results/search_document.h"
#include "results/settings.h"
#include "support/paths.h"
#include "testkit/nginx_server.h"
#include "testkit/test_certificates.h"

using namespace sondrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEngines = 25;
constexpr int kConnections = 20;
constexpr auto kAnswerDelay = std::chrono::milliseconds(300);
constexpr int kEntriesPerPage = 5;
constexpr double kIdealMs = 600.0;
constexpr double kWallBudget = 1.15;
constexpr double kTlsWallBudget = 1.10;
constexpr int kHandshakeSamples = 9;
constexpr double kCpuBudget = 0.05;

// One thread, one poll: every connection is answered kAnswerDelay after its request arrived.
class DelayedServer {
 public:
  DelayedServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      std::exit(2);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~DelayedServer() {
    stop_ = true;
    thread_.join();
    for (auto& [fd, client] : clients_) ::close(fd);
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  struct Client {
    std::string request;
    Clock::time_point due{};
    bool answered = false;
  };

  static std::string PageFor(const std::string& request) {
    // "GET /e7?q=... HTTP/1.0": engine 7's page.
    std::size_t from = request.find("/e");
    std::size_t to = request.find('?', from);
    const std::string engine = from == std::string::npos || to == std::string::npos
                                   ? "x"
                                   : request.substr(from + 2, to - from - 2);
    std::string body = "<html><body><ul>";
    for (int i = 0; i < kEntriesPerPage; ++i) {
      const std::string name = "e" + engine + "-" + std::to_string(i);
      body += "<li><a href=\"/files/" + name + ".mp3\">" + name + "</a></li>";
    }
    body += "</ul></body></html>";
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  }

  void Run() {
    while (!stop_) {
      std::vector<pollfd> fds{{listener_, POLLIN, 0}};
      int timeout = 20;
      const auto now = Clock::now();
      for (auto& [fd, client] : clients_) {
        if (client.answered) continue;
        if (client.due == Clock::time_point{}) {
          fds.push_back({fd, POLLIN, 0});
        } else {
          auto left = std::chrono::duration_cast<std::chrono::milliseconds>(client.due - now);
          timeout = std::clamp(static_cast<int>(left.count()), 0, timeout);
        }
      }
      ::poll(fds.data(), fds.size(), timeout);
      for (;;) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;
        clients_[fd] = Client{};
      }
      for (const pollfd& p : fds) {
        if (p.fd == listener_ || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        Client& client = clients_[p.fd];
        char buf[4096];
        ssize_t n = ::recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) client.request.append(buf, static_cast<std::size_t>(n));
        if (client.request.find("\r\n\r\n") != std::string::npos || n == 0) {
          client.due = Clock::now() + kAnswerDelay;
        }
      }
      const auto then = Clock::now();
      for (auto it = clients_.begin(); it != clients_.end();) {
        Client& client = it->second;
        if (client.due != Clock::time_point{} && client.due <= then) {
          const std::string reply = PageFor(client.request);
          (void)::send(it->first, reply.data(), reply.size(), MSG_NOSIGNAL);
          ::close(it->first);
          it = clients_.erase(it);
        } else {
          ++it;
        }
      }
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::map<int, Client> clients_;
  std::thread thread_;
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Run {
  double wallMs = 0;
  double cpuMs = 0;
  int results = 0;
};

// The median time of a new TLS connection that fetches a tiny file: what a connection's first
// request costs over the bare round trip.
double HandshakeMs(const std::string& url, const std::string& caFile) {
  std::vector<double> samples;
  for (int i = 0; i < kHandshakeSamples; ++i) {
    ForgetTlsSessions();
    HttpRequest request;
    request.url = url;
    request.tls = TlsOptions{caFile, false};
    request.bodyCapacity = 1000;
    NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
    const auto t0 = Clock::now();
    if (HttpFetchToMemory(request, progress) != kFetchDone) return -1;
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const bool https = argc > 2 && std::string(argv[2]) == "--https";
  NetStartup();
  DelayedServer server;
  std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  double idealMs = kIdealMs;
  double budget = kWallBudget;
  std::unique_ptr<testkit::TestCertificates> certs;
  std::unique_ptr<testkit::NginxServer> front;
  if (https) {
    certs = std::make_unique<testkit::TestCertificates>();
    front = std::make_unique<testkit::NginxServer>(
        "    location /e { proxy_pass http://127.0.0.1:" + std::to_string(server.port()) +
        "; proxy_http_version 1.0; }\n");
    front->EnableTls(certs->valid());
    FileWriteAll(front->Root() + "/ping.txt", "ping");
    if (!certs->ok() || !front->Start()) {
      std::printf("cannot start nginx with TLS: %s\n", front->error().c_str());
      return 2;
    }
    SetDefaultTlsOptions(TlsOptions{certs->caFile(), false});
    base = front->TlsUrl("");
    const double handshake = HandshakeMs(front->TlsUrl("/ping.txt"), certs->caFile());
    if (handshake < 0) return 2;
    // Two rounds of connections, each opened with its own handshake.
    idealMs = kIdealMs + 2 * handshake;
    budget = kTlsWallBudget;
    std::printf("one new TLS connection and a tiny fetch: %.2f ms (median of %d)\n", handshake,
                kHandshakeSamples);
  }

  EngineList engines;
  for (int i = 0; i < kEngines; ++i) {
    auto engine = std::make_unique<EngineDefinition>();
    engine->name = "Engine " + std::to_string(i);
    engine->action = base + "/e" + std::to_string(i) + "?q=__QUERY__";
    engine->format = "<li><a href=\"__URL__\">__TITLE__</a></li>";
    engine->enabled = 1;
    (void)engines.Append(std::move(engine));
  }
  Settings settings;
  SettingsDefaults(settings, "/tmp");
  settings.maxConnections = kConnections;
  settings.maxResultsTotal = 10000;
  LoadedDatabase database;

  std::vector<Run> measured;
  for (int r = 0; r < runs; ++r) {
    SearchDocument document;
    SetSearchChoices(document, "rock", kKeepDuplicates, kFilterNone, false);
    SearchSession session(document, engines, settings, database);
    session.updateCheck = false;
    if (!PrepareSearch(session)) return 2;
    Run run;
    // The search thread, with the callbacks run inline as a front end's would be handed over.
    std::thread search([&] {
      const double cpu0 = ThreadCpuMs();
      const auto t0 = Clock::now();
      RunSearchThread(session);
      run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      run.cpuMs = ThreadCpuMs() - cpu0;
    });
    search.join();
    CompleteSearch(session);
    run.results = document.entries.Count();
    measured.push_back(run);
  }
  SetDefaultTlsOptions(TlsOptions{});
  NetShutdown();

  std::vector<Run> sorted = measured;
  std::sort(sorted.begin(), sorted.end(),
            [](const Run& a, const Run& b) { return a.wallMs < b.wallMs; });
  const Run median = sorted[sorted.size() / 2];
  double cpuShare = 0;
  for (const Run& run : measured) cpuShare = std::max(cpuShare, run.cpuMs / run.wallMs);

  std::printf("%d engines answering after %lld ms over %s, %d connections, %d runs\n", kEngines,
              static_cast<long long>(kAnswerDelay.count()), https ? "https" : "http", kConnections,
              runs);
  std::printf("wall: best %.1f ms, median %.1f ms, worst %.1f ms (ideal %.0f ms, median %.3fx)\n",
              sorted.front().wallMs, median.wallMs, sorted.back().wallMs, idealMs,
              median.wallMs / idealMs);
  std::printf("search thread CPU: median run %.2f ms (%.2f %% of its wall time), worst %.2f %%\n",
              median.cpuMs, 100.0 * median.cpuMs / median.wallMs, 100.0 * cpuShare);
  std::printf("results per search: %d\n", median.results);
  bool ok = median.results == kEngines * kEntriesPerPage;
  if (!ok) std::printf("FAIL: expected %d results\n", kEngines * kEntriesPerPage);
  if (median.wallMs > budget * idealMs) {
    std::printf("FAIL: median wall time above %.2fx the ideal\n", budget);
    ok = false;
  }
  if (cpuShare > kCpuBudget) {
    std::printf("FAIL: search thread CPU above %.0f %% of its wall time\n", 100 * kCpuBudget);
    ok = false;
  }
  return ok ? 0 : 1;
}
