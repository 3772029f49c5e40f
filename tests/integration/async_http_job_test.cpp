// Non-blocking HTTP jobs stepped side by side on one thread, as the search runs them: against
// nginx (what users meet) and against scripted servers (exact request bytes, and the faults a
// real server will not produce).

#include "net/async_http_job.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/cookies.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "testkit/nginx_server.h"
#include "testkit/open_files.h"
#include "testkit/scripted_http_server.h"
#include "testkit/suite_server.h"

namespace sondrel {
namespace {

using testkit::HttpReply;
using testkit::ScriptedHttpServer;
using testkit::ScriptedReply;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderSize = 10000;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double ThreadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// One fetch as the search holds it: the request, its progress, the header, the job and the body.
struct Fetch {
  HttpRequest request;
  NetProgress progress;
  std::string header;
  AsyncHttpJob job;
  int result = kAsyncAgain;  // of the job
  int readResult = -1;       // of the last AsyncReadBlock that ended the body
  bool reading = false;
  std::uint64_t lastActivity = 0;
  std::string body;

  bool Active() const { return result == kAsyncAgain || reading; }
};

std::atomic<bool> g_cancel{false};
bool CancelFlag(NetProgress&) {
  return g_cancel.load();
}

std::unique_ptr<Fetch> MakeFetch(const std::string& url, int timeoutSeconds = 5) {
  auto fetch = std::make_unique<Fetch>();
  fetch->request.url = url;
  fetch->progress.timeoutOn = true;
  fetch->progress.timeoutSeconds = timeoutSeconds;
  fetch->progress.shouldCancel = CancelFlag;
  return fetch;
}

void Begin(Fetch& fetch) {
  fetch.job.Start(fetch.request, nullptr, fetch.header, kHeaderSize, fetch.progress);
}

// One pass over every fetch: step the job, or read what arrived of its body in 4096-byte blocks.
void StepAll(const std::vector<Fetch*>& fetches, std::vector<AsyncWait>& waits) {
  waits.clear();
  for (Fetch* f : fetches) {
    if (f->result == kAsyncAgain) {
      f->result = f->job.Step();
      if (f->result == kAsyncDone) {
        f->reading = true;
        f->lastActivity = NowSeconds();
      }
    }
    if (f->reading) {
      char block[4096];
      int position = 0;
      int r = AsyncReadBlock(f->job, block, sizeof block, position, f->lastActivity,
                             f->progress);
      f->body.append(block, static_cast<std::size_t>(position));
      if (r == kAsyncReadComplete || r == kAsyncReadFailed) {
        f->readResult = r;
        f->reading = false;
        f->job.Close();
      }
    }
    if (f->Active()) waits.push_back(f->job.Wait());
  }
}

// Runs the fetches side by side on this thread until all have ended, sleeping between passes.
void RunSideBySide(const std::vector<Fetch*>& fetches, double limitSeconds = 30) {
  for (Fetch* f : fetches) Begin(*f);
  Clock::time_point start = Clock::now();
  std::vector<AsyncWait> waits;
  for (;;) {
    StepAll(fetches, waits);
    if (waits.empty()) return;
    if (SecondsSince(start) > limitSeconds) {
      ADD_FAILURE() << "fetches still running after " << limitSeconds << " s";
      return;
    }
    WaitForAnyJob(waits);
  }
}

// A loopback server that hands each accepted connection, after its request arrived, to a
// handler: for resets, trickles and stalls at exact points.
class RawServer {
 public:
  using Handler = std::function<void(int client, const std::atomic<bool>& stop)>;
  explicit RawServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("raw server: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  static void Send(int client, std::string_view bytes) {
    (void)::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  static void Reset(int client) {
    linger reset{1, 0};
    ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  // Sleeps up to ms, returning early when the server stops.
  static void Pause(int ms, const std::atomic<bool>& stop) {
    for (int waited = 0; waited < ms && !stop; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string request;
      char buf[4096];
      while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
        pollfd c{client, POLLIN, 0};
        if (::poll(&c, 1, 20) <= 0) continue;
        ssize_t got = ::recv(client, buf, sizeof buf, 0);
        if (got <= 0) break;
        request.append(buf, static_cast<std::size_t>(got));
      }
      handler_(client, stop_);
      ::close(client);
    }
  }

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class AsyncJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NetShutdown();
    NetStartup();
    SetStopFlag(false);
    g_cancel = false;
    (void)ResolverWakeFd();  // made once, before any descriptor is counted
  }
  void TearDown() override { g_cancel = false; }
};

class NginxJobs : public AsyncJobTest {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::NginxServer::Installed()) return;
    server_ = new testkit::NginxServer("    location = /moved { return 302 /small.txt; }\n");
    big_ = RandomBytes(700 * 1024 + 17, 11);
    page_ = "<html><body>" + std::string(30000, 'x') + "</body></html>";
    std::ofstream(server_->Root() + "/big.bin", std::ios::binary) << big_;
    std::ofstream(server_->Root() + "/page.html", std::ios::binary) << page_;
    std::ofstream(server_->Root() + "/small.txt", std::ios::binary) << std::string(5000, 's');
    testkit::KeepIfStarted(server_, [](auto& server) { return server.Start(); });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "nginx is not installed";
    AsyncJobTest::SetUp();
  }

