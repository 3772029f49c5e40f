#include "tasks/verification.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_progress.h"
#include "net/socket_io.h"
#include "tasks/gui_dispatch.h"

namespace sondrel {
namespace {

using namespace std::chrono_literals;

// Answers every request with a small file after a delay, any number of connections at once,
// and records how many were open at the same time.
class SlowFileServer {
 public:
  explicit SlowFileServer(std::chrono::milliseconds delay) : delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 128) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no listening socket";
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~SlowFileServer() {
    stop_ = true;
    acceptor_.join();
    std::lock_guard lock(mutex_);
    for (std::thread& t : clients_) t.join();
    ::close(listener_);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int MaxOpen() const { return maxOpen_.load(); }
  int Served() const { return served_.load(); }

 private:
  void Accept() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::lock_guard lock(mutex_);
      clients_.emplace_back([this, client] { Serve(client); });
    }
  }
  void Serve(int client) {
    const int open = ++open_;
    int seen = maxOpen_.load();
    while (open > seen && !maxOpen_.compare_exchange_weak(seen, open)) {
    }
    std::string request;
    char buf[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd p{client, POLLIN, 0};
      if (stop_ || ::poll(&p, 1, 20) < 0) break;
      if (p.revents == 0) continue;
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    std::this_thread::sleep_for(delay_);
    // Counted before the reply leaves: once it is sent the client may finish and the next
    // check connect before this thread runs again.
    ++served_;
    --open_;
    const std::string reply =
        "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 5\r\n\r\nhello";
    (void)::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::close(client);
  }

  std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> open_{0};
  std::atomic<int> maxOpen_{0};
  std::atomic<int> served_{0};
  std::mutex mutex_;
  std::vector<std::thread> clients_;
  std::thread acceptor_;
};

void AddEntry(SearchDocument& document, const std::string& url, std::uint8_t status = 5) {
  auto entry = std::make_unique<ResultEntry>(NewEntry());
  entry->url = url;
  entry->status = status;
  ASSERT_GE(document.entries.Append(std::move(entry)), 0);
}

class VerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NetStartup();
    queue_ = std::make_shared<MainThreadQueue>();
    InstallDispatcher(queue_);
  }
  void TearDown() override {
    RemoveDispatcher();
    queue_->Close();
    SetStopFlag(false);
    NetShutdown();
  }
  // Starts a run over every entry and serves the interface thread until it ended.
  void VerifyAllHere(SearchDocument& document, const VerifyConfig& config,
                     VerifyCallbacks callbacks = {}) {
    auto inner = callbacks.finished;
    callbacks.finished = [this, inner](int removed) {
      finishedCalls_++;
      removed_ = removed;
      if (inner) inner(removed);
    };
    callbacks.progress = [this](const std::string& text) { lastProgress_ = text; };
    ASSERT_EQ(VerifyAll(run_, document, config, std::move(callbacks)), kVerifyStarted);
    queue_->RunUntil([this] { return IsFinished(run_.thread); });
  }

  std::shared_ptr<MainThreadQueue> queue_;
  VerifyRun run_;
  int finishedCalls_ = 0;
  int removed_ = -1;
  std::string lastProgress_;
};

