// HTTPS against nginx with certificates made for the test (what users meet), and against a
// scripted TLS server and a silent one (the faults nginx will not produce).

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "net/async_http_job.h"
#include "net/http_connection.h"
#include "net/socket_io.h"
#include "net/tls_context.h"
#include "support/paths.h"
#include "testkit/connect_proxy.h"
#include "testkit/nginx_server.h"
#include "testkit/open_files.h"
#include "testkit/scripted_http_server.h"
#include "testkit/scripted_tls_server.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"
#include "testkit/test_certificates.h"

namespace sondrel {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

NetProgress Progress(int timeoutSeconds = 5) {
  NetProgress progress;
  progress.timeoutOn = true;
  progress.timeoutSeconds = timeoutSeconds;
  return progress;
}

HttpRequest Request(const std::string& url, const std::string& caFile) {
  HttpRequest request;
  request.url = url;
  request.tls = TlsOptions{caFile, false};
  request.bodyCapacity = 1 << 20;
  return request;
}

class TlsFetch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::NginxServer::Installed()) return;
    certs_ = new testkit::TestCertificates;
    ASSERT_TRUE(certs_->ok());
    big_ = RandomBytes(3 * 1024 * 1024 + 17, 11);
    for (auto [pair, server] :
         {std::pair{&certs_->valid(), &valid_}, std::pair{&certs_->otherHost(), &otherHost_},
          std::pair{&certs_->expired(), &expired_},
          std::pair{&certs_->unknownIssuer(), &unknownIssuer_}}) {
      *server = new testkit::NginxServer();
      (*server)->EnableTls(*pair);
      (*server)->EnableAccessLog();
      FileWriteAll((*server)->Root() + "/big.bin", big_);
      FileWriteAll((*server)->Root() + "/small.txt", "small over tls\n");
      testkit::KeepIfStarted(*server, [](testkit::NginxServer& s) { return s.Start(); });
    }
  }
  static void TearDownTestSuite() {
    for (testkit::NginxServer** s : {&valid_, &otherHost_, &expired_, &unknownIssuer_}) {
      delete *s;
      *s = nullptr;
    }
    delete certs_;
    certs_ = nullptr;
  }
  void SetUp() override {
    if (!valid_) GTEST_SKIP() << "nginx is not installed or did not start";
  }

  static testkit::TestCertificates* certs_;
  static testkit::NginxServer* valid_;
  static testkit::NginxServer* otherHost_;
  static testkit::NginxServer* expired_;
  static testkit::NginxServer* unknownIssuer_;
  static std::string big_;
  testkit::TempDir dir_;
};

testkit::TestCertificates* TlsFetch::certs_ = nullptr;
testkit::NginxServer* TlsFetch::valid_ = nullptr;
testkit::NginxServer* TlsFetch::otherHost_ = nullptr;
testkit::NginxServer* TlsFetch::expired_ = nullptr;
testkit::NginxServer* TlsFetch::unknownIssuer_ = nullptr;
std::string TlsFetch::big_;

TEST_F(TlsFetch, FileAndResumeAreByteIdentical) {
  HttpRequest request = Request(valid_->TlsUrl("/big.bin"), certs_->caFile());
  request.fileName = dir_.File("whole.bin");
  NetProgress progress = Progress();
  ASSERT_EQ(HttpFetchFile(request, progress), kFetchDone) << DescribeFailure(progress.failure);
  std::string got;
  ASSERT_TRUE(FileReadAll(request.fileName, got));
  EXPECT_TRUE(got == big_);

  // A partial file is completed from where it stops.
  const std::string partial = dir_.File("partial.bin");
  ASSERT_GE(FileWriteAll(partial, big_.substr(0, 1000001)), 0);
  HttpRequest resume = Request(valid_->TlsUrl("/big.bin"), certs_->caFile());
  resume.fileName = partial;
  NetProgress resumeProgress = Progress();
  SetResumeFromFile(resume, resumeProgress);
  ASSERT_EQ(HttpFetchFile(resume, resumeProgress), kFetchDone);
  ASSERT_TRUE(FileReadAll(partial, got));
  EXPECT_TRUE(got == big_);
}