  static testkit::NginxServer* server_;
  static std::string big_;
  static std::string page_;
};
testkit::NginxServer* NginxJobs::server_ = nullptr;
std::string NginxJobs::big_;
std::string NginxJobs::page_;

TEST_F(NginxJobs, SeveralFetchesSideBySide) {
  int before = testkit::OpenDescriptorCount();
  std::string byName = "http://localhost:" + std::to_string(server_->port());
  auto page = MakeFetch(server_->Url("/page.html"));
  auto moved = MakeFetch(server_->Url("/moved"));
  auto big = MakeFetch(byName + "/big.bin");
  auto missing = MakeFetch(server_->Url("/missing"));
  RunSideBySide({page.get(), moved.get(), big.get(), missing.get()});

  struct Expect {
    Fetch* fetch;
    const char* name;
    const std::string body;
    std::string workUrl;
  } cases[] = {
      {page.get(), "page", page_, server_->Url("/page.html")},
      {moved.get(), "redirect", std::string(5000, 's'), server_->Url("/small.txt")},
      {big.get(), "big, by name", big_, byName + "/big.bin"},
  };
  for (const Expect& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.fetch->result, kAsyncDone);
    EXPECT_EQ(c.fetch->readResult, kAsyncReadComplete);
    EXPECT_EQ(StatusCode(c.fetch->header), 200);
    EXPECT_TRUE(c.fetch->body == c.body) << c.fetch->body.size() << " bytes";
    EXPECT_EQ(c.fetch->progress.total, static_cast<std::int64_t>(c.body.size()));
    EXPECT_EQ(c.fetch->progress.transferred, static_cast<std::int64_t>(c.body.size()));
    EXPECT_EQ(c.fetch->request.workUrl, c.workUrl);
  }
  EXPECT_FALSE(page->request.notHtml);
  EXPECT_TRUE(big->request.notHtml);
  // The owner sees only the final response of a redirect.
  EXPECT_EQ(moved->header.find("302"), std::string::npos);
  // A 404 ends the job; its header stays for the caller to read.
  EXPECT_EQ(missing->result, kAsyncFailed);
  EXPECT_EQ(StatusCode(missing->header), 404);
  EXPECT_FALSE(missing->job.Stream());
  EXPECT_EQ(testkit::OpenDescriptorCount(), before);
}

TEST_F(NginxJobs, BodyReadStopsAtTheLengthAndAtAFullBuffer) {
  auto fetch = MakeFetch(server_->Url("/small.txt"));
  Begin(*fetch);
  Clock::time_point start = Clock::now();
  int r = kAsyncAgain;
  while ((r = fetch->job.Step()) == kAsyncAgain && SecondsSince(start) < 10) {
    AsyncWait wait = fetch->job.Wait();
    WaitForAnyJob(std::span<const AsyncWait>(&wait, 1));
  }
  ASSERT_EQ(r, kAsyncDone);
  // A 3000-byte buffer fills, then the rest completes the body even though the server may keep
  // the connection open.
  std::string buffer(3000, '\0');
  int position = 0;
  std::uint64_t last = NowSeconds();
  std::string body;
  int result = kAsyncReadPending;
  while (SecondsSince(start) < 10) {
    result = AsyncReadBlock(fetch->job, buffer.data(), 3000, position, last,
                            fetch->progress);
    if (result == kAsyncReadFull) {
      EXPECT_EQ(position, 3000);
      body.append(buffer, 0, 3000);
      position = 0;
      continue;
    }
    if (result != kAsyncReadPending) break;
    AsyncWait wait = fetch->job.Wait();
    WaitForAnyJob(std::span<const AsyncWait>(&wait, 1));
  }
  body.append(buffer, 0, static_cast<std::size_t>(position));
  EXPECT_EQ(result, kAsyncReadComplete);
  EXPECT_EQ(body, std::string(5000, 's'));
  // Complete stays complete.
  EXPECT_EQ(
      AsyncReadBlock(fetch->job, buffer.data(), 3000, position, last, fetch->progress),
      kAsyncReadComplete);
}