TEST(VerificationRules, HttpStatusFromProbe) {
  struct Case {
    int probe;
    const char* type;
    std::uint8_t status;
  };
  const Case cases[] = {
      {1, "audio/mpeg", kStatusValid},
      {1, "", kStatusValid},
      // A page about the file, in any spelling and with any parameters.
      {1, "text/html", kStatusInvalid},
      {1, "text/html; charset=iso-8859-1", kStatusInvalid},
      {1, "TEXT/HTML", kStatusInvalid},
      {1, " Text/Html ;charset=utf-8", kStatusInvalid},
      {1, "text/htmlx", kStatusValid},
      {1, "text/plain; x=text/html", kStatusValid},
      {0, "audio/mpeg", kStatusInvalid},  // 304
      {-1, "audio/mpeg", kStatusInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.probe) + " " + c.type);
    EXPECT_EQ(HttpCheckStatus(c.probe, c.type), c.status);
  }
  EXPECT_EQ(EntrySizeOf(-1), -1);
  EXPECT_EQ(EntrySizeOf(1234), 1234);
  EXPECT_EQ(EntrySizeOf(5'000'000'000LL), INT32_MAX);  // never a negative "unknown"
  EXPECT_EQ(VerifyProgressText(3, 10), "VERIFY: 3/10 processed");
}

TEST(VerificationRules, FtpGroupsByExactHostThenDirectory) {
  std::vector<VerifyJob> jobs;
  for (const char* url : {
           "ftp://b.example/pub/z.mp3",       // 0
           "ftp://a.example/pub/y.mp3",       // 1
           "http://a.example/pub/x.mp3",      // 2: not ftp
           "ftp://user:pw@b.example:2121/incoming/a.mp3",  // 3: same host name
           "FTP://a.example/pub/w.mp3",       // 4: scheme is case-sensitive
           "ftp://a.example/Music/v.mp3",     // 5
           "ftp://a.example/pub/u.mp3",       // 6
           "ftp://A.example/pub/t.mp3",       // 7: another host by bytes
       }) {
    VerifyJob job;
    job.url = url;
    jobs.push_back(job);
  }
  const std::vector<FtpHostGroup> groups = GroupFtpJobs(jobs);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].host, "A.example");
  EXPECT_EQ(groups[1].host, "a.example");
  EXPECT_EQ(groups[2].host, "b.example");
  ASSERT_EQ(groups[1].dirs.size(), 2u);
  EXPECT_EQ(groups[1].dirs[0].directory, "/Music");  // 'M' sorts before 'p'
  EXPECT_EQ(groups[1].dirs[0].jobs, std::vector<int>{5});
  EXPECT_EQ(groups[1].dirs[1].jobs, (std::vector<int>{1, 6}));
  ASSERT_EQ(groups[2].dirs.size(), 2u);
  EXPECT_EQ(groups[2].dirs[0].jobs, std::vector<int>{3});  // "/incoming" < "/pub"
  EXPECT_EQ(groups[2].dirs[1].jobs, std::vector<int>{0});

  VerifyJob upper;
  upper.url = "HTTP://a.example/x.mp3";
  EXPECT_FALSE(IsHttpJob(upper));
  VerifyJob secure;
  secure.url = "https://a.example/x.mp3";
  EXPECT_TRUE(IsHttpJob(secure));
  EXPECT_TRUE(IsHttpJob(jobs[2]));
}

TEST_F(VerificationTest, NeverMoreChecksThanTheLimitAndAllFinish) {
  SlowFileServer server(60ms);
  SearchDocument document;
  for (int i = 0; i < 10; ++i) AddEntry(document, server.Url("/f" + std::to_string(i) + ".mp3"));
  AddEntry(document, "gopher://127.0.0.1:1/skipped.mp3", kStatusUnknown);
  VerifyConfig config;
  config.maxConnections = 3;
  config.timeoutSeconds = 10;
  std::vector<int> updated;
  VerifyCallbacks callbacks;
  callbacks.rowUpdated = [&](int index) { updated.push_back(index); };
  VerifyAllHere(document, config, std::move(callbacks));

  EXPECT_EQ(server.Served(), 10);
  EXPECT_LE(server.MaxOpen(), 3);
  EXPECT_GE(server.MaxOpen(), 2);
  EXPECT_EQ(updated.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(document.entries.Get(i)->status, kStatusValid);
    EXPECT_EQ(document.entries.Get(i)->size, 5);
  }
  // Another scheme keeps its status and is not counted.
  EXPECT_EQ(document.entries.Get(10)->status, kStatusUnknown);
  EXPECT_EQ(lastProgress_, "VERIFY: 10/11 processed");
  EXPECT_EQ(finishedCalls_, 1);
  EXPECT_TRUE(document.modified);
}