TEST_F(TlsFetch, CertificateFailuresNameTheirReasonAndWriteNothing) {
  struct Case {
    const char* name;
    testkit::NginxServer* server;
    std::string host;  // in the address
    bool withCa;
    const char* detail;
  } cases[] = {
      {"no trust anchor", valid_, "127.0.0.1", false, "unknown issuer"},
      {"unknown issuer", unknownIssuer_, "127.0.0.1", true, "unknown issuer"},
      {"expired", expired_, "127.0.0.1", true, "certificate has expired"},
      {"another host", otherHost_, "127.0.0.1", true, "certificate is for another host"},
      {"another host by name", otherHost_, "localhost", true, "certificate is for another host"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.server);
    std::string url =
        "https://" + c.host + ":" + std::to_string(c.server->tlsPort()) + "/small.txt";
    HttpRequest request = Request(url, c.withCa ? certs_->caFile() : "");
    request.fileName = dir_.File("never.txt");
    NetProgress progress = Progress();
    EXPECT_EQ(HttpFetchFile(request, progress), kFetchNoResponse);
    EXPECT_EQ(progress.failure.kind, FailureKind::kTls);
    EXPECT_EQ(progress.failure.detail, c.detail);
    EXPECT_EQ(progress.failure.host, c.host);
    EXPECT_EQ(DescribeFailure(progress.failure), c.host + ": TLS: " + c.detail);
    EXPECT_FALSE(Exists(request.fileName));
  }
  // The name check holds for names too, and the insecure switch of one run passes everything.
  HttpRequest byName = Request(
      "https://localhost:" + std::to_string(valid_->tlsPort()) + "/small.txt", certs_->caFile());
  NetProgress progress = Progress();
  EXPECT_EQ(HttpFetchToMemory(byName, progress), kFetchDone) << DescribeFailure(progress.failure);
  HttpRequest insecure = Request(expired_->TlsUrl("/small.txt"), "");
  insecure.tls->insecure = true;
  progress = Progress();
  EXPECT_EQ(HttpFetchToMemory(insecure, progress), kFetchDone);
  EXPECT_EQ(insecure.body, "small over tls\n");
}

