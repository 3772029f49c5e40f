#include "net/socket_io.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "net/host_cache.h"
#include "testkit/open_files.h"
#include "testkit/scripted_http_server.h"

namespace sondrel {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Pair {
  int a = -1;
  int b = -1;
  Pair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
      a = fds[0];
      b = fds[1];
    }
  }
  ~Pair() {
    ::close(a);
    ::close(b);
  }
};

long LineEnd(const char* buf, std::size_t n, void*) {
  const void* lf = std::memchr(buf, '\n', n);
  return lf ? static_cast<const char*>(lf) - buf + 1 : 0;
}

TEST(HostCache, FullCacheReplacesOnlyTheFirstEntry) {
  HostCache cache;
  for (int i = 0; i < 500; ++i)
    cache.Add("host" + std::to_string(i), static_cast<std::uint32_t>(i));
  EXPECT_EQ(cache.Count(), 500u);
  EXPECT_EQ(cache.Lookup("host0"), 0u);
  cache.Add("newcomer", 777);
  EXPECT_EQ(cache.Count(), 500u);
  EXPECT_EQ(cache.Lookup("host0"), kNoAddress);
  EXPECT_EQ(cache.Lookup("newcomer"), 777u);
  EXPECT_EQ(cache.Lookup("host1"), 1u);
  EXPECT_EQ(cache.Lookup("host499"), 499u);
  EXPECT_EQ(cache.Lookup("HOST1"), kNoAddress);  // exact comparison
}