TEST_F(AsyncJobTest, AuthorisationIsRetriedOnce) {
  struct Case {
    const char* name;
    std::vector<ScriptedReply> replies;
    int result;
  } cases[] = {
      {"401 then 200",
       {{HttpReply("HTTP/1.0 401 Unauthorized", "WWW-Authenticate: Basic realm=\"r\"\r\n", "no")},
        {HttpReply("HTTP/1.0 200 OK", "", "secret")}},
       kAsyncDone},
      {"401 twice", {{HttpReply("HTTP/1.0 401 Unauthorized", "", "no")}}, kAsyncFailed},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.replies);
    auto fetch = MakeFetch(server.Url("/private"));
    fetch->request.user = "u";
    fetch->request.password = "p";
    RunSideBySide({fetch.get()});
    EXPECT_EQ(fetch->result, c.result);
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("Authorization:"), std::string::npos);
    EXPECT_NE(requests[1].find("Authorization: Basic dTpw\r\n"), std::string::npos);
    if (c.result == kAsyncDone) {
      EXPECT_EQ(fetch->body, "secret");
    } else {
      EXPECT_EQ(StatusCode(fetch->header), 401);
    }
  }
}

TEST_F(AsyncJobTest, PostRedirectedIsRepeatedAsGet) {
  ScriptedHttpServer server(std::vector<ScriptedReply>{
      {HttpReply("HTTP/1.0 302 Found", "Location: /next\r\n", "")},
      {HttpReply("HTTP/1.0 200 OK", "Content-Type: text/html\r\n", "<p>done</p>")}});
  auto fetch = MakeFetch(server.Url("/find"));
  fetch->request.method = kHttpPost;
  fetch->request.postBody = std::string(1000, 'q');  // longer than one send block
  RunSideBySide({fetch.get()});
  EXPECT_EQ(fetch->result, kAsyncDone);
  EXPECT_EQ(fetch->body, "<p>done</p>");
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("POST /find HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(requests[0].substr(requests[0].size() - 1000), fetch->request.postBody);
  EXPECT_EQ(requests[1].rfind("GET /next?" + fetch->request.postBody + " HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(fetch->request.method, kHttpPost);
}

TEST_F(AsyncJobTest, CookiesGoWithTheNextRequestWhenAsked) {
  ClearCookies();
  ScriptedHttpServer server(std::vector<ScriptedReply>{
      {HttpReply("HTTP/1.0 200 OK", "Set-Cookie: sid=abc; path=/\r\n", "first")},
      {HttpReply("HTTP/1.0 200 OK", "", "second")}});
  struct Step {
    bool useCookies;
    bool expectCookie;
  } steps[] = {{true, false}, {true, true}, {false, false}};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    auto fetch = MakeFetch(server.Url("/page"));
    fetch->request.useCookies = steps[i].useCookies;
    RunSideBySide({fetch.get()});
    EXPECT_EQ(fetch->result, kAsyncDone);
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), i + 1);
    EXPECT_EQ(requests[i].find("Cookie: sid=abc\r\n") != std::string::npos, steps[i].expectCookie);
  }
  ClearCookies();
}

TEST_F(AsyncJobTest, SilentServerEndsByTheTimeoutWithoutSpinning) {
  ScriptedHttpServer silent(std::vector<ScriptedReply>{{"", true}});
  ScriptedHttpServer answering(
      std::vector<ScriptedReply>{{HttpReply("HTTP/1.0 200 OK", "", "quick")}});
  auto stalled = MakeFetch(silent.Url("/"), 1);
  auto quick = MakeFetch(answering.Url("/"), 1);
  double cpu = ThreadCpuSeconds();
  Clock::time_point start = Clock::now();
  RunSideBySide({stalled.get(), quick.get()});
  double wall = SecondsSince(start);
  cpu = ThreadCpuSeconds() - cpu;
  // The slow server holds nobody up.
  EXPECT_EQ(quick->result, kAsyncDone);
  EXPECT_EQ(quick->body, "quick");
  EXPECT_EQ(stalled->result, kAsyncFailed);
  EXPECT_TRUE(stalled->header.empty());
  EXPECT_GE(wall, 1.0);
  EXPECT_LT(wall, 4.0);
  // A loop that polled without sleeping would burn a large share of that time.
  EXPECT_LT(cpu, 0.1) << "over " << wall << " s";
}

