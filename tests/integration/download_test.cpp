// Downloads against real servers: resume over HTTP (nginx) and FTP (vsftpd), a target that
// refuses writes, and a cancelled download that leaves its partial file and nothing open.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "support/paths.h"
#include "tasks/download.h"
#include "tasks/gui_dispatch.h"
#include "testkit/ftp_server.h"
#include "testkit/nginx_server.h"
#include "testkit/open_files.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

std::string Content(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(random() & 0xFF);
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const std::string& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

struct Seen {
  std::int64_t firstData = -1;  // transferred at the first data report
  std::int64_t lastTransferred = -1;
  std::int64_t total = -2;
};
void Record(NetProgress& progress) {
  auto* seen = static_cast<Seen*>(progress.userData);
  if (progress.state != kNetStateData) return;
  if (seen->firstData < 0) seen->firstData = progress.transferred;
  seen->lastTransferred = progress.transferred;
  seen->total = progress.total;
}

DownloadConfig Config() {
  DownloadConfig config;
  config.timeoutSeconds = 10;
  return config;
}

class DownloadHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::NginxServer::Installed()) return;
    nginx_ = new testkit::NginxServer("    location /slow/ { limit_rate 1m; }\n");
    ::mkdir(nginx_->Root().c_str(), 0755);
    ::mkdir((nginx_->Root() + "/slow").c_str(), 0755);
    WriteAll(nginx_->Root() + "/song.bin", Content(300000, 1));
    WriteAll(nginx_->Root() + "/slow/big.bin", Content(3 << 20, 2));
    WriteAll(nginx_->Root() + "/big.bin", Content(3 << 20, 2));
    testkit::KeepIfStarted(nginx_, [](auto& server) { return server.Start(); });
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
  }
  void SetUp() override {
    if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
    ASSERT_NE(nginx_, nullptr);
    NetStartup();
  }
  void TearDown() override { NetShutdown(); }

  static testkit::NginxServer* nginx_;
  testkit::TempDir dir_;
};
testkit::NginxServer* DownloadHttp::nginx_ = nullptr;

TEST_F(DownloadHttp, ResumedFileIsByteIdentical) {
  const std::string original = ReadAll(nginx_->Root() + "/song.bin");
  const std::string local = dir_.File("song.bin");
  WriteAll(local, original.substr(0, 100000));
  Seen seen;
  ASSERT_EQ(DownloadUrl(nginx_->Url("/song.bin"), local, true, Config(), Record, nullptr, &seen),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(seen.firstData, 100000);  // continued after the part on disk
  EXPECT_EQ(seen.total, 300000);

  // Without the user's word a file there is neither replaced nor extended; with it, replaced.
  WriteAll(local, std::string(5000, 'x'));
  EXPECT_EQ(DownloadUrl(nginx_->Url("/song.bin"), local, false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadExists);
  EXPECT_TRUE(ReadAll(local) == std::string(5000, 'x'));
  DownloadTarget replace;
  replace.localFile = local;
  replace.overwrite = true;
  NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
  ASSERT_EQ(DownloadUrl(nginx_->Url("/song.bin"), replace, Config(), progress), kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"song.bin"});
}

// The ETag nginx gives the file, read with a HEAD request.
std::string EtagOf(const std::string& url) {
  HttpRequest request;
  request.url = url;
  request.method = kHttpHead;
  NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
  std::string header;
  const int s = HttpOpen(request, header, kHeaderBufferSize, progress);
  if (s >= 0) CloseConnection(s, &progress);
  std::string etag;
  return FindHeader(etag, 200, "ETag", header) ? etag : "";
}

TEST_F(DownloadHttp, PartsContinueOnlyTheirOwnVersion) {
  const std::string url = nginx_->Url("/song.bin");
  const std::string original = ReadAll(nginx_->Root() + "/song.bin");
  const std::string etag = EtagOf(url);
  ASSERT_FALSE(etag.empty());
  const std::string junk(100000, 'j');
  struct Case {
    const char* what;
    std::string part;
    std::optional<std::string> record;  // the meta file beside the part
    std::int64_t firstData;             // where the transfer went on
  };
  const Case cases[] = {
      {"same address and version: continued", original.substr(0, 100000),
       "url=" + url + "\nvalidator=" + etag + "\n", 100000},
      // If-Range with the old ETag: nginx sends the new file whole.
      {"another version: whole", junk, "url=" + url + "\nvalidator=\"old-etag\"\n", 0},
      {"another address: whole", junk, "url=http://elsewhere/song.bin\nvalidator=" + etag + "\n", 0},
      {"no record: whole", junk, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::TempDir dir;
    WriteAll(dir.File("song.bin.part"), c.part);
    if (c.record) WriteAll(dir.File("song.bin.part.meta"), *c.record);
    Seen seen;
    ASSERT_EQ(DownloadUrl(url, dir.File("song.bin"), false, Config(), Record, nullptr, &seen),
              kDownloadDone);
    EXPECT_TRUE(ReadAll(dir.File("song.bin")) == original);
    EXPECT_EQ(seen.firstData, c.firstData);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"song.bin"});
  }
}