TEST(ResolveHost, DottedNumbersAreNeverCachedNamesAre) {
  NetStartup();
  HostCache* cache = SharedHostCache();
  ASSERT_NE(cache, nullptr);
  std::size_t before = cache->Count();
  NetProgress progress;
  EXPECT_EQ(ResolveHost("127.0.0.1", &progress), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(progress.state, kNetStateResolving);
  EXPECT_EQ(progress.text, "127.0.0.1");
  EXPECT_EQ(cache->Count(), before);
  EXPECT_EQ(ResolveHost("localhost", nullptr), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(cache->Lookup("localhost"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ResolveHost("", nullptr), kNoAddress);
  EXPECT_EQ(ResolveHost("no-such-host.invalid", nullptr), kNoAddress);
  // A cancelled lookup of an unknown name gives up before asking the resolver.
  progress.shouldCancel = [](NetProgress&) { return true; };
  EXPECT_EQ(ResolveHost("another-name.invalid", &progress), kNoAddress);
  NetShutdown();
  EXPECT_EQ(SharedHostCache(), nullptr);
}

TEST(RecvUntil, ReadsOneUnitAndLeavesTheRestUnread) {
  Pair pair;
  ASSERT_GE(pair.a, 0);
  const char sent[] = "220 ready\r\nDATA";
  ASSERT_EQ(::send(pair.b, sent, sizeof sent - 1, 0), static_cast<ssize_t>(sizeof sent - 1));
  std::string line;
  ASSERT_EQ(RecvUntil(pair.a, line, 100, LineEnd, nullptr, nullptr), 1);
  EXPECT_EQ(line, "220 ready\r\n");
  char rest[16] = {};
  EXPECT_EQ(RecvWait(pair.a, rest, sizeof rest, 0, nullptr), 4);
  EXPECT_STREQ(rest, "DATA");
}

TEST(RecvUntil, UnitArrivingInPiecesAndAFullBuffer) {
  Pair pair;
  std::thread writer([&] {
    for (const char* piece : {"12", "3 par", "tial\nnext\n"}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      ASSERT_GT(::send(pair.b, piece, std::strlen(piece), 0), 0);
    }
  });
  std::string line;
  EXPECT_EQ(RecvUntil(pair.a, line, 100, LineEnd, nullptr, nullptr), 1);
  writer.join();
  EXPECT_EQ(line, "123 partial\n");
  // Nine bytes without a line end fill a 10-byte buffer: failure, with what arrived.
  ASSERT_EQ(::send(pair.b, "abcdefghijk\n", 12, 0), 12);
  std::string rest;
  EXPECT_EQ(RecvUntil(pair.a, rest, 10, LineEnd, nullptr, nullptr), 1);
  EXPECT_EQ(rest, "next\n");
  EXPECT_EQ(RecvUntil(pair.a, rest, 10, LineEnd, nullptr, nullptr), 0);
  EXPECT_EQ(rest, "abcdefghi");
  // The peer closing ends it too.
  ::shutdown(pair.b, SHUT_WR);
  EXPECT_EQ(RecvUntil(pair.a, rest, 10, LineEnd, nullptr, nullptr), 1);
  EXPECT_EQ(rest, "jk\n");
  EXPECT_EQ(RecvUntil(pair.a, rest, 10, LineEnd, nullptr, nullptr), 0);
  EXPECT_EQ(rest, "");
}

TEST(Waits, SilentPeerTimesOutAfterTheWholeSecondsPass) {
  Pair pair;
  NetProgress progress;
  progress.timeoutOn = true;
  progress.timeoutSeconds = 1;
  char buf[8];
  auto start = Clock::now();
  EXPECT_EQ(RecvWait(pair.a, buf, sizeof buf, 0, &progress), -1);
  double waited = SecondsSince(start);
  EXPECT_GE(waited, 1.0);
  EXPECT_LT(waited, 2.5);
}

TEST(Waits, CancelEndsAWaitAndTheIdleHookRunsEveryIteration) {
  Pair pair;
  static std::atomic<bool> cancel{false};
  static std::atomic<int> idleCalls{0};
  cancel = false;
  idleCalls = 0;
  SetIdleHook([] { idleCalls++; });
  NetProgress progress;
  progress.shouldCancel = [](NetProgress&) { return cancel.load(); };
  std::thread canceller([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    cancel = true;
  });
  char buf[8];
  auto start = Clock::now();
  EXPECT_EQ(RecvWait(pair.a, buf, sizeof buf, 0, &progress), -1);
  double waited = SecondsSince(start);
  canceller.join();
  SetIdleHook(&NetIdle);
  EXPECT_LT(waited, 0.15 + 0.1);
  EXPECT_GE(idleCalls.load(), 2);
  EXPECT_LE(idleCalls.load(), 40) << "waits must block in poll, not spin";
}

TEST(Waits, SendAllAndRecvAllMoveEveryByte) {
  Pair pair;
  std::string data(100000, 'x');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  std::vector<char> got(data.size() + 10);
  long received = 0;
  std::thread reader([&] {
    received = RecvAll(pair.a, got.data(), static_cast<long>(data.size()), 4096, nullptr);
  });
  EXPECT_EQ(SendAll(pair.b, data.data(), static_cast<long>(data.size()), 512, nullptr),
            static_cast<long>(data.size()));
  reader.join();
  ASSERT_EQ(received, static_cast<long>(data.size()));
  EXPECT_EQ(std::string(got.data(), data.size()), data);
  // A peer that closes early gives fewer bytes.
  ::send(pair.b, "abc", 3, 0);
  ::shutdown(pair.b, SHUT_WR);
  EXPECT_EQ(RecvAll(pair.a, got.data(), 10, 4, nullptr), 3);
}

TEST(Connect, RefusedAndCancelledConnectsLeaveNothingOpen) {
  int descriptors = testkit::OpenDescriptorCount();
  int port = 0;
  {
    testkit::ScriptedHttpServer server(std::vector<testkit::ScriptedReply>{{"x"}});
    port = server.port();
    NetProgress progress;
    progress.timeoutOn = true;
    progress.timeoutSeconds = 5;
    int s = ConnectHost("127.0.0.1", port, &progress);
    ASSERT_GE(s, 0);
    EXPECT_EQ(progress.state, kNetStateConnected);
    EXPECT_EQ(progress.text, "127.0.0.1");
    EXPECT_EQ(progress.port, port);
    CloseConnection(s, &progress);
  }
  // The server is gone: refused, noticed at once rather than at the timeout.
  NetProgress progress;
  progress.timeoutOn = true;
  progress.timeoutSeconds = 5;
  progress.attempts = 3;
  auto start = Clock::now();
  EXPECT_EQ(ConnectHost("127.0.0.1", port, &progress), kNoSocket);
  EXPECT_LT(SecondsSince(start), 1.0);
  progress.shouldCancel = [](NetProgress&) { return true; };
  EXPECT_EQ(ConnectAddress(htonl(INADDR_LOOPBACK), port, &progress), kNoSocket);
  progress.attempts = 0;
  progress.shouldCancel = nullptr;
  EXPECT_EQ(ConnectHost("127.0.0.1", port, &progress), kNoSocket);
  EXPECT_EQ(testkit::OpenDescriptorCount(), descriptors);
}

TEST(Progress, Wording) {
  NetProgress progress;
  struct Case {
    int state;
    std::int64_t transferred;
    std::int64_t total;
    const char* text;
  } cases[] = {{kNetStateResolving, 0, -1, "Resolving"},
               {kNetStateConnecting, 0, -1, "Connecting"},
               {kNetStateConnected, 0, -1, "Connected"},
               {kNetStateSending, 0, -1, "Sending Request"},
               {kNetStateWaiting, 0, -1, "Waiting Reply"},
               {kNetStateReceived, 0, -1, "Received Reply"},
               {kNetStateData, 50, 200, "50 / 200 (25 %)"},
               {kNetStateData, 5000000000LL, 10000000000LL, "5000000000 / 10000000000 (50 %)"},
               {kNetStateData, 42, -1, "Received 42 bytes"},
               {kNetStateData, 0, 0, "Received 0 bytes"},
               {kNetStateLoggedIn, 0, -1, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    progress.state = c.state;
    progress.transferred = c.transferred;
    progress.total = c.total;
    EXPECT_EQ(FormatProgress(progress), c.text);
  }
}

}  // namespace
}  // namespace sondrel