TEST_F(TlsFetch, RedirectsCrossBetweenHttpAndHttpsBothWays) {
  // http -> https (nginx), and https -> http (nginx's plain side).
  testkit::ScriptedHttpServer toSecure(std::vector<testkit::ScriptedReply>{
      {"HTTP/1.1 302 Found\r\nLocation: " + valid_->TlsUrl("/small.txt") +
       "\r\nContent-Length: 0\r\n\r\n"}});
  testkit::ScriptedTlsServer toPlain(
      certs_->valid(), {{"HTTP/1.1 301 Moved\r\nLocation: " + valid_->Url("/small.txt") +
                         "\r\nContent-Length: 0\r\n\r\n"}});
  ASSERT_TRUE(toPlain.ok());
  struct Case {
    std::string from;
    std::string to;
  } cases[] = {{toSecure.Url("/start"), valid_->TlsUrl("/small.txt")},
               {toPlain.Url("/start"), valid_->Url("/small.txt")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    HttpRequest request = Request(c.from, certs_->caFile());
    NetProgress progress = Progress();
    ASSERT_EQ(HttpFetchToMemory(request, progress), kFetchDone)
        << DescribeFailure(progress.failure);
    EXPECT_EQ(request.workUrl, c.to);
    EXPECT_EQ(request.body, "small over tls\n");
  }
}

TEST_F(TlsFetch, SessionsResumeForAHostSeenBefore) {
  TlsHandshakeCounts before = HandshakeCounts();
  for (int i = 0; i < 3; ++i) {
    HttpRequest request = Request(valid_->TlsUrl("/small.txt"), certs_->caFile());
    NetProgress progress = Progress();
    ASSERT_EQ(HttpFetchToMemory(request, progress), kFetchDone);
  }
  TlsHandshakeCounts after = HandshakeCounts();
  EXPECT_GE(after.resumed - before.resumed, 2);
}

TEST_F(TlsFetch, HttpsThroughTheProxyTunnelsWithConnect) {
  testkit::ConnectProxy proxy;
  HttpRequest request = Request(valid_->TlsUrl("/small.txt"), certs_->caFile());
  request.useProxy = true;
  request.proxyHost = "127.0.0.1";
  request.proxyPort = proxy.port();
  NetProgress progress = Progress();
  ASSERT_EQ(HttpFetchToMemory(request, progress), kFetchDone) << DescribeFailure(progress.failure);
  EXPECT_EQ(request.body, "small over tls\n");
  std::vector<std::string> heads = proxy.Requests();
  ASSERT_EQ(heads.size(), 1u);
  const std::string target = "127.0.0.1:" + std::to_string(valid_->tlsPort());
  EXPECT_EQ(heads[0], "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");

  // A proxy that will not open the tunnel: its status line is the reason.
  testkit::ConnectProxy refusing("HTTP/1.1 403 Tunnels Forbidden");
  request.proxyPort = refusing.port();
  progress = Progress();
  EXPECT_NE(HttpFetchToMemory(request, progress), kFetchDone);
  EXPECT_EQ(progress.failure.kind, FailureKind::kHttpStatus);
  EXPECT_EQ(progress.failure.httpStatus, 403);
  EXPECT_EQ(progress.failure.reason, "Tunnels Forbidden");
  EXPECT_EQ(progress.failure.host, "127.0.0.1");
  EXPECT_NE(DescribeFailure(progress.failure).find("HTTP/1.1 403 Tunnels Forbidden"),
            std::string::npos)
      << DescribeFailure(progress.failure);
}

TEST(TlsFaults, APeerThatClosesWithoutItsAlertBeforeTheLengthFails) {
  testkit::TestCertificates certs;
  ASSERT_TRUE(certs.ok());
  const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  struct Case {
    const char* name;
    testkit::TlsReply reply;
    int result;
    const char* body;
  } cases[] = {
      {"cut without close_notify", {header + std::string(40, 'x'), false}, kFetchFailed, ""},
      {"cut with close_notify", {header + std::string(40, 'x'), true}, kFetchFailed, ""},
      {"chunked over tls",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n0\r\n\r\n", true},
       kFetchDone,
       "hello"},
      {"until close, cut without close_notify",
       {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\npartial", false},
       kFetchFailed,
       ""},
      {"until close, with close_notify",
       {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nwhole", true},
       kFetchDone,
       "whole"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::ScriptedTlsServer server(certs.valid(), {c.reply});
    ASSERT_TRUE(server.ok());
    HttpRequest request = Request(server.Url("/"), certs.caFile());
    NetProgress progress = Progress();
    EXPECT_EQ(HttpFetchToMemory(request, progress), c.result);
    if (c.result == kFetchDone) EXPECT_EQ(request.body, c.body);
  }
}

// A server that accepts and never speaks: the handshake waits for a reply that never comes.
TEST(TlsFaults, AStalledHandshakeEndsByTheTimeoutWithoutSpinningAndCancelsAtOnce) {
  int descriptors = testkit::OpenDescriptorCount();
  {
    testkit::ScriptedHttpServer silent(std::vector<testkit::ScriptedReply>{{"", true}});
    std::string url = "https://127.0.0.1:" + std::to_string(silent.port()) + "/";
    HttpRequest request = Request(url, "");
    NetProgress progress = Progress(1);
    double cpu = ThreadCpuSeconds();
    Clock::time_point start = Clock::now();
    EXPECT_EQ(HttpFetchToMemory(request, progress), kFetchNoResponse);
    EXPECT_EQ(progress.failure.kind, FailureKind::kTimedOut);
    EXPECT_GE(SecondsSince(start), 1.0);
    EXPECT_LT(SecondsSince(start), 4.0);
    EXPECT_LT(ThreadCpuSeconds() - cpu, 0.2);

    CancelFlag cancel;
    HttpRequest again = Request(url, "");
    NetProgress cancelled = Progress(30);
    cancelled.cancel = &cancel;
    Clock::time_point cancelledAt;
    std::thread canceller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      cancelledAt = Clock::now();
      cancel.Cancel();
    });
    EXPECT_EQ(HttpFetchToMemory(again, cancelled), kFetchNoResponse);
    Clock::time_point returned = Clock::now();
    canceller.join();
    EXPECT_EQ(cancelled.failure.kind, FailureKind::kCancelled);
    EXPECT_LT(std::chrono::duration<double>(returned - cancelledAt).count(), 0.1);
  }
  EXPECT_EQ(testkit::OpenDescriptorCount(), descriptors);
}

}  // namespace
}  // namespace sondrel