TEST_F(VerificationTest, StopKeepsUntouchedStatusesAndStillRemovesInvalid) {
  SlowFileServer server(300ms);
  SearchDocument document;
  AddEntry(document, "gopher://127.0.0.1:1/old-invalid.mp3", kStatusInvalid);
  for (int i = 0; i < 20; ++i) AddEntry(document, server.Url("/f" + std::to_string(i) + ".mp3"));
  VerifyConfig config;
  config.maxConnections = 2;
  config.timeoutSeconds = 10;
  config.removeInvalid = true;
  VerifyCallbacks callbacks;
  callbacks.rowUpdated = [this](int) { StopVerification(run_); };  // Stop after the first answer
  VerifyAllHere(document, config, std::move(callbacks));

  EXPECT_EQ(finishedCalls_, 1);
  EXPECT_EQ(removed_, 1);
  ASSERT_EQ(document.entries.Count(), 20);
  int valid = 0;
  for (int i = 0; i < document.entries.Count(); ++i) {
    const ResultEntry& entry = *document.entries.Get(i);
    SCOPED_TRACE(entry.url);
    // Cut-short checks say nothing: only answered ones changed.
    EXPECT_TRUE(entry.status == kStatusValid || entry.status == kStatusNotVerified);
    valid += entry.status == kStatusValid;
  }
  EXPECT_GE(valid, 1);
  EXPECT_LE(valid, 3);
  EXPECT_LT(server.Served(), 20);
}

// Stopping a search (or anything else on the process-wide flag) is not a Stop of this run.
TEST_F(VerificationTest, AnotherOperationsStopLeavesTheRunAlone) {
  SlowFileServer server(50ms);
  SearchDocument document;
  for (int i = 0; i < 6; ++i) AddEntry(document, server.Url("/f" + std::to_string(i) + ".mp3"));
  VerifyConfig config;
  config.maxConnections = 2;
  config.timeoutSeconds = 10;
  VerifyCallbacks callbacks;
  callbacks.rowUpdated = [](int) { SetStopFlag(true); };
  VerifyAllHere(document, config, std::move(callbacks));
  for (int i = 0; i < document.entries.Count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(document.entries.Get(i)->status, kStatusValid);
  }
  EXPECT_EQ(server.Served(), 6);
}

TEST_F(VerificationTest, UnreachableServersBecomeInvalidAndAreRemovedWhenAsked) {
  SearchDocument document;
  // A port nothing listens on: HTTP and FTP alike end as status 4.
  AddEntry(document, "http://127.0.0.1:1/a.mp3");
  AddEntry(document, "ftp://127.0.0.1:1/pub/b.mp3");
  AddEntry(document, "ftp://127.0.0.1:1/pub/c.mp3");
  AddEntry(document, "gopher://127.0.0.1:1/d.mp3");
  VerifyConfig config;
  config.timeoutSeconds = 5;
  config.removeInvalid = false;
  VerifyAllHere(document, config);
  ASSERT_EQ(document.entries.Count(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(document.entries.Get(i)->status, kStatusInvalid) << i;
    EXPECT_EQ(document.entries.Get(i)->size, -1) << i;
  }
  EXPECT_EQ(document.entries.Get(3)->status, kStatusNotVerified);
  EXPECT_EQ(lastProgress_, "VERIFY: 3/4 processed");

  // A second run on the same object, now removing.
  config.removeInvalid = true;
  VerifyAllHere(document, config);
  EXPECT_EQ(removed_, 3);
  ASSERT_EQ(document.entries.Count(), 1);
  EXPECT_EQ(document.entries.Get(0)->url, "gopher://127.0.0.1:1/d.mp3");
}

TEST_F(VerificationTest, EmptyChoiceStartsNothing) {
  SearchDocument document;
  VerifyConfig config;
  EXPECT_EQ(VerifyAll(run_, document, config, {}), kVerifyNothingToDo);
  EXPECT_EQ(StartVerification(run_, document, {3, -1}, config, {}), kVerifyNothingToDo);
  EXPECT_FALSE(document.modified);
}

}  // namespace
}  // namespace sondrel
