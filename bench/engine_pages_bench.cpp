// What keeping a connection open saves an engine of five pages on one https server: the search
// with connection reuse against the same search with reuse off (each page a new connection that
// resumes the server's session: one known from an earlier search, or none yet, so the first
// page makes a full handshake). Connections are counted from nginx's log.
//
//   build/bench/engine_pages_bench [RUNS] [--http]
//
// --http runs the same engine over plain http, for comparison.
//
// Exits 1 when a search with reuse takes more than one connection.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine_database.h"
#include "engines/search_driver.h"
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

constexpr int kPages = 5;

std::string Page(int page) {
  std::string text = "<html><body><ul>";
  for (int i = 0; i < 10; ++i) {
    text +=
        "<li><a href=\"p" + std::to_string(page) + "-" + std::to_string(i) + ".mp3\">x</a></li>";
  }
  text += "</ul>";
  if (page < kPages) text += "<a class=n href=\"" + std::to_string(page + 1) + ".html\">Next</a>";
  return text + "</body></html>";
}

enum class Mode { kReuse, kNewResumed, kNewFull };

struct Outcome {
  double wallMs = 0;
  int connections = 0;
  long fullHandshakes = 0;
  long resumed = 0;
  int results = 0;
};

int CountConnections(const std::string& log) {
  std::istringstream lines(log);
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) {
    seen.insert(line.substr(0, line.find(' ')));
  }
  return static_cast<int>(seen.size());
}

// nginx writes a request's log line after the reply: give the last one time to arrive.
std::string SettledLog(const testkit::NginxServer& nginx) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return nginx.AccessLog();
}

Outcome Search(testkit::NginxServer& nginx, Mode mode, bool plain) {
  EngineList engines;
  auto engine = std::make_unique<EngineDefinition>();
  engine->name = "Pages";
  engine->action = plain ? nginx.Url("/1.html?q=__QUERY__") : nginx.TlsUrl("/1.html?q=__QUERY__");
  engine->format = "<li><a href=\"__URL__\">__TITLE__</a></li>";
  engine->more = "__NEXT__";
  engine->varPatterns.Append(
      std::make_unique<VarPattern>(VarPattern{"<a class=n href=\"__NEXT__\">", {}, 0}));
  engine->enabled = 1;
  (void)engines.Append(std::move(engine));
  Settings settings;
  SettingsDefaults(settings, "/tmp");
  settings.maxResultsTotal = 10000;
  settings.maxResultsPerEngine = 1000;
  LoadedDatabase database;
  SearchDocument document;
  SetSearchChoices(document, "rock", kKeepDuplicates, kFilterNone, false);
  SearchSession session(document, engines, settings, database);
  session.updateCheck = false;
  session.keepConnections = mode == Mode::kReuse;
  if (mode != Mode::kNewResumed) ForgetTlsSessions();
  // A resumed run starts from a session of the server, as any run after the first one does.
  const std::size_t logBefore = SettledLog(nginx).size();
  const TlsHandshakeCounts before = HandshakeCounts();
  if (!PrepareSearch(session)) std::exit(2);
  if (mode == Mode::kNewFull) ForgetTlsSessions();
  const auto t0 = Clock::now();
  RunSearchThread(session);
  Outcome out;
  out.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  CompleteSearch(session);
  const TlsHandshakeCounts after = HandshakeCounts();
  out.fullHandshakes = after.full - before.full;
  out.resumed = after.resumed - before.resumed;
  out.results = document.entries.Count();
  out.connections = CountConnections(SettledLog(nginx).substr(logBefore));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const bool plain = argc > 2 && std::string(argv[2]) == "--http";
  NetStartup();
  testkit::TestCertificates certs;
  testkit::NginxServer nginx;
  nginx.EnableTls(certs.valid());
  nginx.EnableAccessLog();
  for (int page = 1; page <= kPages; ++page) {
    FileWriteAll(nginx.Root() + "/" + std::to_string(page) + ".html", Page(page));
  }
  if (!certs.ok() || !nginx.Start()) {
    std::printf("cannot start nginx with TLS: %s\n", nginx.error().c_str());
    return 2;
  }
  SetDefaultTlsOptions(TlsOptions{certs.caFile(), false});
  (void)Search(nginx, Mode::kReuse, plain);  // warm: files cached, a session known

  bool ok = true;
  std::printf("an engine of %d pages on one %s server (nginx), %d runs each\n", kPages,
              plain ? "http" : "https", runs);
  const std::pair<Mode, const char*> modes[] = {{Mode::kReuse, "reuse on"},
                                                {Mode::kNewResumed, "reuse off, session known"},
                                                {Mode::kNewFull, "reuse off, no session yet"}};
  for (auto [mode, name] : modes) {
    std::vector<Outcome> outcomes;
    for (int r = 0; r < runs; ++r) outcomes.push_back(Search(nginx, mode, plain));
    std::sort(outcomes.begin(), outcomes.end(),
              [](const Outcome& a, const Outcome& b) { return a.wallMs < b.wallMs; });
    const Outcome& median = outcomes[outcomes.size() / 2];
    std::printf(
        "  %-28s wall median %6.2f ms  connections %d  full handshakes %ld  resumed %ld"
        "  results %d\n",
        name, median.wallMs, median.connections, median.fullHandshakes, median.resumed,
        median.results);
    if (mode == Mode::kReuse && median.connections != 1) ok = false;
  }
  SetDefaultTlsOptions(TlsOptions{});
  NetShutdown();
  if (!ok) std::printf("FAIL: reuse took more than one connection\n");
  return ok ? 0 : 1;
}