TEST_F(DownloadHttp, TwoDownloadsOfOneFileNeverMix) {
  const std::string original = ReadAll(nginx_->Root() + "/slow/big.bin");
  const std::string local = dir_.File("big.bin");
  int results[2] = {0, 0};
  auto run = [&](int i) {
    results[i] = DownloadUrl(nginx_->Url("/slow/big.bin"), local, false, Config(), nullptr,
                             nullptr, nullptr);
  };
  std::thread first(run, 0);
  std::thread second(run, 1);
  first.join();
  second.join();
  std::sort(std::begin(results), std::end(results));
  EXPECT_EQ(results[0], kDownloadInUse);
  EXPECT_EQ(results[1], kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"big.bin"});
}

TEST_F(DownloadHttp, FailuresByKind) {
  EXPECT_EQ(DownloadUrl(nginx_->Url("/missing.bin"), dir_.File("m.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadFailed);
  EXPECT_EQ(DownloadUrl("http://127.0.0.1:1/x.bin", dir_.File("x.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadNoConnection);
  // Neither left a file behind, not even an empty part.
  EXPECT_TRUE(dir_.Names().empty());
}

TEST_F(DownloadHttp, RefusedWritesAreReportedAsSuch) {
  // A disk that fills up mid-transfer.
  EXPECT_EQ(DownloadUrl(nginx_->Url("/song.bin"), "/dev/full", false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadWriteFailed);
  // A target that cannot be created at all: found out before connecting.
  EXPECT_EQ(DownloadUrl("http://127.0.0.1:1/x.bin", dir_.File("no/such/dir/x.bin"), false,
                        Config(), nullptr, nullptr, nullptr),
            kDownloadWriteFailed);
}

TEST_F(DownloadHttp, CancelLeavesThePartialFileAndNothingOpen) {
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  const int openBefore = testkit::OpenDescriptorCount();
  auto job = std::make_unique<DownloadJob>();
  job->url = nginx_->Url("/slow/big.bin");
  job->localFile = dir_.File("big.bin");
  job->config = Config();
  std::string remaining;
  int doneResult = 99;
  job->callbacks.bar = [&job](std::int64_t position, std::int64_t maximum) {
    // Cancel once a quarter has arrived, as the dialog's Cancel would.
    if (maximum == 3 << 20 && position >= maximum / 4) job->cancelRequested = 1;
  };
  job->callbacks.remainingLine = [&](const std::string& text) { remaining = text; };
  job->callbacks.done = [&](int result) { doneResult = result; };
  ASSERT_EQ(StartDownload(*job), 1);
  queue->RunUntil([&job] { return IsFinished(job->thread); });
  RemoveDispatcher();
  queue->Close();

  EXPECT_EQ(doneResult, kDownloadFailed);
  EXPECT_EQ(job->result, kDownloadFailed);
  EXPECT_EQ(remaining.rfind("Remaining time: ", 0), 0u) << remaining;
  // The part carries its own name, so a cut-off file never looks finished.
  EXPECT_EQ(FileLengthOf(job->localFile), -1);
  const long partial = FileLengthOf(job->localFile + ".part");
  EXPECT_GE(partial, (3 << 20) / 4);
  EXPECT_LT(partial, 3 << 20);
  EXPECT_EQ(testkit::OpenDescriptorCount(), openBefore);

  // The next download of the same file continues it (from the same file without the limit).
  ASSERT_EQ(DownloadUrl(nginx_->Url("/big.bin"), job->localFile, true, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(job->localFile) == ReadAll(nginx_->Root() + "/slow/big.bin"));
}

class DownloadFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
    original_ = Content(200000, 3);
    server_.AddFile("song.bin", original_);
    ASSERT_TRUE(server_.Start()) << server_.error();
    NetStartup();
  }
  void TearDown() override { NetShutdown(); }

  testkit::VsftpdServer server_;
  testkit::TempDir dir_;
  std::string original_;
};

TEST_F(DownloadFtp, WholeAndResumed) {
  const std::string local = dir_.File("song.bin");
  Seen seen;
  ASSERT_EQ(DownloadUrl(server_.Url("/song.bin"), local, false, Config(), Record, nullptr, &seen),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original_);
  EXPECT_EQ(seen.lastTransferred, 200000);

  WriteAll(local, original_.substr(0, 4000));
  // The FTP proxy switched on without a host does not count: the file comes directly.
  DownloadConfig config = Config();
  config.ftpProxyOn = true;
  ASSERT_EQ(DownloadUrl(server_.Url("/song.bin"), local, true, config, nullptr, nullptr, nullptr),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original_);
  const std::vector<std::string> commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 4000"), commands.end());

  EXPECT_EQ(DownloadUrl(server_.Url("/nothing.bin"), dir_.File("n.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadFailed);
  EXPECT_EQ(DownloadUrl("ftp://127.0.0.1:1/song.bin", dir_.File("n.bin"), false, Config(),
                        nullptr, nullptr, nullptr),
            kDownloadNoConnection);
}

TEST_F(DownloadFtp, FullDiskAbortsTheTransfer) {
  EXPECT_EQ(DownloadUrl(server_.Url("/song.bin"), "/dev/full", false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadWriteFailed);
  const std::vector<std::string> commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "ABOR"), commands.end())
      << server_.Log();
}

}  // namespace
}  // namespace sondrel