TEST_F(AsyncJobTest, BrokenAndSlowReplies) {
  std::string header = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n";
  struct Case {
    const char* name;
    RawServer::Handler handler;
    int result;      // of the job
    int readResult;  // of the body, when the job succeeded
    std::size_t bodySize;
    bool sizeBelow = false;  // timing decides how much of a trickle arrives: less than bodySize
  } cases[] = {
      {"reset after the request", [](int c, const auto&) { RawServer::Reset(c); }, kAsyncFailed, -1,
       0},
      {"closed within the header",
       [](int c, const auto&) { RawServer::Send(c, "HTTP/1.0 200 OK\r\nContent-Le"); },
       kAsyncFailed, -1, 0},
      {"reset within the body",
       [&](int c, const auto& stop) {
         RawServer::Send(c, header + std::string(40, 'b'));
         RawServer::Pause(200, stop);
         RawServer::Reset(c);
       },
       kAsyncDone, kAsyncReadFailed, 40},
      // Fewer bytes than Content-Length announced: a broken body, not a short page.
      {"closed within the body",
       [&](int c, const auto&) { RawServer::Send(c, header + std::string(40, 'b')); }, kAsyncDone,
       kAsyncReadFailed, 40},
      {"body stalls",
       [&](int c, const auto& stop) {
         RawServer::Send(c, header + std::string(40, 'b'));
         RawServer::Pause(4000, stop);
       },
       kAsyncDone, kAsyncReadFailed, 40},
      // Never silent for as long as the timeout, but slower in all: the page as a whole has the
      // timeout as its deadline, so a trickle cannot hold the search.
      {"body trickles",
       [&](int c, const auto& stop) {
         RawServer::Send(c, header);
         for (int i = 0; i < 10 && !stop; ++i) {
           RawServer::Pause(500, stop);
           RawServer::Send(c, std::string(10, 't'));
         }
       },
       kAsyncDone, kAsyncReadFailed, 100, true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(c.handler);
    auto fetch = MakeFetch(server.Url(), 1);
    RunSideBySide({fetch.get()});
    EXPECT_EQ(fetch->result, c.result);
    EXPECT_EQ(fetch->readResult, c.readResult);
    if (c.sizeBelow) {
      EXPECT_LT(fetch->body.size(), c.bodySize);
      EXPECT_EQ(fetch->progress.failure.kind, FailureKind::kTimedOut);
    } else {
      EXPECT_EQ(fetch->body.size(), c.bodySize);
    }
    EXPECT_FALSE(fetch->job.Stream());
  }
  // Nothing listens: the refusal is seen at once.
  auto refused = MakeFetch("http://127.0.0.1:" + std::to_string(testkit::FreeLoopbackPort()), 30);
  Clock::time_point start = Clock::now();
  RunSideBySide({refused.get()});
  EXPECT_EQ(refused->result, kAsyncFailed);
  EXPECT_LT(SecondsSince(start), 5.0);
}

TEST_F(AsyncJobTest, CancellationClosesEverySocket) {
  int before = testkit::OpenDescriptorCount();
  {
    ScriptedHttpServer silent(std::vector<ScriptedReply>{{"", true}});
    std::string byName = "http://localhost:" + std::to_string(silent.port()) + "/";
    std::vector<std::unique_ptr<Fetch>> fetches;
    for (int i = 0; i < 6; ++i) fetches.push_back(MakeFetch(i % 2 ? byName : silent.Url("/")));
    std::vector<Fetch*> all;
    for (auto& f : fetches) {
      all.push_back(f.get());
      Begin(*f);
    }
    // Run until every job waits for its header (the name's lookup done, all sockets open).
    std::vector<AsyncWait> waits;
    Clock::time_point start = Clock::now();
    auto waitingForHeader = [&] {
      for (Fetch* f : all) {
        short events = 0;
        int fd = f->job.WaitFd(events);
        if (fd < 0 || fd == ResolverWakeFd() || events != POLLIN || f->result != kAsyncAgain) {
          return false;
        }
      }
      return true;
    };
    while (!waitingForHeader() && SecondsSince(start) < 10) {
      StepAll(all, waits);
      WaitForAnyJob(waits);
    }
    ASSERT_TRUE(waitingForHeader());
    EXPECT_GE(testkit::OpenDescriptorCount(), before + 6);

    g_cancel = true;
    StepAll(all, waits);
    EXPECT_TRUE(waits.empty());
    for (Fetch* f : all) {
      EXPECT_EQ(f->result, kAsyncFailed);
      EXPECT_EQ(f->job.state(), kJobFailed);
    }
    g_cancel = false;

    // Jobs abandoned halfway (a stopped search never steps them again) close in Close or
    // their destructor.
    auto closed = MakeFetch(silent.Url("/"));
    auto destroyed = MakeFetch(byName);
    Begin(*closed);
    Begin(*destroyed);
    for (int i = 0; i < 20 && !closed->job.Stream(); ++i) {
      (void)closed->job.Step();
      (void)destroyed->job.Step();
      WaitForAnyJob(std::span<const AsyncWait>(), 10);
    }
    closed->job.Close();
    EXPECT_EQ(closed->job.state(), kJobFailed);
  }
  EXPECT_EQ(testkit::OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace sondrel
